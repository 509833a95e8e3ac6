#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Errors.h"
#include "fixtures/FakeSysfs.h"
#include "platform/linux/LinuxNetSysfs.h"
#include "platform/linux/LinuxRegistry.h"

using namespace kestrune::platform;

namespace {

struct Machine {
  FakeSysfs fs;
  std::string ethGuid, wlanGuid, vethGuid;
  Machine() {
    fs.AddDevice("pci0000:00/0000:00:19.0", "pci", {{"vendor", "0x8086"}, {"device", "0x100e"}});
    fs.AddInterface({.name = "eth0", .ifindex = 2, .address = "00:0c:29:4a:7b:1e",
                     .device = "pci0000:00/0000:00:19.0"});
    fs.AddDevice("usb1/1-1", "usb", {{"idVendor", "0bda"}, {"idProduct", "8176"}});
    fs.AddDevice("usb1/1-1/1-1:1.0", "usb");
    fs.AddInterface({.name = "wlan0", .ifindex = 3, .address = "00:e0:4c:81:76:01", .wireless = true,
                     .device = "usb1/1-1/1-1:1.0"});
    fs.AddInterface({.name = "veth0", .ifindex = 4, .address = "f2:00:00:00:00:01", .addrAssignType = 1});
    fs.AddInterface({.name = "lo", .ifindex = 1, .type = 772, .address = "00:00:00:00:00:00"});
    for (const auto& i : linuxnet::SysfsNet(fs.Root()).ReadAll()) {
      if (i.name == "eth0") ethGuid = i.guid;
      if (i.name == "wlan0") wlanGuid = i.guid;
      if (i.name == "veth0") vethGuid = i.guid;
    }
  }
};

}  // namespace

TEST(LinuxRegistry, ConnectionKeysDerivedFromSysfs) {
  Machine m;
  LinuxRegistry registry(m.fs.Root());
  struct Case {
    std::string guid;
    std::string name, pnp;
    int media;
  } cases[] = {
      {m.ethGuid, "eth0", "PCI\\VEN_8086&DEV_100E&SUBSYS_00000000&REV_00\\0000:00:19.0", 1},
      {m.wlanGuid, "wlan0", "USB\\VID_0BDA&PID_8176\\1-1", 2},
      {m.vethGuid, "veth0", "ROOT\\NET\\VETH0", 1},
  };
  for (const auto& c : cases) {
    auto key = registry.OpenKey(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(c.guid), RegistryAccess::Read, false);
    ASSERT_TRUE(key) << c.name;
    EXPECT_EQ(key->ReadString("Name"), c.name);
    EXPECT_EQ(key->ReadString("PnpInstanceID"), c.pnp);
    EXPECT_EQ(key->ReadInteger("MediaSubType"), c.media);
    EXPECT_FALSE(key->ValueExists("Other"));
  }

  // The class key lists the GUIDs; each GUID key holds its Connection key.
  auto classKey = registry.OpenKey(HKEY_LOCAL_MACHINE, std::string("\\") + kNetworkClassKey + "\\",
                                   RegistryAccess::Read, false);
  ASSERT_TRUE(classKey);
  EXPECT_EQ(classKey->GetKeyNames(), (std::vector<std::string>{m.ethGuid, m.wlanGuid, m.vethGuid}));
  auto guidKey = registry.OpenKey(HKEY_LOCAL_MACHINE, std::string(kNetworkClassKey) + "\\" + m.ethGuid,
                                  RegistryAccess::Read, false);
  ASSERT_TRUE(guidKey);
  EXPECT_EQ(guidKey->GetKeyNames(), (std::vector<std::string>{"Connection"}));

  // Key names ignore case.
  std::string lower = m.wlanGuid;
  for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  auto key = registry.OpenKey(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(lower), RegistryAccess::Read, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadInteger("mediasubtype"), 2);
}

TEST(LinuxRegistry, EverythingElseIsAbsentAndNothingCanBeWritten) {
  Machine m;
  LinuxRegistry registry(m.fs.Root());
  const std::string loGuid = linuxnet::NameBasedGuid("ifname:lo");
  for (const std::string& path : {NetworkConnectionKeyPath(loGuid),
                                  NetworkConnectionKeyPath("{00000000-0000-0000-0000-000000000000}"),
                                  std::string(kNetworkClassKey) + "\\" + m.ethGuid + "\\Other",
                                  NetworkConnectionKeyPath(m.ethGuid) + "\\Deeper",
                                  std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"),
                                  std::string("SYSTEM")}) {
    EXPECT_FALSE(registry.OpenKey(HKEY_LOCAL_MACHINE, path, RegistryAccess::Read, false)) << path;
    EXPECT_FALSE(registry.OpenKey(HKEY_LOCAL_MACHINE, path, RegistryAccess::Full, true)) << path;
  }
  EXPECT_FALSE(registry.OpenKey(HKEY_CURRENT_USER, NetworkConnectionKeyPath(m.ethGuid), RegistryAccess::Read, false));

  auto key = registry.OpenKey(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(m.ethGuid), RegistryAccess::Full, false);
  ASSERT_TRUE(key);
  EXPECT_THROW(key->WriteInteger("MediaSubType", 2), kestrune::ERegistryException);
  EXPECT_THROW(key->WriteString("PnpInstanceID", "USB\\X"), kestrune::ERegistryException);
  EXPECT_FALSE(key->DeleteValue("Name"));
  auto again = registry.OpenKey(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(m.ethGuid), RegistryAccess::Read, false);
  EXPECT_EQ(again->ReadInteger("MediaSubType"), 1);
}

TEST(LinuxRegistry, ThisMachineHasAKeyForEveryInterfaceButLoopback) {
  LinuxRegistry registry;
  auto classKey = registry.OpenKey(HKEY_LOCAL_MACHINE, kNetworkClassKey, RegistryAccess::Read, false);
  ASSERT_TRUE(classKey);
  for (const auto& guid : classKey->GetKeyNames()) {
    auto key = registry.OpenKey(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(guid), RegistryAccess::Read, false);
    ASSERT_TRUE(key) << guid;
    EXPECT_NE(key->ReadString("Name"), "lo");
    EXPECT_FALSE(key->ReadString("PnpInstanceID").empty());
  }
}
