#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedWifiLibrary.h"
#include "core/Strings.h"
#include "platform/sim/SimInternet.h"
#include "wireless/WifiNetwork.h"

using namespace std::chrono_literals;
using kestrune::platform::SimInternet;
using scripted::Call;
using scripted::R;

namespace {

// Long enough that the monitor checks once and then only on a wake-up.
constexpr auto kIdleMonitor = std::chrono::milliseconds(60s);

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return pred();
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Holds every reachability check until opened.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    cv_.notify_all();
  }
  void Pass() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

// What the receivers saw; shared so it outlives a destroyed controller.
struct Events {
  std::mutex mutex;
  std::vector<std::string> log;

  void Add(std::string what) {
    std::lock_guard lock(mutex);
    log.push_back(std::move(what));
  }
  std::vector<std::string> Log() {
    std::lock_guard lock(mutex);
    return log;
  }
};

std::string A(const std::u16string& s) { return kestrune::WideToAnsi(s); }

void AttachAll(TWifiConnection& c, const std::shared_ptr<Events>& ev) {
  c.OnConnected = [ev](const std::u16string& s) { ev->Add("connected:" + A(s)); };
  c.OnDisconnected = [ev](const std::u16string& s) { ev->Add("disconnected:" + A(s)); };
  c.OnNetworkFound = [ev](const std::u16string& s, std::uint8_t state, std::uint8_t security) {
    ev->Add("found:" + A(s) + "/" + std::to_string(state) + "/" + std::to_string(security));
  };
  c.OnInternetStateChange = [ev](std::uint8_t state) { ev->Add("internet:" + std::to_string(state)); };
  c.OnBeforeRefresh = [ev](TWifiConnection*) { ev->Add("before"); };
}

scripted::Network Net(std::u16string ssid, std::uint32_t state = 1, std::uint32_t security = 3) {
  scripted::Network n;
  n.ssid = std::move(ssid);
  n.state = state;
  n.security = security;
  return n;
}

class WifiNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override { R().Reset(); }
  void TearDown() override {
    controller.reset();
    R().Reset();
  }

  // Settled: the monitor's first report is in, so it raises no event behind a
  // test's back (the next check is a minute away).
  TWifiConnection& Make(bool settled = true) {
    controller = std::make_unique<TWifiConnection>(library, internet, kIdleMonitor);
    if (settled && !WaitUntil([&] { return controller->GetInternetState() != 0; }))
      ADD_FAILURE() << "the monitor's first check never reported";
    return *controller;
  }
  // A refreshed controller whose calls so far are forgotten.
  TWifiConnection& MakeRefreshed() {
    auto& c = Make();
    c.Refresh();
    R().ClearCalls();
    return c;
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (int i = 0; i < controller->Networks().Count(); ++i) out.push_back(controller->Networks()[i]);
    return out;
  }

  TWifiLibrary library = scripted::Library();
  SimInternet internet;
  std::unique_ptr<TWifiConnection> controller;
};

// --- rebuild -----------------------------------------------------------------

struct RebuildCase {
  const char* name;
  std::vector<scripted::Interface> interfaces;
  std::vector<std::string> names;  // FNetworks texts, in order
  std::string connected;           // FConnectedSSID; ConnectedNetwork names the same record
  std::vector<std::string> keyed;  // records that got the own key
};

TEST_F(WifiNetworkTest, RebuildListsEntriesInInterfaceThenEntryOrder) {
  const std::vector<RebuildCase> cases = {
      {"blank and empty names are skipped, others kept untrimmed",
       {{u"wlan0", {Net(u"   "), Net(u" \t\r"), Net(u""), Net(u"  Lead"), Net(u"Trail ")}}},
       {"  Lead", "Trail "},
       "",
       {}},
      {"own SSID with security 1 gets the key; other kinds and padded names do not",
       {{u"wlan0", {Net(u"Ostrelay", 1, 1), Net(u"Ostrelay", 1, 2), Net(u" Ostrelay", 1, 1), Net(u"ostrelay", 1, 1)}}},
       {"Ostrelay", "Ostrelay", " Ostrelay", "ostrelay"},
       "",
       {"Ostrelay"}},
      {"the later connected entry wins, across interfaces",
       {{u"wlan0", {Net(u"First", 0), Net(u"Second", 0)}}, {u"wlan1", {Net(u"Third", 0), Net(u"Idle", 1)}}},
       {"First", "Second", "Third", "Idle"},
       "Third",
       {}},
      {"a blank connected entry does not count as connected",
       {{u"wlan0", {Net(u"Real", 0), Net(u"  ", 0)}}},
       {"Real"},
       "Real",
       {}},
      {"no interfaces", {}, {}, "", {}},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    R().Reset();
    R().interfaces = tc.interfaces;
    auto& c = Make();
    auto ev = std::make_shared<Events>();
    c.OnNetworkFound = [ev](const std::u16string& s, std::uint8_t, std::uint8_t) { ev->Add(A(s)); };
    c.Refresh();

    EXPECT_EQ(Names(), tc.names);
    EXPECT_EQ(c.NetworkCount(), static_cast<int>(tc.names.size()));
    EXPECT_EQ(ev->Log(), tc.names) << "one event per record, none for skipped entries";
    EXPECT_EQ(c.ConnectedSSID(), tc.connected);
    if (tc.connected.empty()) {
      EXPECT_EQ(c.ConnectedNetwork(), nullptr);
    } else {
      ASSERT_NE(c.ConnectedNetwork(), nullptr);
      EXPECT_EQ(A(c.ConnectedNetwork()->FSSID), tc.connected);
      EXPECT_EQ(c.ConnectedNetwork()->FState, 0);
    }
    std::vector<std::string> keyed;
    for (int i = 0; i < c.Networks().Count(); ++i) {
      const auto* n = c.Network(i);
      ASSERT_NE(n, nullptr);
      EXPECT_EQ(A(n->FSSID), c.Networks()[i]);
      if (!n->FKey.empty()) {
        EXPECT_EQ(n->FKey, u"73914");
        keyed.push_back(A(n->FSSID));
      }
    }
    EXPECT_EQ(keyed, tc.keyed);
    controller.reset();
  }
}

TEST_F(WifiNetworkTest, RebuildCopiesEveryFieldAndUsesOnlyLowBytes) {
  scripted::Network n = Net(u"Fields");
  n.state = 0x300;      // low byte 0: connected
  n.security = 0x201;   // low byte 1
  n.auxByte = 0x1AB;
  n.auxValue = 0xDEADBEEF;
  n.paramA = 0x11223344;
  n.paramB = 0x55667788;
  R().interfaces = {{u"if-A", {}}, {u"if-B", {n}}};
  auto& c = Make();
  auto ev = std::make_shared<Events>();
  AttachAll(c, ev);
  c.Refresh();

  ASSERT_EQ(c.NetworkCount(), 1);
  const auto* rec = c.Network(0);
  EXPECT_EQ(rec->FInterfaceId, u"if-B");
  EXPECT_EQ(rec->FSSID, u"Fields");
  EXPECT_EQ(rec->FState, 0);
  EXPECT_EQ(rec->FSecurity, 1);
  EXPECT_EQ(rec->FAuxByte, 0xAB);
  EXPECT_EQ(rec->FAuxValue, 0xDEADBEEFu);
  EXPECT_EQ(rec->FConnectParamA, 0x11223344u);
  EXPECT_EQ(rec->FConnectParamB, 0x55667788u);
  EXPECT_EQ(rec->FKey, u"") << "not the own network";
  EXPECT_EQ(c.ConnectedSSID(), "Fields");
  EXPECT_EQ(ev->Log(), (std::vector<std::string>{"before", "found:Fields/0/1"}));

  // Each listed interface is asked with the library's own pointer.
  const auto scans = R().CallsOf("GetVisibleNetworkList");
  ASSERT_EQ(scans.size(), 2u);
  EXPECT_EQ(scans[0].idPtr, R().IdPointer(0));
  EXPECT_EQ(scans[1].idPtr, R().IdPointer(1));
  EXPECT_EQ(scans[1].id, u"if-B");
}

TEST_F(WifiNetworkTest, CountsBeyondTheBuffersAreClamped) {
  std::vector<scripted::Network> many;
  for (int k = 0; k < 21; ++k) many.push_back(Net(kestrune::AnsiToWide("N" + std::to_string(k))));
  scripted::Interface big{u"big", many, 500u, 0};
  R().interfaces = {big, {u"w1", {Net(u"B")}}, {u"w2", {Net(u"C")}}, {u"w3", {Net(u"D")}}};
  R().reportedInterfaceCount = 9;
  auto& c = Make();
  c.Refresh();

  EXPECT_EQ(R().CallsOf("GetVisibleNetworkList").size(), 4u);
  ASSERT_EQ(c.NetworkCount(), 24);
  EXPECT_EQ(c.Networks()[0], "N0");
  EXPECT_EQ(c.Networks()[20], "N20");
  EXPECT_EQ(c.Networks()[21], "B");
  EXPECT_EQ(c.Networks()[23], "D");
}

TEST_F(WifiNetworkTest, NameFillingAllThirtyThreeUnitsEndsAtTheArray) {
  const std::u16string full(33, u'x');
  scripted::Network n = Net(full);
  n.padding = u'Z';  // would show up if the name ran past the array
  scripted::Network nonAscii = Net(u"Caf\u00e9 \u00fcber");
  R().interfaces = {{u"wlan0", {n, nonAscii}}};
  auto& c = Make();
  c.Refresh();

  ASSERT_EQ(c.NetworkCount(), 2);
  EXPECT_EQ(c.Network(0)->FSSID, full);
  EXPECT_EQ(c.Networks()[0], std::string(33, 'x'));
  EXPECT_EQ(c.Network(1)->FSSID, u"Caf\u00e9 \u00fcber");
  EXPECT_EQ(c.Networks()[1], "Caf\xC3\xA9 \xC3\xBC" "ber");
}

TEST_F(WifiNetworkTest, FailedEnumerationGivesAnEmptyListEvenAfterAGoodScan) {
  R().interfaces = {{u"wlan0", {Net(u"Seen", 0)}}};
  auto& c = Make();
  c.Refresh();
  ASSERT_EQ(c.NetworkCount(), 1);
  ASSERT_EQ(c.ConnectedSSID(), "Seen");

  R().enumResult = 31;
  R().ClearCalls();
  auto ev = std::make_shared<Events>();
  AttachAll(c, ev);
  c.Refresh();

  EXPECT_EQ(R().CallNames(), (std::vector<std::string>{"EnumInterface"}));
  EXPECT_EQ(c.NetworkCount(), 0);
  EXPECT_TRUE(c.Networks().Empty());
  EXPECT_EQ(c.ConnectedNetwork(), nullptr);
  EXPECT_EQ(c.ConnectedSSID(), "");
  EXPECT_EQ(c.InterfaceList().Count, 0u);
  EXPECT_EQ(ev->Log(), (std::vector<std::string>{"before"}));
  // The stale interface must not be used either.
  EXPECT_FALSE(c.CreateProfile());
  EXPECT_FALSE(c.DeleteProfile());
  EXPECT_EQ(R().CallNames(), (std::vector<std::string>{"EnumInterface"}));
}

TEST_F(WifiNetworkTest, ScanResultIsTheLastInterfacesAndScanHoldsTheLock) {
  R().interfaces = {{u"a", {}, std::nullopt, 5}, {u"b", {}, std::nullopt, 0}};
  auto& c = Make();
  EXPECT_EQ(c.ScanNetworks(), 0u);
  R().interfaces = {{u"a", {}, std::nullopt, 0}, {u"b", {}, std::nullopt, 6}};
  EXPECT_EQ(c.ScanNetworks(), 6u);
  R().enumResult = 2;
  EXPECT_EQ(c.ScanNetworks(), 2u);
  // Free again afterwards.
  EXPECT_TRUE(WifiLock.try_lock());
  WifiLock.unlock();
}

TEST_F(WifiNetworkTest, RefreshWithoutReceiversAndBeforeRefreshSender) {
  R().interfaces = {{u"wlan0", {Net(u"One"), Net(u"Two", 0)}}};
  auto& c = Make();
  c.Refresh();  // nothing attached
  EXPECT_EQ(c.NetworkCount(), 2);
  EXPECT_EQ(c.ConnectedSSID(), "Two");

  TWifiConnection* sender = nullptr;
  c.OnBeforeRefresh = [&](TWifiConnection* s) {
    sender = s;
    R().Mark("before");
  };
  R().ClearCalls();
  c.Refresh();
  EXPECT_EQ(sender, &c);
  const auto names = R().CallNames();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "before") << "raised before the scan";
  EXPECT_EQ(c.NetworkCount(), 2) << "the list is rebuilt, not appended to";
}

// --- join or host ------------------------------------------------------------

TEST_F(WifiNetworkTest, OwnNetworkOnTwoInterfacesJoinsTheLaterOne) {
  scripted::Network first = Net(u"Ostrelay", 1, 1);
  first.paramA = 1;
  first.paramB = 2;
  scripted::Network later = Net(u"Ostrelay", 1, 1);
  later.paramA = 0xA0A0A0A0;
  later.paramB = 0xB0B0B0B0;
  R().interfaces = {{u"wlan0", {first, Net(u"Cafe", 0, 2)}}, {u"wlan1", {later}}};
  auto& c = MakeRefreshed();
  c.SetKey("abcde");  // the key at join time is used, not the one at the scan

  EXPECT_TRUE(c.ConnectOwnNetwork());
  const auto calls = R().Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].fn, "Disconnect");
  EXPECT_EQ(calls[0].id, u"wlan0");
  EXPECT_EQ(calls[1].fn, "Connect");
  EXPECT_EQ(calls[1].id, u"wlan1");
  EXPECT_EQ(calls[1].ssid, u"Ostrelay");
  EXPECT_EQ(calls[1].key, u"abcde");
  EXPECT_EQ(calls[1].security, 1u);
  EXPECT_EQ(calls[1].paramA, 0xA0A0A0A0u);
  EXPECT_EQ(calls[1].paramB, 0xB0B0B0B0u);
  EXPECT_EQ(c.Network(1)->FState, 2) << "the disconnected network is marked";

  R().connectResult = 1;
  EXPECT_FALSE(c.ConnectOwnNetwork());
}

TEST_F(WifiNetworkTest, OwnSSIDWithOtherSecurityIsLeftAndTheNetworkHosted) {
  R().interfaces = {{u"wlan0", {Net(u"Ostrelay", 0, 2), Net(u"Other", 1, 1)}}, {u"wlan1", {}}};
  auto& c = MakeRefreshed();

  EXPECT_TRUE(c.ConnectOwnNetwork());
  const auto calls = R().Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].fn, "Disconnect");
  EXPECT_EQ(calls[0].id, u"wlan0");
  EXPECT_EQ(calls[1].fn, "AddSsid");
  EXPECT_EQ(calls[1].idPtr, R().IdPointer(0)) << "the first interface, by the library's own pointer";
  EXPECT_EQ(calls[1].ssid, u"Ostrelay");
  EXPECT_EQ(calls[1].key, u"73914");

  R().addResult = 4;
  EXPECT_FALSE(c.ConnectOwnNetwork());
}

TEST_F(WifiNetworkTest, WithoutAnInterfaceNothingReachesTheLibrary) {
  auto& c = MakeRefreshed();
  EXPECT_FALSE(c.ConnectOwnNetwork());
  EXPECT_FALSE(c.CreateProfile());
  EXPECT_FALSE(c.DeleteProfile());
  EXPECT_TRUE(R().Calls().empty());
}

TEST_F(WifiNetworkTest, SecurityKindIsMappedForConnect) {
  struct Case {
    std::uint8_t kind;
    std::uint32_t sent;
  };
  const Case cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 0}, {0xFF, 0}};
  for (const auto& tc : cases) {
    SCOPED_TRACE(static_cast<int>(tc.kind));
    R().ClearCalls();
    TWLanNetwork n(library);
    n.FInterfaceId = u"wlan9";
    n.FSSID = u"Net";
    n.FKey = u"k";
    n.FSecurity = tc.kind;
    n.FConnectParamA = 7;
    n.FConnectParamB = 8;
    EXPECT_TRUE(n.Connect());
    const auto calls = R().CallsOf("Connect");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].security, tc.sent);
    EXPECT_EQ(calls[0].id, u"wlan9");
    EXPECT_EQ(calls[0].ssid, u"Net");
    EXPECT_EQ(calls[0].key, u"k");
    EXPECT_EQ(calls[0].paramA, 7u);
    EXPECT_EQ(calls[0].paramB, 8u);
  }
}

TEST_F(WifiNetworkTest, FreshNetworkRecordAndDisconnectMarksItWhateverTheLibrarySays) {
  TWLanNetwork n(library);
  EXPECT_EQ(n.FSecurity, 3);
  EXPECT_EQ(n.FState, 1);
  EXPECT_TRUE(n.FSSID.empty());
  EXPECT_EQ(n.FConnectParamA, 0u);

  n.FInterfaceId = u"wlan0";
  n.FState = 0;
  R().disconnectResult = 1168;
  n.Disconnect();
  EXPECT_EQ(n.FState, 2);
  const auto calls = R().CallsOf("Disconnect");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].id, u"wlan0");
}

TEST_F(WifiNetworkTest, DeleteProfileUsesTheFirstInterfaceAndOwnSSID) {
  R().interfaces = {{u"wlan0", {}}, {u"wlan1", {}}};
  auto& c = MakeRefreshed();
  c.SetSSID("Mine");

  EXPECT_TRUE(c.DeleteProfile());
  R().deleteResult = 2;
  EXPECT_FALSE(c.DeleteProfile());
  const auto calls = R().Calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const auto& call : calls) {
    EXPECT_EQ(call.fn, "DeleteSsid");
    EXPECT_EQ(call.idPtr, R().IdPointer(0));
    EXPECT_EQ(call.ssid, u"Mine");
  }
}

// --- SSID and key ------------------------------------------------------------

TEST_F(WifiNetworkTest, KeyIsStoredOnlyWhenItsTrimmedLengthIsFiveOrThirteen) {
  struct Case {
    const char* value;
    const char* stored;
  };
  const Case cases[] = {
      {"1234", "73914"},
      {"12345678901234", "73914"},
      {"", "73914"},
      {"   \t ", "73914"},
      {"  abcde  ", "  abcde  "},       // trimmed length 5, kept with its blanks
      {"abcdefghijklm", "abcdefghijklm"},
      {" 1234 ", "73914"},
      {"\xC3\xA4\xC3\xB6\xC3\xBC" "ab", "\xC3\xA4\xC3\xB6\xC3\xBC" "ab"},  // five characters, eight bytes
  };
  auto& c = Make();
  EXPECT_EQ(c.GetKey(), "73914");
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.value);
    c.SetKey("73914");
    ASSERT_EQ(c.GetKey(), "73914");
    c.SetKey(tc.value);
    EXPECT_EQ(c.GetKey(), tc.stored);
  }
  c.SetKey("abcde");
  c.SetKey("abcde");
  EXPECT_EQ(c.GetKey(), "abcde");
  c.SetKey("abc");
  EXPECT_EQ(c.GetKey(), "abcde") << "a refused key leaves the previous one";
}

TEST_F(WifiNetworkTest, EmptySSIDIsStoredAndHostedUnchanged) {
  R().interfaces = {{u"wlan0", {}}};
  auto& c = MakeRefreshed();
  EXPECT_EQ(c.GetSSID(), "Ostrelay");
  c.SetSSID("");
  EXPECT_EQ(c.GetSSID(), "");
  c.SetKey("1234567890abc");

  EXPECT_TRUE(c.CreateProfile());
  const auto calls = R().CallsOf("AddSsid");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].ssid, u"");
  EXPECT_EQ(calls[0].key, u"1234567890abc");

  c.SetSSID("  spaced ");
  EXPECT_EQ(c.GetSSID(), "  spaced ");
}

// --- notifications -----------------------------------------------------------

struct NotificationRecord {
  TWifiNotification note{};
  TWifiConnectionData data{};

  NotificationRecord(std::uint32_t source, std::uint32_t code, const std::string& name) {
    note.Source = source;
    note.Code = code;
    note.Data = &data;
    std::memcpy(data.Name, name.data(), std::min(name.size(), sizeof data.Name));
  }
};

TEST_F(WifiNetworkTest, NotificationsThroughTheRegisteredCallback) {
  struct Case {
    const char* name;
    std::uint32_t source;
    std::uint32_t code;
    std::string ssid;
    std::vector<std::string> events;
    std::string connectedAfter;  // starting from "Before"
  };
  const std::string full32(32, 'Q');
  const std::vector<Case> cases = {
      {"connected", 0x8, 10, "Alpha", {"connected:Alpha"}, "Alpha"},
      {"code 10 with high bits", 0x8, 0xABCDEF0A, "Beta", {"connected:Beta"}, "Beta"},
      {"disconnected", 0xFFFF, 21, "Alpha", {"disconnected:Alpha"}, ""},
      {"disconnected with high bits", 0x1, 0x7715, "Gamma", {"disconnected:Gamma"}, ""},
      {"other code", 0x8, 11, "Alpha", {}, "Before"},
      {"other code whose high byte is 10", 0x8, 0x0A00, "Alpha", {}, "Before"},
      {"zero source", 0, 10, "Alpha", {}, "Before"},
      {"source with only high bits", 0xFFFF0000, 10, "Alpha", {}, "Before"},
      {"32-byte name without NUL", 0x8, 10, full32, {"connected:" + full32}, full32},
      {"8-bit name converted", 0x8, 10, "Caf\xC3\xA9", {"connected:Caf\xC3\xA9"}, "Caf\xC3\xA9"},
  };
  R().interfaces = {{u"wlan0", {Net(u"Before", 0)}}};
  auto& c = Make();
  const TWifiNotificationCallback cb = R().Callback();
  ASSERT_EQ(cb, &WifiNotificationCallback);
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    c.Refresh();
    ASSERT_EQ(c.ConnectedSSID(), "Before");
    auto ev = std::make_shared<Events>();
    AttachAll(c, ev);
    NotificationRecord rec(tc.source, tc.code, tc.ssid);
    std::memset(rec.data.Tail, 'T', sizeof rec.data.Tail);  // bytes right after the name field
    cb(&rec.note, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(ev->Log(), tc.events);
    EXPECT_EQ(c.ConnectedSSID(), tc.connectedAfter);
    c.OnNetworkFound = nullptr;
    c.OnBeforeRefresh = nullptr;
  }
}

TEST_F(WifiNetworkTest, NotificationsWithoutTheirRecordsAreIgnored) {
  R().interfaces = {{u"wlan0", {Net(u"Before", 0)}}};
  auto& c = Make();
  c.Refresh();
  auto ev = std::make_shared<Events>();
  AttachAll(c, ev);
  const TWifiNotificationCallback cb = R().Callback();

  cb(nullptr, nullptr);
  for (std::uint32_t code : {10u, 21u}) {
    TWifiNotification note{};
    note.Source = 0x8;
    note.Code = code;
    note.Data = nullptr;
    cb(&note, nullptr);
  }
  EXPECT_TRUE(ev->Log().empty());
  EXPECT_EQ(c.ConnectedSSID(), "Before");
}

TEST_F(WifiNetworkTest, NotificationsFromAnotherThreadDuringRefresh) {
  R().interfaces = {{u"wlan0", {Net(u"Scan", 0), Net(u"Other")}}};
  auto& c = Make();
  std::atomic<int> connected{0}, disconnected{0}, found{0};
  c.OnConnected = [&](const std::u16string&) { ++connected; };
  c.OnDisconnected = [&](const std::u16string&) { ++disconnected; };
  c.OnNetworkFound = [&](const std::u16string&, std::uint8_t, std::uint8_t) { ++found; };
  const TWifiNotificationCallback cb = R().Callback();

  constexpr int kRounds = 300;
  std::thread library([&] {
    NotificationRecord up(0x8, 10, "Air");
    NotificationRecord down(0x8, 21, "Air");
    for (int k = 0; k < kRounds; ++k) {
      cb(&up.note, nullptr);
      cb(&down.note, nullptr);
    }
  });
  for (int k = 0; k < 100; ++k) {
    c.Refresh();
    const std::string now = c.ConnectedSSID();
    EXPECT_TRUE(now.empty() || now == "Scan" || now == "Air") << now;
  }
  library.join();

  EXPECT_EQ(connected.load(), kRounds);
  EXPECT_EQ(disconnected.load(), kRounds);
  EXPECT_EQ(found.load(), 200);
  NotificationRecord last(0x8, 10, "Air");
  cb(&last.note, nullptr);
  EXPECT_EQ(c.ConnectedSSID(), "Air");
  c.Refresh();
  EXPECT_EQ(c.ConnectedSSID(), "Scan");
}

// --- Internet state ----------------------------------------------------------

TEST_F(WifiNetworkTest, FirstReportRaisesOnceAndRepeatsRaiseNothing) {
  auto gate = std::make_shared<Gate>();
  internet.SetCheckHook([gate](const std::string&, std::uint32_t) { gate->Pass(); });
  auto& c = Make(/*settled=*/false);
  EXPECT_EQ(c.GetInternetState(), 0);
  auto ev = std::make_shared<Events>();
  c.OnInternetStateChange = [ev](std::uint8_t s) { ev->Add(std::to_string(s)); };
  gate->Open();

  ASSERT_TRUE(WaitUntil([&] { return c.GetInternetState() != 0; }));
  EXPECT_EQ(c.GetInternetState(), 1);
  ASSERT_TRUE(WaitUntil([&] { return !ev->Log().empty(); }));
  EXPECT_EQ(ev->Log(), (std::vector<std::string>{"1"}));

  // The monitor now waits a minute; the test plays its part.
  c.SetInternetState(1);
  EXPECT_EQ(ev->Log(), (std::vector<std::string>{"1"}));
  c.SetInternetState(2);
  c.SetInternetState(2);
  EXPECT_EQ(c.GetInternetState(), 2);
  EXPECT_EQ(ev->Log(), (std::vector<std::string>{"1", "2"}));
}

TEST_F(WifiNetworkTest, WakeUpStartsTheNextCheckAndAChangeIsReported) {
  auto& c = Make();
  ASSERT_TRUE(WaitUntil([&] { return c.GetInternetState() == 1; }));
  auto ev = std::make_shared<Events>();
  c.OnInternetStateChange = [ev](std::uint8_t s) { ev->Add(std::to_string(s)); };
  internet.SetReachable(false);
  c.WakeInternetCheck();
  ASSERT_TRUE(WaitUntil([&] { return c.GetInternetState() == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return !ev->Log().empty(); }));
  EXPECT_EQ(ev->Log(), (std::vector<std::string>{"2"}));
}

TEST_F(WifiNetworkTest, StateIsKeptWithoutAReceiverAndReceiversMayAttachMeanwhile) {
  // Attaching races with the monitor's first report on purpose.
  auto ev = std::make_shared<Events>();
  auto& c = Make();
  c.OnInternetStateChange = [ev](std::uint8_t s) { ev->Add(std::to_string(s)); };
  ASSERT_TRUE(WaitUntil([&] { return c.GetInternetState() == 1; }));
  const auto log = ev->Log();
  EXPECT_TRUE(log.empty() || log == std::vector<std::string>{"1"});

  c.OnInternetStateChange = nullptr;
  c.SetInternetState(2);
  EXPECT_EQ(c.GetInternetState(), 2);
}

// --- creation and destruction ------------------------------------------------

TEST_F(WifiNetworkTest, CreateAndDestroyOrder) {
  TWifiConnection* atRegister = nullptr;
  TWifiConnection* atUnregister = nullptr;
  bool monitorRunningAtUnregister = false;
  R().onRegister = [&] { atRegister = WifiConnectionInstance.load(); };
  R().interfaces = {{u"wlan0", {}}};

  auto& c = Make();
  EXPECT_EQ(R().CallNames(), (std::vector<std::string>{"RegisterNotification"}));
  EXPECT_EQ(atRegister, &c);
  EXPECT_EQ(R().Callback(), &WifiNotificationCallback);
  ASSERT_NE(c.CheckThread(), nullptr);
  EXPECT_EQ(c.CheckThread()->Owner(), &c);
  EXPECT_EQ(c.GetSSID(), "Ostrelay");
  EXPECT_EQ(c.GetKey(), "73914");
  EXPECT_EQ(c.NetworkCount(), 0);
  EXPECT_EQ(c.ConnectedNetwork(), nullptr);

  c.Refresh();
  TThreadCheckInternet* monitor = c.CheckThread();
  R().onUnregister = [&] {
    atUnregister = WifiConnectionInstance.load();
    monitorRunningAtUnregister = !monitor->Finished() && monitor->Owner() != nullptr;
  };
  R().ClearCalls();
  auto ev = std::make_shared<Events>();
  AttachAll(*controller, ev);
  controller.reset();

  EXPECT_EQ(R().CallNames(), (std::vector<std::string>{"UnRegisterNotification"}));
  EXPECT_NE(atUnregister, nullptr) << "unregistered before anything else is taken down";
  EXPECT_TRUE(monitorRunningAtUnregister);
  EXPECT_EQ(WifiConnectionInstance.load(), nullptr);

  // A library that calls back late reaches nobody.
  NotificationRecord rec(0x8, 10, "Late");
  R().Callback()(&rec.note, nullptr);
  EXPECT_TRUE(ev->Log().empty());
}

TEST_F(WifiNetworkTest, DestroyLeavesANewerInstanceAlone) {
  auto older = std::make_unique<TWifiConnection>(library, internet, kIdleMonitor);
  auto& newer = Make();
  ASSERT_EQ(WifiConnectionInstance.load(), &newer);
  older.reset();
  EXPECT_EQ(WifiConnectionInstance.load(), &newer);

  auto ev = std::make_shared<Events>();
  newer.OnConnected = [ev](const std::u16string& s) { ev->Add(A(s)); };
  NotificationRecord rec(0x8, 10, "Still");
  R().Callback()(&rec.note, nullptr);
  EXPECT_EQ(ev->Log(), (std::vector<std::string>{"Still"}));
}

TEST_F(WifiNetworkTest, DestroyWaitsForACallbackUnderWay) {
  auto& c = Make();
  TWifiConnection* raw = &c;  // the unique_ptr is emptied before the destructor runs
  auto entered = std::make_shared<Gate>();
  auto release = std::make_shared<Gate>();
  std::atomic<bool> destroyed{false};
  std::atomic<bool> destroyedWhileInside{true};
  c.OnConnected = [&, entered, release](const std::u16string&) {
    entered->Open();
    release->Pass();
    destroyedWhileInside = destroyed.load();
    // Touches the controller after the destructor has begun.
    (void)raw->ConnectedSSID();
  };
  std::atomic<bool> unregistered{false};
  R().onUnregister = [&] { unregistered = true; };

  std::thread library([cb = R().Callback()] {
    NotificationRecord rec(0x8, 10, "Busy");
    cb(&rec.note, nullptr);
  });
  entered->Pass();
  std::thread closer([&] {
    controller.reset();
    destroyed = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return unregistered.load(); }));
  release->Open();
  library.join();
  closer.join();
  EXPECT_FALSE(destroyedWhileInside.load());
  EXPECT_TRUE(destroyed.load());
}

TEST_F(WifiNetworkTest, IncompleteTableIsRefusedBeforeAnythingStarts) {
  TWifiLibrary partial = scripted::Library();
  partial.DeleteSsid = nullptr;
  try {
    TWifiConnection c(partial, internet, kIdleMonitor);
    FAIL() << "accepted a table without DeleteSsid";
  } catch (const EWifiLibraryError& e) {
    EXPECT_NE(std::string(e.what()).find("DeleteSsid"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(R().Calls().empty());
  EXPECT_EQ(WifiConnectionInstance.load(), nullptr);
}

}  // namespace
