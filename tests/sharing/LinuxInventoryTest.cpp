// The inventory and the catalogue over the Linux backends.
#include <gtest/gtest.h>

#include "fixtures/FakeSysfs.h"
#include "platform/Com.h"
#include "platform/linux/LinuxIpHelper.h"
#include "platform/linux/LinuxNetSharing.h"
#include "platform/linux/LinuxRegistry.h"
#include "sharing/ConnectionUnit.h"

using namespace kestrune::platform;

TEST(LinuxInventory, AdaptersAreClassifiedThroughTheirOwnRegistryKeys) {
  FakeSysfs fs;
  fs.AddDevice("pci0000:00/0000:00:19.0", "pci", {{"vendor", "0x8086"}, {"device", "0x100e"}});
  fs.AddInterface({.name = "eth0", .ifindex = 2, .address = "00:0c:29:4a:7b:1e",
                   .device = "pci0000:00/0000:00:19.0"});
  fs.AddDevice("usb1/1-1", "usb", {{"idVendor", "0bda"}, {"idProduct", "8176"}});
  fs.AddDevice("usb1/1-1/1-1:1.0", "usb");
  fs.AddInterface({.name = "wlan0", .ifindex = 3, .address = "00:e0:4c:81:76:01", .operstate = "down",
                   .carrier = 0, .wireless = true, .device = "usb1/1-1/1-1:1.0"});
  fs.AddInterface({.name = "docker0", .ifindex = 4, .address = "02:42:ac:11:00:01", .addrAssignType = 3});
  fs.AddInterface({.name = "ppp0", .ifindex = 5, .type = 512, .address = ""});
  fs.AddInterface({.name = "lo", .ifindex = 1, .type = 772, .address = "00:00:00:00:00:00", .operstate = "unknown"});

  KernelIpv4 ipv4;
  ipv4.addresses["eth0"] = {{"192.168.1.23", "255.255.255.0"}};
  ipv4.gateways["eth0"] = {"192.168.1.1"};
  ipv4.dhcp = {"eth0"};
  LinuxIpHelper ipHelper(fs.Root(), [&] { return ipv4; });
  LinuxRegistry registry(fs.Root());
  LinuxNetSharingUnavailable sharing;
  NoComRuntime com;
  Platform p;
  p.ipHelper = &ipHelper;
  p.registry = &registry;
  p.netSharing = &sharing;
  p.com = &com;

  TConnectionManager catalogue(p);
  TAdapterManager& inventory = catalogue.AdapterManager();
  ASSERT_EQ(inventory.Adapters().Count(), 4);
  const TAdapter* eth0 = inventory.Adapter(0);
  EXPECT_TRUE(eth0->IsPhysical);
  EXPECT_FALSE(eth0->IsWireless);
  EXPECT_TRUE(eth0->DhcpEnabled);
  EXPECT_EQ(eth0->MacAddress, "00-0C-29-4A-7B-1E");
  EXPECT_EQ(eth0->IpAddresses[0], "192.168.1.23");
  EXPECT_EQ(eth0->Gateways[0], "192.168.1.1");
  const TAdapter* wlan0 = inventory.Adapter(1);
  EXPECT_TRUE(wlan0->IsPhysical);
  EXPECT_TRUE(wlan0->IsWireless);
  EXPECT_FALSE(inventory.Adapter(2)->IsPhysical);
  EXPECT_EQ(inventory.WiredAdapter(), eth0->AdapterName);
  EXPECT_EQ(inventory.WirelessAdapter(), wlan0->AdapterName);
  EXPECT_EQ(inventory.DialUpAdapter(), inventory.Adapter(3)->AdapterName);

  // Records do not outlive a refresh; their GUIDs do.
  const std::string wired = eth0->AdapterName, wireless = wlan0->AdapterName;
  // Without a sharing service the catalogue lists nothing, but the adapters are current.
  catalogue.Refresh();
  EXPECT_EQ(catalogue.Connections().Count(), 0);
  EXPECT_EQ(inventory.Adapter(0)->OperStatus, MIB_IF_OPER_STATUS_OPERATIONAL);
  EXPECT_EQ(inventory.Adapter(1)->OperStatus, MIB_IF_OPER_STATUS_DISCONNECTED);
  EXPECT_FALSE(catalogue.EnableConnectionSharing(wired, wireless));
  EXPECT_FALSE(catalogue.DisableAllSharing());
}
