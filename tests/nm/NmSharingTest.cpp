// The connection catalogue and sharing control over NetworkManager's devices,
// end to end: the real catalogue, the Linux adapter inventory over a fake
// sysfs, and the sharing provider against the mock.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "NmMock.h"
#include "fixtures/FakeSysfs.h"
#include "platform/Com.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxIpHelper.h"
#include "platform/linux/LinuxNetSysfs.h"
#include "platform/linux/LinuxRegistry.h"
#include "platform/linux/NmNetSharing.h"
#include "sharing/ConnectionUnit.h"

using namespace kestrune::platform;
using namespace nmtest;

namespace {

// The hardware addresses the mock gives its devices.
constexpr const char* kMockWiredMac = "78:dd:08:d2:3d:43";
constexpr const char* kMockWifiMac = "11:22:33:44:55:66";

class NmSharingTest : public NmFixture {
 protected:
  void SetUp() override {
    NmFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    sysfs_.AddDevice("pci0000:00/0000:00:19.0", "pci", {{"vendor", "0x8086"}, {"device", "0x100e"}});
    sysfs_.AddInterface({.name = "eth0", .ifindex = 2, .address = kMockWiredMac,
                         .device = "pci0000:00/0000:00:19.0"});
    sysfs_.AddDevice("pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0", "usb", {{"idVendor", "0bda"}, {"idProduct", "8176"}});
    sysfs_.AddInterface({.name = "wlan0", .ifindex = 3, .address = kMockWifiMac, .operstate = "dormant",
                         .wireless = true, .device = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0"});
    ipHelper_ = std::make_unique<LinuxIpHelper>(sysfs_.Root(), [] {
      KernelIpv4 k;
      k.addresses["eth0"] = {IpAddrString{"192.168.1.20", "255.255.255.0"}};
      k.gateways["eth0"] = {"192.168.1.1"};
      k.dhcp.insert("eth0");
      k.addresses["wlan0"] = {IpAddrString{"10.42.0.1", "255.255.255.0"}};
      return k;
    });
    registry_ = std::make_unique<LinuxRegistry>(sysfs_.Root());
    sharing_ = std::make_unique<NmNetSharing>(sysfs_.Root());
    platform_.ipHelper = ipHelper_.get();
    platform_.registry = registry_.get();
    platform_.netSharing = sharing_.get();
    platform_.com = &com_;

    wifi_ = Mock().AddWifi("wifi0", "wlan0", 30);
    eth_ = Mock().AddEthernet("eth0", "eth0", 100);
    wired_ = Mock().AddProfile({{"connection", {{"id", Str("Wired connection 1")}, {"type", Str("802-3-ethernet")}}},
                                {"ipv4", {{"method", Str("auto")}}}},
                               eth_);
  }

  std::string GuidOf(TConnectionManager& catalogue, const std::string& name) {
    for (int i = 0; i < catalogue.Connections().Count(); ++i)
      if (catalogue.Connection(i)->Name == name) return catalogue.Connection(i)->Guid;
    return {};
  }

  nm::Settings SettingsOf(const std::string& profile) {
    auto s = nm::ConnectionSettings(Mock().Bus(), profile);
    EXPECT_TRUE(s.has_value()) << profile;
    return s.value_or(nm::Settings{});
  }

  std::string Method(const std::string& profile) {
    return nm::AsString(nm::SettingValue(SettingsOf(profile), "ipv4", "method"));
  }

  bool Marked(const std::string& profile) {
    const nm::Variant data = nm::SettingValue(SettingsOf(profile), "user", "data");
    if (!data) return false;
    const char* value = nullptr;
    return g_variant_lookup(data.get(), kNmPreviousMethodKey, "&s", &value) != FALSE;
  }

  FakeSysfs sysfs_;
  std::unique_ptr<LinuxIpHelper> ipHelper_;
  std::unique_ptr<LinuxRegistry> registry_;
  std::unique_ptr<NmNetSharing> sharing_;
  NoComRuntime com_;
  Platform platform_;
  std::string wifi_, eth_, wired_;
};

TEST_F(NmSharingTest, CatalogueListsDevicesWithTheirStateAndTheInventorysGuids) {
  // Unavailable, and known to NetworkManager only: it shares eth0's address but does not own it.
  Mock().AddEthernet("eth1", "eth1", 20);
  // A device in an unknown state counts as disconnected and is not listed.
  Mock().AddEthernet("eth2", "eth2", 0);

  TConnectionManager catalogue(platform_);
  catalogue.Refresh();
  ASSERT_EQ(catalogue.Connections().Count(), 3);

  TConnection* wlan = catalogue.Connection(0);
  TConnection* eth = catalogue.Connection(1);
  TConnection* eth1 = catalogue.Connection(2);
  EXPECT_EQ(wlan->Name, "wlan0");
  EXPECT_EQ(wlan->Status, NCS_MEDIA_DISCONNECTED);
  EXPECT_TRUE(wlan->IsWireless);
  EXPECT_TRUE(wlan->IsPhysical);
  EXPECT_EQ(eth->Name, "Wired connection 1");
  EXPECT_EQ(eth->Status, NCS_CONNECTED);
  EXPECT_EQ(eth->DeviceName, "dbusmock");
  EXPECT_FALSE(eth->IsWireless);
  EXPECT_TRUE(eth->IsPhysical);
  EXPECT_EQ(eth1->Name, "eth1");
  EXPECT_EQ(eth1->Status, NCS_MEDIA_DISCONNECTED);
  for (TConnection* c : {wlan, eth, eth1}) EXPECT_EQ(c->MediaType, NCM_LAN) << c->Name;

  // The addresses reach a record only through the adapter with the same GUID.
  ASSERT_EQ(eth->IpAddresses.Count(), 1);
  EXPECT_EQ(eth->IpAddresses.Strings(0), "192.168.1.20");
  EXPECT_TRUE(eth->DhcpEnabled);
  EXPECT_EQ(eth->Gateways.Count(), 1);
  ASSERT_EQ(wlan->IpAddresses.Count(), 1);
  EXPECT_EQ(wlan->IpAddresses.Strings(0), "10.42.0.1");
  std::map<std::string, std::string> adapterGuids;
  for (int i = 0; i < catalogue.AdapterManager().Adapters().Count(); ++i)
    adapterGuids[catalogue.AdapterManager().Adapter(i)->AdapterName] = catalogue.AdapterManager().Adapter(i)->Description;
  EXPECT_EQ(adapterGuids.count(eth->Guid), 1u);
  EXPECT_EQ(adapterGuids.count(wlan->Guid), 1u);
  EXPECT_EQ(adapterGuids.count(eth1->Guid), 0u);
  EXPECT_EQ(eth1->Guid, linuxnet::NameBasedGuid("ifname:eth1"));
  EXPECT_EQ(eth1->IpAddresses.Count(), 0);
}

TEST_F(NmSharingTest, PrivateSideSharesTheActiveProfileAndSwitchingOffRestoresIt) {
  const std::string home = Mock().AddProfile(
      {{"connection", {{"id", Str("Home")}, {"type", Str("802-11-wireless")}}},
       {"802-11-wireless", {{"mode", Str("ap")}}},
       {"ipv4", {{"method", Str("manual")}}},
       {"user", {{"data", nm::Adopt(g_variant_new_parsed("{'org.example.tag': 'kept'}"))}}}},
      wifi_);
  TConnectionManager catalogue(platform_);
  catalogue.Refresh();
  const std::string source = GuidOf(catalogue, "Wired connection 1");
  const std::string destination = GuidOf(catalogue, "Home");
  ASSERT_FALSE(source.empty());
  ASSERT_FALSE(destination.empty());

  ASSERT_TRUE(catalogue.EnableConnectionSharing(source, destination));
  EXPECT_EQ(Method(home), "shared");
  EXPECT_TRUE(Marked(home));
  EXPECT_EQ(Method(wired_), "auto");  // the public side is only noted
  EXPECT_EQ(sharing_->SharingConnectionType(source), ICSSHARINGTYPE_PUBLIC);
  EXPECT_EQ(sharing_->SharingConnectionType(destination), ICSSHARINGTYPE_PRIVATE);
  // Again: both already share, nothing changes.
  ASSERT_TRUE(catalogue.EnableConnectionSharing(source, destination));
  EXPECT_EQ(Method(home), "shared");

  ASSERT_TRUE(catalogue.DisableAllSharing());
  EXPECT_EQ(Method(home), "manual");
  EXPECT_FALSE(Marked(home));
  const nm::Variant data = nm::SettingValue(SettingsOf(home), "user", "data");
  const char* tag = nullptr;
  ASSERT_TRUE(data && g_variant_lookup(data.get(), "org.example.tag", "&s", &tag));
  EXPECT_STREQ(tag, "kept");
  EXPECT_FALSE(sharing_->SharingConnectionType(source).has_value());
  EXPECT_FALSE(sharing_->SharingConnectionType(destination).has_value());
}

TEST_F(NmSharingTest, AProfileSharedByAnEarlierRunIsRestoredByTheNextOne) {
  const std::string home = Mock().AddProfile({{"connection", {{"id", Str("Home")}, {"type", Str("802-11-wireless")}}},
                                              {"802-11-wireless", {{"mode", Str("adhoc")}}},
                                              {"ipv4", {{"method", Str("auto")}}}},
                                             wifi_);
  std::string destination;
  {
    TConnectionManager catalogue(platform_);
    catalogue.Refresh();
    destination = GuidOf(catalogue, "Home");
    ASSERT_TRUE(catalogue.EnableConnectionSharing(GuidOf(catalogue, "Wired connection 1"), destination));
  }
  ASSERT_EQ(Method(home), "shared");

  // A new process: its provider noted nothing, the profile still tells.
  NmNetSharing fresh(sysfs_.Root());
  Platform next = platform_;
  next.netSharing = &fresh;
  TConnectionManager catalogue(next);
  ASSERT_TRUE(catalogue.DisableAllSharing());
  EXPECT_EQ(Method(home), "auto");
  EXPECT_FALSE(Marked(home));
}

TEST_F(NmSharingTest, AWifiClientProfileIsNeverShared) {
  const std::string cafe = Mock().AddProfile(
      {{"connection", {{"id", Str("Cafe")}, {"type", Str("802-11-wireless")}}}, {"ipv4", {{"method", Str("auto")}}}},
      wifi_);
  TConnectionManager catalogue(platform_);
  catalogue.Refresh();
  const std::string destination = GuidOf(catalogue, "Cafe");
  ASSERT_TRUE(catalogue.EnableConnectionSharing(GuidOf(catalogue, "Wired connection 1"), destination));
  EXPECT_EQ(sharing_->SharingConnectionType(destination), ICSSHARINGTYPE_PRIVATE);
  EXPECT_EQ(Method(cafe), "auto");
  EXPECT_FALSE(Marked(cafe));
}

TEST_F(NmSharingTest, AWifiAdapterWithoutAProfileIsNotedAndNoProfileChanges) {
  TConnectionManager catalogue(platform_);
  catalogue.Refresh();
  const std::string destination = GuidOf(catalogue, "wlan0");
  const std::string source = GuidOf(catalogue, "Wired connection 1");
  ASSERT_TRUE(catalogue.EnableConnectionSharing(source, destination));
  EXPECT_EQ(sharing_->SharingConnectionType(destination), ICSSHARINGTYPE_PRIVATE);
  EXPECT_EQ(Method(wired_), "auto");
  // The same connection on both sides is the source only, and fails.
  ASSERT_TRUE(catalogue.DisableAllSharing());
  EXPECT_FALSE(catalogue.EnableConnectionSharing(source, source));
  EXPECT_FALSE(catalogue.EnableConnectionSharing(source, "{00000000-0000-0000-0000-000000000000}"));
}

TEST(NmSharingAbsentTest, WithoutNetworkManagerOnTheBusTheClassIsNotRegistered) {
  const std::string missing = MissingTools();
  if (!missing.empty()) GTEST_SKIP() << "no private bus here: " << missing;
  NmMock busOnly(false);
  NmNetSharing sharing("/nonexistent");
  std::shared_ptr<IUnknown> object;
  EXPECT_EQ(sharing.CoCreateInstance(CLSID_NetSharingManager, object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
}

}  // namespace
