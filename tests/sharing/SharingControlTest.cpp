#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sharing/ConnectionUnit.h"
#include "sharing/SimRig.h"

using namespace kestrune::platform;

namespace {

// Four connections: wired 1 and 2, wireless 3 and 4.
struct SharingMachine : SimRig {
  std::string wired1 = Wired(1).guid, wired2 = Wired(2).guid, wifi3 = Wireless(3).guid, wifi4 = Wireless(4).guid;
  SharingMachine() {
    builder.Add(Wired(1));
    builder.Add(Wired(2));
    builder.Add(Wireless(3));
    builder.Add(Wireless(4));
  }
  std::vector<SimSharingRole> Roles() const {
    std::vector<SimSharingRole> out;
    for (const auto& c : sharing.Connections()) out.push_back(c.role);
    return out;
  }
  void SetAllRoles(std::vector<SimSharingRole> roles) {
    for (int i = 0; i < static_cast<int>(roles.size()); ++i)
      sharing.UpdateConnectionAt(i, [&](SimConnection& c) { c.role = roles[static_cast<std::size_t>(i)]; });
  }
  int EnableCalls() const {
    int n = 0;
    for (const auto& c : sharing.Calls()) n += c.kind == SimSharingCall::Enable;
    return n;
  }
};

constexpr auto None = SimSharingRole::None;
constexpr auto Public = SimSharingRole::Public;
constexpr auto Private = SimSharingRole::Private;

}  // namespace

TEST(EnableConnectionSharing, SharesTheSourcePubliclyAndTheDestinationPrivately) {
  SharingMachine m;
  TConnectionManager catalogue(m.Bundle());
  EXPECT_TRUE(catalogue.EnableConnectionSharing(m.wired2, m.wifi3));
  EXPECT_EQ(m.sharing.PublicConnection(), m.wired2);
  EXPECT_EQ(m.sharing.PrivateConnection(), m.wifi3);
  EXPECT_EQ(m.Roles(), (std::vector<SimSharingRole>{None, Public, Private, None}));
  EXPECT_EQ(m.sharing.LiveObjects(), 0);
  EXPECT_EQ(m.com.Depth(), 0);

  // The same request again succeeds and switches nothing.
  m.sharing.ClearCalls();
  EXPECT_TRUE(catalogue.EnableConnectionSharing(m.wired2, m.wifi3));
  EXPECT_EQ(m.EnableCalls(), 0);
  EXPECT_EQ(m.Roles(), (std::vector<SimSharingRole>{None, Public, Private, None}));
}

TEST(EnableConnectionSharing, RefusedRequests) {
  struct Case {
    const char* what;
    std::string source, destination;
    bool touchesCom;
  } cases[] = {
      {"empty source", "", "{00000000-0000-4000-8000-000000000003}", false},
      {"empty destination", "{00000000-0000-4000-8000-000000000001}", "", false},
      {"both empty", "", "", false},
      {"same GUID twice", SimRig::Wired(1).guid, SimRig::Wired(1).guid, true},
      {"unknown source", "{DEADBEEF-0000-4000-8000-000000000000}", SimRig::Wireless(3).guid, true},
      {"unknown destination", SimRig::Wired(1).guid, "{DEADBEEF-0000-4000-8000-000000000000}", true},
      // GUIDs compare exactly here.
      {"lower-case source", "{5eed0001-0000-4000-8000-000000000001}", SimRig::Wireless(3).guid, true},
  };
  for (const auto& c : cases) {
    SharingMachine m;
    TConnectionManager catalogue(m.Bundle());
    EXPECT_FALSE(catalogue.EnableConnectionSharing(c.source, c.destination)) << c.what;
    EXPECT_EQ(m.sharing.CreateCalls(), c.touchesCom ? 1 : 0) << c.what;
    EXPECT_EQ(m.com.InitializeCalls(), c.touchesCom ? 1 : 0) << c.what;
    EXPECT_EQ(m.Roles(), (std::vector<SimSharingRole>{None, None, None, None})) << c.what;
    EXPECT_TRUE(m.sharing.Calls().empty()) << c.what;
  }
}

TEST(EnableConnectionSharing, ADisconnectedSourceIsStillShared) {
  SharingMachine m;
  m.sharing.UpdateConnection(m.wired1, [](SimConnection& c) { c.status = NCS_DISCONNECTED; });
  TConnectionManager catalogue(m.Bundle());
  catalogue.Refresh();
  EXPECT_EQ(catalogue.Connections().Count(), 3);  // the catalogue does not show it
  EXPECT_TRUE(catalogue.EnableConnectionSharing(m.wired1, m.wifi4));
  EXPECT_EQ(m.sharing.PublicConnection(), m.wired1);
  EXPECT_EQ(m.sharing.PrivateConnection(), m.wifi4);
}

TEST(EnableConnectionSharing, AConfigurationThatSharesAlreadyIsLeftAlone) {
  SharingMachine m;
  // Both share already, each the other way round: they are left so, whatever the kind.
  m.SetAllRoles({Private, None, Public, None});
  TConnectionManager catalogue(m.Bundle());
  EXPECT_TRUE(catalogue.EnableConnectionSharing(m.wired1, m.wifi3));
  EXPECT_EQ(m.Roles(), (std::vector<SimSharingRole>{Private, None, Public, None}));
  EXPECT_EQ(m.EnableCalls(), 0);
}

TEST(EnableConnectionSharing, FailuresReturnFalseAndUndoNothing) {
  struct Case {
    const char* what;
    std::function<void(SharingMachine&)> inject;
    std::vector<SimSharingRole> roles;
  } cases[] = {
      {"the private side fails", [](SharingMachine& m) {
         auto f = m.sharing.Faults();
         f.enablePrivate = E_ACCESSDENIED;
         m.sharing.SetFaults(f);
       }, {None, Public, None, None}},
      {"the public side fails", [](SharingMachine& m) {
         auto f = m.sharing.Faults();
         f.enablePublic = E_ACCESSDENIED;
         m.sharing.SetFaults(f);
       }, {None, None, None, None}},
      {"the destination's state cannot be read", [](SharingMachine& m) {
         m.sharing.UpdateConnection(m.wifi3, [](SimConnection& c) { c.faults.getSharingEnabled = E_FAIL; });
       }, {None, Public, None, None}},
      {"the source's configuration cannot be had", [](SharingMachine& m) {
         m.sharing.UpdateConnection(m.wired2, [](SimConnection& c) { c.faults.getConfiguration = E_FAIL; });
       }, {None, None, None, None}},
      {"a later connection's properties fail", [](SharingMachine& m) {
         m.sharing.UpdateConnection(m.wifi4, [](SimConnection& c) { c.faults.getProperties = E_FAIL; });
       }, {None, None, None, None}},
      {"another connection shares publicly already", [](SharingMachine& m) {
         m.SetAllRoles({Public, None, None, None});
       }, {Public, None, None, None}},
      {"the manager cannot be created", [](SharingMachine& m) {
         auto f = m.sharing.Faults();
         f.create = REGDB_E_CLASSNOTREG;
         m.sharing.SetFaults(f);
       }, {None, None, None, None}},
  };
  for (const auto& c : cases) {
    SharingMachine m;
    TConnectionManager catalogue(m.Bundle());
    c.inject(m);
    EXPECT_FALSE(catalogue.EnableConnectionSharing(m.wired2, m.wifi3)) << c.what;
    EXPECT_EQ(m.Roles(), c.roles) << c.what;
    EXPECT_EQ(m.sharing.LiveObjects(), 0) << c.what;
    EXPECT_EQ(m.com.Depth(), 0) << c.what;
  }
}

TEST(EnableConnectionSharing, ALaterMatchReplacesAnEarlierOne) {
  SharingMachine m;
  // A second connection with the destination's GUID, later in the enumeration.
  m.sharing.AddConnection(SimConnection{m.wifi3, "Copy", "Copy", NCS_CONNECTED, NCM_LAN, None, {}});
  TConnectionManager catalogue(m.Bundle());
  EXPECT_TRUE(catalogue.EnableConnectionSharing(m.wired1, m.wifi3));
  EXPECT_EQ(m.Roles(), (std::vector<SimSharingRole>{Public, None, None, None, Private}));
}

TEST(DisableAllSharing, SwitchesEveryConnectionOff) {
  SharingMachine m;
  m.SetAllRoles({Public, None, Private, None});
  TConnectionManager catalogue(m.Bundle());
  EXPECT_TRUE(catalogue.DisableAllSharing());
  EXPECT_EQ(m.Roles(), (std::vector<SimSharingRole>{None, None, None, None}));
  // Every connection is visited, sharing or not, disconnected or not.
  m.sharing.UpdateConnection(m.wifi4, [](SimConnection& c) { c.status = NCS_DISCONNECTED; });
  m.sharing.ClearCalls();
  EXPECT_TRUE(catalogue.DisableAllSharing());
  std::vector<std::string> visited;
  for (const auto& call : m.sharing.Calls()) {
    EXPECT_EQ(call.kind, SimSharingCall::Disable);
    visited.push_back(call.guid);
  }
  EXPECT_EQ(visited, (std::vector<std::string>{m.wired1, m.wired2, m.wifi3, m.wifi4}));
  EXPECT_EQ(m.sharing.LiveObjects(), 0);
  EXPECT_EQ(m.com.Depth(), 0);

  // Then sharing can start afresh.
  EXPECT_TRUE(catalogue.EnableConnectionSharing(m.wired1, m.wifi4));
  EXPECT_EQ(m.Roles(), (std::vector<SimSharingRole>{Public, None, None, Private}));
}

TEST(DisableAllSharing, StopsAtTheFirstFailure) {
  struct Case {
    const char* what;
    std::function<void(SharingMachine&)> inject;
    std::vector<SimSharingRole> roles;
  } cases[] = {
      {"DisableSharing fails on the second", [](SharingMachine& m) {
         m.sharing.UpdateConnectionAt(1, [](SimConnection& c) { c.faults.disable = E_FAIL; });
       }, {None, Public, Private, Public}},
      {"no configuration for the third", [](SharingMachine& m) {
         m.sharing.UpdateConnectionAt(2, [](SimConnection& c) { c.faults.getConfiguration = E_FAIL; });
       }, {None, None, Private, Public}},
      {"the enumeration breaks off at the third", [](SharingMachine& m) {
         auto f = m.sharing.Faults();
         f.nextFailsAt = 2;
         m.sharing.SetFaults(f);
       }, {None, None, Private, Public}},
      {"the manager cannot be created", [](SharingMachine& m) {
         auto f = m.sharing.Faults();
         f.create = E_ACCESSDENIED;
         m.sharing.SetFaults(f);
       }, {Public, Public, Private, Public}},
  };
  for (const auto& c : cases) {
    SharingMachine m;
    // Roles a machine could not reach through the operations; they show which were visited.
    m.SetAllRoles({Public, Public, Private, Public});
    TConnectionManager catalogue(m.Bundle());
    c.inject(m);
    EXPECT_FALSE(catalogue.DisableAllSharing()) << c.what;
    EXPECT_EQ(m.Roles(), c.roles) << c.what;
    EXPECT_EQ(m.sharing.LiveObjects(), 0) << c.what;
    EXPECT_EQ(m.com.Depth(), 0) << c.what;
  }
}
