#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "fixtures/FakeSysfs.h"
#include "platform/linux/LinuxIpHelper.h"
#include "platform/linux/LinuxNetSysfs.h"

using namespace kestrune::platform;
using namespace kestrune::platform::linuxnet;

namespace {

// A laptop-and-server mix of interfaces, each device on its bus.
void BuildMachine(FakeSysfs& fs) {
  fs.AddDevice("pci0000:00/0000:00:19.0", "pci",
               {{"vendor", "0x8086"}, {"device", "0x100e"}, {"subsystem_vendor", "0x8086"},
                {"subsystem_device", "0x001e"}, {"revision", "0x02"}});
  fs.AddInterface({.name = "eth0", .ifindex = 2, .address = "00:0c:29:4a:7b:1e",
                   .device = "pci0000:00/0000:00:19.0"});

  fs.AddDevice("pci0000:00/0000:00:14.0", "pci", {{"vendor", "0x8086"}, {"device", "0x9d2f"}});
  fs.AddDevice("pci0000:00/0000:00:14.0/usb1/1-1", "usb",
               {{"idVendor", "0bda"}, {"idProduct", "8176"}, {"serial", "00e04c000001"}});
  fs.AddDevice("pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0", "usb");
  // The current address is random; the phy keeps the factory one.
  fs.AddInterface({.name = "wlan0", .ifindex = 3, .address = "5a:11:22:33:44:55", .addrAssignType = 1,
                   .operstate = "dormant", .wireless = true, .phyMac = "00:e0:4c:81:76:01",
                   .device = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0"});

  fs.AddDevice("pci0000:00/0000:00:03.0", "pci",
               {{"vendor", "0x1af4"}, {"device", "0x1000"}, {"subsystem_vendor", "0x1af4"},
                {"subsystem_device", "0x0001"}, {"revision", "0x00"}});
  fs.AddDevice("pci0000:00/0000:00:03.0/virtio0", "virtio");
  fs.AddInterface({.name = "ens3", .ifindex = 4, .address = "52:54:00:12:34:56", .operstate = "down",
                   .flags = 0x1002, .carrier = -1, .device = "pci0000:00/0000:00:03.0/virtio0"});

  fs.AddDevice("pcmcia_socket0/0.0", "pcmcia");
  fs.AddInterface({.name = "eth1", .ifindex = 5, .address = "00:10:5a:01:02:03", .operstate = "down",
                   .carrier = 0, .device = "pcmcia_socket0/0.0"});

  fs.AddDevice("platform/mmc0/mmc0:0001", "mmc");
  fs.AddDevice("platform/mmc0/mmc0:0001/mmc0:0001:1", "sdio");
  fs.AddInterface({.name = "wlan1", .ifindex = 6, .address = "b8:27:eb:00:00:01", .wireless = true,
                   .device = "platform/mmc0/mmc0:0001/mmc0:0001:1"});

  fs.AddInterface({.name = "br0", .ifindex = 7, .address = "aa:bb:cc:dd:ee:ff", .addrAssignType = 3});
  fs.AddInterface({.name = "ppp0", .ifindex = 8, .type = 512, .address = "", .addrAssignType = -1,
                   .operstate = "unknown", .flags = 0x10d1});
  fs.AddInterface({.name = "lo", .ifindex = 1, .type = 772, .address = "00:00:00:00:00:00",
                   .operstate = "unknown", .flags = 0x9});
  // Shares eth0's address.
  fs.AddInterface({.name = "eth0.10", .ifindex = 9, .address = "00:0c:29:4a:7b:1e", .addrAssignType = 2});
  fs.AddInterface({.name = "veth1", .ifindex = 10, .address = "f2:00:00:00:00:01", .addrAssignType = 1,
                   .operstate = "lowerlayerdown"});
  fs.AddInterface({.name = "tun0", .ifindex = 11, .type = 65534, .address = "", .addrAssignType = -1,
                   .operstate = "unknown", .flags = 0x1091});
}

std::map<std::string, SysfsInterface> ByName(const std::vector<SysfsInterface>& list) {
  std::map<std::string, SysfsInterface> out;
  for (const auto& i : list) out[i.name] = i;
  return out;
}

}  // namespace

TEST(LinuxSysfs, ClassifiesEachInterfaceByItsBusAndMedium) {
  FakeSysfs fs;
  BuildMachine(fs);
  const auto list = SysfsNet(fs.Root()).ReadAll();
  ASSERT_EQ(list.size(), 11u);
  for (std::size_t n = 1; n < list.size(); ++n) EXPECT_LT(list[n - 1].ifindex, list[n].ifindex);
  const auto all = ByName(list);

  struct Case {
    const char* name;
    const char* pnp;
    bool wireless;
    std::uint32_t type;
    std::uint32_t oper;
  } cases[] = {
      {"eth0", "PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02\\0000:00:19.0", false, MIB_IF_TYPE_ETHERNET,
       MIB_IF_OPER_STATUS_OPERATIONAL},
      {"wlan0", "USB\\VID_0BDA&PID_8176\\00E04C000001", true, IF_TYPE_IEEE80211, MIB_IF_OPER_STATUS_CONNECTING},
      {"ens3", "PCI\\VEN_1AF4&DEV_1000&SUBSYS_00011AF4&REV_00\\0000:00:03.0", false, MIB_IF_TYPE_ETHERNET,
       MIB_IF_OPER_STATUS_NON_OPERATIONAL},
      {"eth1", "PCMCIA\\0.0", false, MIB_IF_TYPE_ETHERNET, MIB_IF_OPER_STATUS_DISCONNECTED},
      {"wlan1", "SDIO\\MMC0:0001:1", true, IF_TYPE_IEEE80211, MIB_IF_OPER_STATUS_OPERATIONAL},
      {"br0", "ROOT\\NET\\BR0", false, MIB_IF_TYPE_ETHERNET, MIB_IF_OPER_STATUS_OPERATIONAL},
      {"ppp0", "ROOT\\NET\\PPP0", false, MIB_IF_TYPE_PPP, MIB_IF_OPER_STATUS_OPERATIONAL},
      {"lo", "ROOT\\NET\\LO", false, MIB_IF_TYPE_LOOPBACK, MIB_IF_OPER_STATUS_OPERATIONAL},
      {"veth1", "ROOT\\NET\\VETH1", false, MIB_IF_TYPE_ETHERNET, MIB_IF_OPER_STATUS_DISCONNECTED},
      {"tun0", "ROOT\\NET\\TUN0", false, IF_TYPE_PROP_VIRTUAL, MIB_IF_OPER_STATUS_OPERATIONAL},
  };
  for (const auto& c : cases) {
    const auto it = all.find(c.name);
    ASSERT_NE(it, all.end()) << c.name;
    EXPECT_EQ(it->second.pnpInstanceId, c.pnp) << c.name;
    EXPECT_EQ(it->second.wireless, c.wireless) << c.name;
    EXPECT_EQ(MibTypeOf(it->second), c.type) << c.name;
    EXPECT_EQ(OperStatusOf(it->second), c.oper) << c.name;
  }
  EXPECT_TRUE(IsLoopback(all.at("lo")));
  EXPECT_FALSE(IsLoopback(all.at("eth0")));
}

TEST(LinuxSysfs, GuidsAreStableAndTheirOwn) {
  FakeSysfs fs;
  BuildMachine(fs);
  const auto all = ByName(SysfsNet(fs.Root()).ReadAll());

  // Hardware addresses name the interfaces that own them; the rest go by name.
  EXPECT_EQ(all.at("eth0").guid, NameBasedGuid("mac:00:0c:29:4a:7b:1e"));
  EXPECT_EQ(all.at("wlan0").guid, NameBasedGuid("mac:00:e0:4c:81:76:01"));
  EXPECT_EQ(all.at("br0").guid, NameBasedGuid("mac:aa:bb:cc:dd:ee:ff"));
  EXPECT_EQ(all.at("eth0.10").guid, NameBasedGuid("ifname:eth0.10"));
  EXPECT_EQ(all.at("veth1").guid, NameBasedGuid("ifname:veth1"));
  EXPECT_EQ(all.at("ppp0").guid, NameBasedGuid("ifname:ppp0"));

  std::vector<std::string> guids;
  for (const auto& [name, i] : all) {
    ASSERT_EQ(i.guid.size(), 38u) << name;
    EXPECT_EQ(i.guid.front(), '{');
    EXPECT_EQ(i.guid.back(), '}');
    EXPECT_EQ(i.guid[15], '5') << "a name-based UUID";
    EXPECT_TRUE(std::none_of(i.guid.begin(), i.guid.end(), [](char ch) { return std::islower(ch); })) << i.guid;
    guids.push_back(i.guid);
  }
  std::sort(guids.begin(), guids.end());
  EXPECT_EQ(std::adjacent_find(guids.begin(), guids.end()), guids.end()) << "two interfaces share a GUID";

  // A renamed interface with a new index and a fresh random address keeps its GUID.
  FakeSysfs later;
  BuildMachine(later);
  later.Remove("eth0");
  later.AddInterface({.name = "enp0s25", .ifindex = 42, .address = "00:0c:29:4a:7b:1e",
                      .device = "pci0000:00/0000:00:19.0"});
  later.Remove("wlan0");
  later.AddInterface({.name = "wlp0s20u1", .ifindex = 43, .address = "66:77:88:99:aa:bb", .addrAssignType = 1,
                      .wireless = true, .phyMac = "00:e0:4c:81:76:01",
                      .device = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0"});
  const auto renamed = ByName(SysfsNet(later.Root()).ReadAll());
  EXPECT_EQ(renamed.at("enp0s25").guid, all.at("eth0").guid);
  EXPECT_EQ(renamed.at("wlp0s20u1").guid, all.at("wlan0").guid);
}

TEST(LinuxSysfs, AnAddressSharedWithoutAnOwnerNamesTheDeviceBackedOne) {
  FakeSysfs fs;
  fs.AddInterface({.name = "bond0", .ifindex = 2, .address = "00:11:22:33:44:55", .addrAssignType = 3});
  fs.AddDevice("pci0000:00/0000:00:1f.6", "pci", {{"vendor", "0x8086"}, {"device", "0x15b7"}});
  fs.AddInterface({.name = "eno1", .ifindex = 3, .address = "00:11:22:33:44:55",
                   .device = "pci0000:00/0000:00:1f.6"});
  const auto all = ByName(SysfsNet(fs.Root()).ReadAll());
  EXPECT_EQ(all.at("eno1").guid, NameBasedGuid("mac:00:11:22:33:44:55"));
  EXPECT_EQ(all.at("bond0").guid, NameBasedGuid("ifname:bond0"));
}

TEST(LinuxSysfs, NameBasedUuidMatchesTheStandardConstruction) {
  // The DNS namespace and a name whose version-5 UUID is widely published.
  const std::array<std::uint8_t, 16> dns = {0x6b, 0xa7, 0xb8, 0x10, 0x9d, 0xad, 0x11, 0xd1,
                                            0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};
  EXPECT_EQ(NameBasedGuid(dns, "python.org"), "{886313E1-3B8A-5372-9B90-0C9AEE199E5D}");
  EXPECT_NE(NameBasedGuid("ifname:a"), NameBasedGuid("ifname:b"));
  EXPECT_EQ(NameBasedGuid("ifname:a"), NameBasedGuid("ifname:a"));
  // Names longer than one hash block.
  EXPECT_NE(NameBasedGuid(std::string(100, 'x')), NameBasedGuid(std::string(101, 'x')));
}

TEST(LinuxSysfs, MacTexts) {
  EXPECT_EQ(ParseMac("00:1a:2B:3c:4d:5e"), (std::vector<std::uint8_t>{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
  EXPECT_EQ(ParseMac("ff"), (std::vector<std::uint8_t>{0xFF}));
  for (const char* bad : {"", "0", "00:", "00-11", "0g:11", ":00", "00::11"}) EXPECT_TRUE(ParseMac(bad).empty()) << bad;
}

TEST(LinuxIpHelper, AdaptersFromAFakeMachine) {
  FakeSysfs fs;
  BuildMachine(fs);
  KernelIpv4 ipv4;
  ipv4.addresses["eth0"] = {{"192.168.1.23", "255.255.255.0"}, {"192.168.1.24", "255.255.255.0"}};
  ipv4.addresses["lo"] = {{"127.0.0.1", "255.0.0.0"}};
  ipv4.gateways["eth0"] = {"192.168.1.1"};
  ipv4.dhcp = {"eth0"};
  LinuxIpHelper helper(fs.Root(), [&] { return ipv4; });

  std::uint32_t size = 0;
  EXPECT_EQ(helper.GetAdaptersInfo(nullptr, size), ERROR_BUFFER_OVERFLOW);
  // Ten adapters (no loopback); eth0 has one extra address.
  EXPECT_EQ(size, 10 * kAdapterInfoRecordSize + kAddrStringRecordSize);
  std::vector<IpAdapterInfo> adapters;
  std::uint32_t small = 5120;
  EXPECT_EQ(helper.GetAdaptersInfo(&adapters, small), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(small, size);
  EXPECT_TRUE(adapters.empty());
  ASSERT_EQ(helper.GetAdaptersInfo(&adapters, size), NO_ERROR);
  ASSERT_EQ(adapters.size(), 10u);
  EXPECT_TRUE(std::none_of(adapters.begin(), adapters.end(), [](const IpAdapterInfo& a) { return a.Type == 24; }));

  const auto all = ByName(SysfsNet(fs.Root()).ReadAll());
  const IpAdapterInfo& eth0 = adapters[0];
  EXPECT_EQ(eth0.AdapterName, all.at("eth0").guid);
  EXPECT_EQ(eth0.Index, 2u);
  EXPECT_EQ(eth0.Type, MIB_IF_TYPE_ETHERNET);
  EXPECT_EQ(eth0.DhcpEnabled, 1u);
  ASSERT_EQ(eth0.AddressLength, 6u);
  EXPECT_EQ(eth0.Address[0], 0x00);
  EXPECT_EQ(eth0.Address[5], 0x1E);
  ASSERT_EQ(eth0.IpAddressList.size(), 2u);
  EXPECT_EQ(eth0.IpAddressList[1].IpAddress, "192.168.1.24");
  EXPECT_EQ(eth0.IpAddressList[1].IpMask, "255.255.255.0");
  ASSERT_EQ(eth0.GatewayList.size(), 1u);
  EXPECT_EQ(eth0.GatewayList[0].IpAddress, "192.168.1.1");
  EXPECT_EQ(eth0.Description, "eth0");

  const IpAdapterInfo& wlan0 = adapters[1];
  EXPECT_EQ(wlan0.Type, IF_TYPE_IEEE80211);
  EXPECT_EQ(wlan0.DhcpEnabled, 0u);
  EXPECT_TRUE(wlan0.IpAddressList.empty());
  EXPECT_TRUE(wlan0.GatewayList.empty());
  EXPECT_EQ(wlan0.Address[0], 0x5A);  // the current address is what the adapter shows

  const auto ppp = std::find_if(adapters.begin(), adapters.end(), [](const IpAdapterInfo& a) { return a.Index == 8; });
  ASSERT_NE(ppp, adapters.end());
  EXPECT_EQ(ppp->Type, MIB_IF_TYPE_PPP);
  EXPECT_EQ(ppp->AddressLength, 0u);
}

TEST(LinuxIpHelper, InterfaceTableHoldsEveryInterface) {
  FakeSysfs fs;
  BuildMachine(fs);
  LinuxIpHelper helper(fs.Root(), [] { return KernelIpv4{}; });
  std::uint32_t size = 0;
  EXPECT_EQ(helper.GetIfTable(nullptr, size, false), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, IfTableBufferSize(11));
  MibIfTable table;
  std::uint32_t less = size - 1;
  EXPECT_EQ(helper.GetIfTable(&table, less, false), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_EQ(helper.GetIfTable(&table, size, false), NO_ERROR);
  ASSERT_EQ(table.dwNumEntries, 11u);
  EXPECT_EQ(table.table[0].dwIndex, 1u);  // loopback has its row
  EXPECT_EQ(table.table[0].dwType, MIB_IF_TYPE_LOOPBACK);
  EXPECT_EQ(table.table[1].dwOperStatus, MIB_IF_OPER_STATUS_OPERATIONAL);
  EXPECT_EQ(table.table[2].dwOperStatus, MIB_IF_OPER_STATUS_CONNECTING);
}

TEST(LinuxIpHelper, OnlyLoopbackMeansNoData) {
  FakeSysfs fs;
  fs.AddInterface({.name = "lo", .ifindex = 1, .type = 772, .address = "00:00:00:00:00:00"});
  LinuxIpHelper helper(fs.Root(), [] { return KernelIpv4{}; });
  std::vector<IpAdapterInfo> adapters;
  std::uint32_t size = 5120;
  EXPECT_EQ(helper.GetAdaptersInfo(&adapters, size), ERROR_NO_DATA);
  FakeSysfs empty;
  LinuxIpHelper none(empty.Root(), [] { return KernelIpv4{}; });
  EXPECT_EQ(none.GetAdaptersInfo(&adapters, size), ERROR_NO_DATA);
  MibIfTable table;
  EXPECT_EQ(none.GetIfTable(&table, size, false), ERROR_NO_DATA);
}

TEST(LinuxIpHelper, DefaultGatewaysFromTheRoutingTable) {
  const std::string text =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
      "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
      "eth0\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"   // the same gateway again
      "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "tun0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"     // default route without gateway
      "eth1\t00000000\t0201A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"     // not up
      "garbage line\n"
      "eth2\tZZZZ\t0201A8C0\t0003\n";
  const auto gateways = ParseProcNetRoute(text);
  EXPECT_EQ(gateways, (std::map<std::string, std::vector<std::string>>{{"eth0", {"192.0.2.1"}},
                                                                        {"wlan0", {"192.168.1.1"}}}));
  EXPECT_TRUE(ParseProcNetRoute("").empty());
}

TEST(LinuxIpHelper, ThisMachinesInterfacesReadWithoutFailing) {
  LinuxIpHelper helper;
  std::vector<IpAdapterInfo> adapters;
  std::uint32_t size = 0;
  std::uint32_t result = helper.GetAdaptersInfo(&adapters, size);
  if (result == ERROR_BUFFER_OVERFLOW) result = helper.GetAdaptersInfo(&adapters, size);
  ASSERT_TRUE(result == NO_ERROR || result == ERROR_NO_DATA) << result;
  for (const auto& a : adapters) {
    EXPECT_NE(a.Type, MIB_IF_TYPE_LOOPBACK) << "loopback is no adapter";
    EXPECT_EQ(a.AdapterName.size(), 38u);
    EXPECT_GT(a.Index, 0u);
  }

  MibIfTable table;
  size = 0;
  ASSERT_EQ(helper.GetIfTable(nullptr, size, false), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_EQ(helper.GetIfTable(&table, size, false), NO_ERROR);
  EXPECT_EQ(table.dwNumEntries, adapters.size() + 1) << "every adapter and loopback";
  EXPECT_TRUE(std::any_of(table.table.begin(), table.table.end(),
                          [](const MibIfRow& r) { return r.dwType == MIB_IF_TYPE_LOOPBACK; }));

  const KernelIpv4 ipv4 = ReadKernelIpv4();
  const auto lo = ipv4.addresses.find("lo");
  if (lo != ipv4.addresses.end()) {
    EXPECT_TRUE(std::any_of(lo->second.begin(), lo->second.end(),
                            [](const IpAddrString& a) { return a.IpAddress == "127.0.0.1" && a.IpMask == "255.0.0.0"; }));
  }
}
