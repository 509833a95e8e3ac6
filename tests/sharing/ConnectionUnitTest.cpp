#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "core/Strings.h"
#include "platform/Internet.h"
#include "sharing/ConnectionUnit.h"
#include "sharing/SimRig.h"

using namespace kestrune::platform;

namespace {

std::vector<std::string> Guids(const TConnectionManager& c) {
  std::vector<std::string> out;
  for (int i = 0; i < c.Connections().Count(); ++i) out.push_back(c.Connection(i)->Guid);
  return out;
}

// Nothing of COM is left behind: brackets balanced, every object released,
// every registry key closed.
void ExpectNothingHeld(SimRig& m) {
  EXPECT_EQ(m.com.Depth(), 0);
  EXPECT_EQ(m.com.UnbalancedUninitializeCalls(), 0);
  EXPECT_EQ(m.sharing.LiveObjects(), 0);
  EXPECT_EQ(m.registry.OpenKeyCount(), 0);
}

}  // namespace

TEST(ConnectionManager, ConstructionReadsAdaptersButListsNothing) {
  SimRig m;
  m.machine.LoadDefaultScenario();
  TConnectionManager catalogue(m.Bundle());
  EXPECT_EQ(catalogue.Connections().Count(), 0);
  EXPECT_EQ(catalogue.AdapterManager().Adapters().Count(), 2);
  EXPECT_EQ(m.sharing.CreateCalls(), 0);
}

TEST(ConnectionManager, ConstructionFailsWithTheAdapterQuery) {
  SimRig m;
  m.machine.LoadDefaultScenario();
  m.ipHelper.FailAdaptersInfo(ERROR_NOT_SUPPORTED);
  EXPECT_THROW(TConnectionManager catalogue(m.Bundle()), kestrune::EOSError);
}

TEST(ConnectionManager, TheDefaultLaptop) {
  SimRig m;
  m.machine.LoadDefaultScenario();
  TConnectionManager catalogue(m.Bundle());
  catalogue.Refresh();
  ASSERT_EQ(catalogue.Connections().Count(), 2);
  EXPECT_EQ(Lines(catalogue.Connections()),
            (std::vector<std::string>{"Local Area Connection", "Wireless Network Connection"}));

  const TConnection* lan = catalogue.Connection(0);
  EXPECT_EQ(lan->Guid, kDefaultWiredGuid);
  EXPECT_EQ(lan->Name, "Local Area Connection");
  EXPECT_EQ(lan->DeviceName, "Intel(R) PRO/1000 MT Network Connection");
  EXPECT_EQ(lan->Status, NCS_CONNECTED);
  EXPECT_EQ(lan->MediaType, NCM_LAN);
  EXPECT_TRUE(lan->IsPhysical);
  EXPECT_FALSE(lan->IsWireless);
  EXPECT_TRUE(lan->DhcpEnabled);
  EXPECT_EQ(Lines(lan->IpAddresses), (std::vector<std::string>{"192.168.1.23"}));
  EXPECT_EQ(Lines(lan->IpMasks), (std::vector<std::string>{"255.255.255.0"}));
  EXPECT_EQ(Lines(lan->Gateways), (std::vector<std::string>{"192.168.1.1"}));

  const TConnection* wifi = catalogue.Connection(1);
  EXPECT_EQ(wifi->Guid, "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
  EXPECT_EQ(wifi->DeviceName, "USB 802.11n Wireless LAN Adapter");
  EXPECT_EQ(wifi->Status, NCS_MEDIA_DISCONNECTED);
  EXPECT_TRUE(wifi->IsPhysical);
  EXPECT_TRUE(wifi->IsWireless);
  EXPECT_TRUE(wifi->Gateways.Empty());

  // The inventory was refreshed too, operational states included.
  const auto& adapters = catalogue.AdapterManager();
  EXPECT_EQ(adapters.WiredAdapter(), kDefaultWiredGuid);
  EXPECT_EQ(adapters.WirelessAdapter(), kDefaultWirelessGuid);
  EXPECT_EQ(adapters.Adapter(0)->OperStatus, MIB_IF_OPER_STATUS_OPERATIONAL);
  EXPECT_EQ(adapters.Adapter(1)->OperStatus, MIB_IF_OPER_STATUS_DISCONNECTED);
  ExpectNothingHeld(m);

  // The demo starts sharing from the wired to the wireless connection over a reachable Internet.
  EXPECT_TRUE(m.machine.Internet().CheckConnection("http://probe.invalid", FLAG_ICC_FORCE_CONNECTION));
  EXPECT_TRUE(catalogue.EnableConnectionSharing(lan->Guid, wifi->Guid));
  EXPECT_EQ(m.sharing.PublicConnection(), kDefaultWiredGuid);
  EXPECT_EQ(m.sharing.PrivateConnection(), kDefaultWirelessGuid);
}

// The demo's wireless connection follows the wireless library's link; others keep their own status.
TEST(ConnectionManager, WirelessStatusFollowsTheLinkQuery) {
  SimRig m;
  m.machine.LoadDefaultScenario();
  std::optional<bool> link;
  std::vector<std::string> asked;
  m.machine.SetWirelessLinkQuery([&](const std::string& guid) -> std::optional<bool> {
    asked.push_back(guid);
    return guid == kDefaultWirelessGuid ? link : std::nullopt;
  });
  TConnectionManager catalogue(m.Bundle());
  const std::pair<std::optional<bool>, NETCON_STATUS> cases[] = {
      {true, NCS_CONNECTED}, {false, NCS_MEDIA_DISCONNECTED}, {std::nullopt, NCS_MEDIA_DISCONNECTED}};
  for (const auto& [up, status] : cases) {
    link = up;
    catalogue.Refresh();
    ASSERT_EQ(catalogue.Connections().Count(), 2);
    EXPECT_EQ(catalogue.Connection(0)->Status, NCS_CONNECTED);
    EXPECT_EQ(catalogue.Connection(1)->Status, status);
  }
  EXPECT_NE(std::find(asked.begin(), asked.end(), kDefaultWirelessGuid), asked.end());
  EXPECT_NE(std::find(asked.begin(), asked.end(), kDefaultWiredGuid), asked.end());
  m.machine.SetWirelessLinkQuery({});
}

TEST(ConnectionManager, EveryStatusButDisconnectedIsListed) {
  SimRig m;
  std::vector<std::string> expected;
  for (int status = NCS_DISCONNECTED; status <= NCS_CREDENTIALS_REQUIRED; ++status) {
    auto a = SimRig::Wired(status + 1);
    a.status = static_cast<NETCON_STATUS>(status);
    m.builder.Add(a);
    if (status != NCS_DISCONNECTED) expected.push_back(a.guid);
  }
  TConnectionManager catalogue(m.Bundle());
  catalogue.Refresh();
  EXPECT_EQ(Guids(catalogue), expected);
  for (int i = 0; i < catalogue.Connections().Count(); ++i) EXPECT_NE(catalogue.Connection(i)->Status, 0);

  // A connection that drops off is gone at the next refresh, and back when it returns.
  m.sharing.UpdateConnection(expected[1], [](SimConnection& c) { c.status = NCS_DISCONNECTED; });
  catalogue.Refresh();
  EXPECT_EQ(catalogue.Connections().Count(), static_cast<int>(expected.size()) - 1);
  m.sharing.UpdateConnection(expected[1], [](SimConnection& c) { c.status = NCS_CONNECTED; });
  catalogue.Refresh();
  EXPECT_EQ(Guids(catalogue), expected);
}

TEST(ConnectionManager, ClassificationAndAdapterMatch) {
  SimRig m;
  // Wireless by its registry value even though the medium is LAN.
  auto wifi = SimRig::Wireless(1);
  wifi.mediaType = NCM_LAN;
  m.builder.Add(wifi);
  // Known to the sharing manager, but without an IPv4 adapter.
  auto noAdapter = SimRig::Wired(2);
  noAdapter.inAdapterChain = false;
  m.builder.Add(noAdapter);
  // The adapter reports its name in lower case.
  auto lower = SimRig::Wired(3);
  lower.inAdapterChain = false;
  m.builder.Add(lower);
  auto lowerRecord = MakeAdapterInfo(lower, 30);
  lowerRecord.AdapterName = kestrune::LowerCase(lower.guid);
  lowerRecord.DhcpEnabled = 0;
  m.ipHelper.AddAdapter(lowerRecord);
  // Two adapters claim the same GUID: the later one wins.
  auto twice = SimRig::Wired(4);
  m.builder.Add(twice);
  auto later = MakeAdapterInfo(twice, 40);
  later.AdapterName = kestrune::LowerCase(twice.guid);
  later.IpAddressList = {{"10.9.9.9", "255.0.0.0"}};
  later.GatewayList = {};
  m.ipHelper.AddAdapter(later);
  // No registry key at all.
  auto unregistered = SimRig::Wired(5);
  unregistered.pnpInstanceId = std::nullopt;
  unregistered.mediaSubType = std::nullopt;
  m.builder.Add(unregistered);

  TConnectionManager catalogue(m.Bundle());
  catalogue.Refresh();
  ASSERT_EQ(catalogue.Connections().Count(), 5);

  const TConnection* c0 = catalogue.Connection(0);
  EXPECT_TRUE(c0->IsWireless);
  EXPECT_EQ(c0->MediaType, NCM_LAN);

  const TConnection* c1 = catalogue.Connection(1);
  EXPECT_FALSE(c1->DhcpEnabled);
  EXPECT_TRUE(c1->IpAddresses.Empty());
  EXPECT_TRUE(c1->IpMasks.Empty());
  EXPECT_TRUE(c1->Gateways.Empty());
  EXPECT_TRUE(c1->IsPhysical);  // the registry still knows it

  const TConnection* c2 = catalogue.Connection(2);
  EXPECT_EQ(c2->Guid, lower.guid);  // the catalogue keeps the upper-case form
  EXPECT_FALSE(c2->DhcpEnabled);
  EXPECT_EQ(Lines(c2->IpAddresses), (std::vector<std::string>{"10.0.0.4"}));

  const TConnection* c3 = catalogue.Connection(3);
  EXPECT_EQ(Lines(c3->IpAddresses), (std::vector<std::string>{"10.9.9.9"}));
  EXPECT_EQ(Lines(c3->IpMasks), (std::vector<std::string>{"255.0.0.0"}));
  EXPECT_TRUE(c3->Gateways.Empty());

  const TConnection* c4 = catalogue.Connection(4);
  EXPECT_FALSE(c4->IsPhysical);
  EXPECT_FALSE(c4->IsWireless);
  EXPECT_TRUE(c4->DhcpEnabled);
}

TEST(ConnectionManager, NamesAreConvertedAndDuplicatesKept) {
  SimRig m;
  auto a = SimRig::Wired(1);
  a.connectionName = "LAN-Verbindung \xC3\xBC";  // "ü" in UTF-8
  auto b = SimRig::Wired(2);
  b.connectionName = a.connectionName;
  m.builder.Add(a);
  m.builder.Add(b);
  TConnectionManager catalogue(m.Bundle());
  catalogue.Refresh();
  EXPECT_EQ(Lines(catalogue.Connections()), (std::vector<std::string>{a.connectionName, a.connectionName}));
  EXPECT_EQ(Guids(catalogue), (std::vector<std::string>{a.guid, b.guid}));
}

TEST(ConnectionManager, FailuresDuringTheWalkKeepWhatWasListed) {
  struct Case {
    const char* what;
    std::function<void(SimRig&)> inject;
    int listed;
  } cases[] = {
      {"GetProperties fails on the fourth", [](SimRig& m) {
         m.sharing.UpdateConnectionAt(3, [](SimConnection& c) { c.faults.getProperties = E_FAIL; });
       }, 3},
      {"element without INetConnection", [](SimRig& m) {
         m.sharing.UpdateConnectionAt(2, [](SimConnection& c) { c.faults.lacksINetConnection = true; });
       }, 2},
      {"Next fails", [](SimRig& m) {
         auto f = m.sharing.Faults();
         f.nextFailsAt = 4;
         m.sharing.SetFaults(f);
       }, 4},
      {"wrong registry type", [](SimRig& m) {
         // Its adapter is gone, so only the connection's own lookup reads the value.
         m.ipHelper.RemoveAdapter(SimRig::Wired(2).guid);
         m.registry.SetValue(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(SimRig::Wired(2).guid),
                             "PnpInstanceID", RegistryValue::DWord(7));
       }, 1},
      {"manager cannot be created", [](SimRig& m) {
         auto f = m.sharing.Faults();
         f.create = REGDB_E_CLASSNOTREG;
         m.sharing.SetFaults(f);
       }, 0},
      {"object is no sharing manager", [](SimRig& m) {
         auto f = m.sharing.Faults();
         f.managerLacksInterface = true;
         m.sharing.SetFaults(f);
       }, 0},
      {"EnumEveryConnection fails", [](SimRig& m) {
         auto f = m.sharing.Faults();
         f.enumEveryConnection = E_ACCESSDENIED;
         m.sharing.SetFaults(f);
       }, 0},
      {"_NewEnum fails", [](SimRig& m) {
         auto f = m.sharing.Faults();
         f.newEnum = E_UNEXPECTED;
         m.sharing.SetFaults(f);
       }, 0},
      {"enumerator without IEnumVARIANT", [](SimRig& m) {
         auto f = m.sharing.Faults();
         f.enumLacksIEnumVARIANT = true;
         m.sharing.SetFaults(f);
       }, 0},
      {"adapter query fails", [](SimRig& m) { m.ipHelper.FailAdaptersInfo(ERROR_NO_DATA); }, 0},
  };
  for (const auto& c : cases) {
    SimRig m;
    for (int n = 1; n <= 6; ++n) m.builder.Add(SimRig::Wired(n));
    TConnectionManager catalogue(m.Bundle());
    catalogue.Refresh();
    ASSERT_EQ(catalogue.Connections().Count(), 6);

    c.inject(m);
    EXPECT_NO_THROW(catalogue.Refresh()) << c.what;
    std::vector<std::string> expected;
    for (int n = 1; n <= c.listed; ++n) expected.push_back(SimRig::Wired(n).guid);
    EXPECT_EQ(Guids(catalogue), expected) << c.what;
    ExpectNothingHeld(m);

    // Once the fault is gone the next refresh starts over and lists everything.
    m.sharing.ClearFaults();
    m.registry.SetValue(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(SimRig::Wired(2).guid), "PnpInstanceID",
                        RegistryValue::String("PCI\\X"));
    m.ipHelper.FailAdaptersInfo(0);
    catalogue.Refresh();
    EXPECT_EQ(catalogue.Connections().Count(), 6) << c.what;
  }
}

TEST(ConnectionManager, AFailingSharingManagerStillRefreshesTheAdapters) {
  SimRig m;
  m.builder.Add(SimRig::Wired(1));
  TConnectionManager catalogue(m.Bundle());
  auto f = m.sharing.Faults();
  f.create = REGDB_E_CLASSNOTREG;
  m.sharing.SetFaults(f);
  m.builder.Add(SimRig::Wireless(2));
  catalogue.Refresh();
  EXPECT_EQ(catalogue.Connections().Count(), 0);
  EXPECT_EQ(catalogue.AdapterManager().Adapters().Count(), 2);
  EXPECT_EQ(catalogue.AdapterManager().Adapter(1)->OperStatus, MIB_IF_OPER_STATUS_OPERATIONAL);
  EXPECT_EQ(m.sharing.CreateCalls(), 1);

  // The next refresh tries again from scratch.
  catalogue.Refresh();
  EXPECT_EQ(m.sharing.CreateCalls(), 2);
  EXPECT_EQ(catalogue.Connections().Count(), 0);
  m.sharing.ClearFaults();
  catalogue.Refresh();
  EXPECT_EQ(m.sharing.CreateCalls(), 3);
  EXPECT_EQ(Guids(catalogue), (std::vector<std::string>{SimRig::Wired(1).guid, SimRig::Wireless(2).guid}));
  ExpectNothingHeld(m);
}

TEST(ConnectionManager, ManyAdaptersStillListTheirConnections) {
  for (const int count : {9, 20}) {
    SimRig m;
    std::vector<std::string> expected;
    for (int n = 1; n <= count; ++n) {
      m.builder.Add(n % 2 ? SimRig::Wired(n) : SimRig::Wireless(n));
      expected.push_back(SimRig::Wired(n).guid);
    }
    TConnectionManager catalogue(m.Bundle());
    catalogue.Refresh();
    ASSERT_EQ(Guids(catalogue), expected) << count;
    // Each record carries its own adapter's addresses, so every adapter was read.
    for (int i = 0; i < count; ++i)
      EXPECT_EQ(Lines(catalogue.Connection(i)->IpAddresses), (std::vector<std::string>{
                                                               SimRig::Wired(i + 1).addresses[0].first}))
          << count << " #" << i;
    EXPECT_EQ(catalogue.AdapterManager().WirelessAdapter(), SimRig::Wired(count % 2 ? count - 1 : count).guid);
  }
}

TEST(ConnectionManager, ComBracketsEveryOperation) {
  SimRig m;
  m.machine.LoadDefaultScenario();
  TConnectionManager catalogue(m.Bundle());

  // The sim creates no object outside a bracket: each operation makes its own.
  catalogue.Refresh();
  EXPECT_EQ(catalogue.Connections().Count(), 2);
  EXPECT_TRUE(catalogue.EnableConnectionSharing(kDefaultWiredGuid, kDefaultWirelessGuid));
  EXPECT_TRUE(catalogue.DisableAllSharing());
  EXPECT_EQ(m.com.InitializeCalls(), 3);
  EXPECT_EQ(m.com.UninitializeCalls(), 3);
  ExpectNothingHeld(m);

  // Nested inside a bracket the thread already holds, the pair leaves it as it was.
  ASSERT_EQ(m.com.CoInitialize(), S_OK);
  catalogue.Refresh();
  EXPECT_EQ(m.com.Depth(), 1);
  m.com.CoUninitialize();

  // An apartment that cannot be entered is not left either.
  m.com.FailInitialize(RPC_E_CHANGED_MODE);
  catalogue.Refresh();
  catalogue.DisableAllSharing();
  EXPECT_EQ(m.com.UnbalancedUninitializeCalls(), 0);
}

TEST(ConnectionManager, APlatformWithoutSharingListsNothing) {
  SimRig m;
  m.machine.LoadDefaultScenario();
  Platform p = m.Bundle();
  p.netSharing = nullptr;
  p.com = nullptr;
  TConnectionManager catalogue(p);
  catalogue.Refresh();
  EXPECT_EQ(catalogue.Connections().Count(), 0);
  EXPECT_FALSE(catalogue.EnableConnectionSharing(kDefaultWiredGuid, kDefaultWirelessGuid));
  EXPECT_FALSE(catalogue.DisableAllSharing());
}
