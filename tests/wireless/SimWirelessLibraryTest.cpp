// The simulated wireless library, driven through the eight functions of the
// built libwireless.so, with a private air folder and scenario per test.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/Strings.h"
#include "wireless/wifi.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kLimit = 10s;

struct Note {
  std::uint32_t source = 0;
  std::uint8_t code = 0;
  std::string name;
  std::thread::id thread;
};

// The callback has no context of its own, so the notes it takes are global.
class Notes {
 public:
  void Add(Note note) {
    std::lock_guard lock(mutex_);
    notes_.push_back(std::move(note));
    changed_.notify_all();
  }
  // Waits until at least count notes have arrived; returns them all.
  std::vector<Note> WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kLimit, [&] { return notes_.size() >= count; });
    return notes_;
  }
  std::vector<Note> All() {
    std::lock_guard lock(mutex_);
    return notes_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    notes_.clear();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Note> notes_;
};

Notes gNotes;

Note Read(const TWifiNotification* n) {
  Note note;
  note.source = n->Source;
  note.code = static_cast<std::uint8_t>(n->Code & 0xFF);
  note.name.assign(n->Data->Name, strnlen(n->Data->Name, kWifiConnectionDataNameSize));
  note.thread = std::this_thread::get_id();
  return note;
}

void KESTRUNE_WIFI_CALLBACK Record(const TWifiNotification* n, void*) { gNotes.Add(Read(n)); }

struct Listed {
  std::u16string ssid;
  std::uint8_t state;
  std::uint8_t security;
  std::uint32_t paramA;
  std::uint32_t paramB;
};

pid_t SpawnTrue() {
  pid_t pid = 0;
  char arg0[] = "true";
  char* argv[] = {arg0, nullptr};
  if (posix_spawn(&pid, "/bin/true", nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return pid;
}

class SimWirelessLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/simair-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    air_ = dir_ / "air";
    setenv("KESTRUNE_SIM_AIR", air_.c_str(), 1);
    unsetenv("KESTRUNE_SIM_WIFI");
    lib_ = LoadWifiLibrary(KESTRUNE_BIN_DIR "/libwireless.so");
    EndConnections();
    gNotes.Clear();
    ASSERT_EQ(lib_->RegisterNotification(&Record), 0u);
  }

  void TearDown() override {
    lib_->UnRegisterNotification();
    EndConnections();
    lib_.reset();
    unsetenv("KESTRUNE_SIM_AIR");
    unsetenv("KESTRUNE_SIM_WIFI");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // The library stays loaded between tests: leave no interface hosting or joined.
  void EndConnections() {
    for (const auto& id : Interfaces()) lib_->Disconnect(id.c_str());
  }

  void UseScenario(const std::string& text) {
    const fs::path file = dir_ / "scenario.txt";
    std::ofstream(file) << text;
    setenv("KESTRUNE_SIM_WIFI", file.c_str(), 1);
  }

  std::vector<std::u16string> Interfaces(std::uint32_t* rc = nullptr) {
    TWifiInterfaceList list{};
    const std::uint32_t r = lib_->EnumInterface(&list);
    if (rc != nullptr) *rc = r;
    std::vector<std::u16string> ids;
    for (std::uint32_t i = 0; i < list.Count && i < kWifiMaxInterfaces; ++i) ids.emplace_back(list.Entries[i].Id);
    return ids;
  }

  std::u16string FirstInterface() {
    const auto ids = Interfaces();
    return ids.empty() ? std::u16string() : ids[0];
  }

  std::vector<Listed> Networks(const std::u16string& id) {
    TWifiNetworkList list{};
    EXPECT_EQ(lib_->GetVisibleNetworkList(id.c_str(), &list), 0u);
    EXPECT_LE(list.Count, kWifiMaxNetworks);
    std::vector<Listed> out;
    for (std::uint32_t i = 0; i < list.Count && i < kWifiMaxNetworks; ++i) {
      const auto& e = list.Entries[i];
      EXPECT_EQ(e.SSID[kWifiSSIDUnits - 1], u'\0');
      out.push_back({std::u16string(e.SSID), static_cast<std::uint8_t>(e.State & 0xFF),
                     static_cast<std::uint8_t>(e.Security & 0xFF), e.ConnectParamA, e.ConnectParamB});
    }
    return out;
  }

  std::optional<Listed> Find(const std::u16string& id, const std::u16string& ssid) {
    for (const auto& n : Networks(id))
      if (n.ssid == ssid) return n;
    return std::nullopt;
  }

  // Another process's hosted network, as that process would publish it.
  fs::path WriteForeignHost(const std::string& ssid, const std::string& key, pid_t pid, const std::string& tag = "a") {
    fs::create_directories(air_);
    const fs::path file = air_ / ("host-" + std::to_string(pid) + "-" + tag + ".net");
    WriteHostAt(file, ssid, key, pid);
    return file;
  }

  static void WriteHostAt(const fs::path& file, const std::string& ssid, const std::string& key, pid_t pid) {
    std::ofstream(file) << "ssid=" << ssid << "\nkey=" << key << "\nsecurity=1\npid=" << pid
                        << "\ninterface=other-wlan0\n";
  }

  std::uint32_t Join(const std::u16string& id, const Listed& n, const std::u16string& key) {
    return lib_->Connect(id.c_str(), n.ssid.c_str(), key.c_str(), n.security, n.paramA, n.paramB);
  }

  fs::path dir_;
  fs::path air_;
  std::unique_ptr<TWifiLibrary> lib_;
};

TEST_F(SimWirelessLibrary, TheLinkIsUpWhileHosting) {
  const auto id = FirstInterface();
  EXPECT_EQ(WirelessLinkUp(*lib_, id), false);
  EXPECT_EQ(WirelessLinkUp(*lib_, u"no-such-interface"), std::nullopt);
  ASSERT_EQ(lib_->AddSsid(id.c_str(), u"KESTRUNE", u"73914"), 0u);
  EXPECT_EQ(WirelessLinkUp(*lib_, id), true);
  // By connection GUID text, as a platform asks.
  EXPECT_EQ(WirelessLinkQueryOver(*lib_)(kestrune::WideToAnsi(id)), true);
  ASSERT_EQ(lib_->DeleteSsid(id.c_str(), u"KESTRUNE"), 0u);
  EXPECT_EQ(WirelessLinkUp(*lib_, id), false);
}

TEST_F(SimWirelessLibrary, DefaultScenarioHasOneInterfaceAndANeighbour) {
  TWifiInterfaceList list{};
  ASSERT_EQ(lib_->EnumInterface(&list), 0u);
  ASSERT_EQ(list.Count, 1u);
  const char16_t* first = list.Entries[0].Id;
  ASSERT_NE(first, nullptr);
  const std::u16string id(first);
  EXPECT_FALSE(id.empty());

  const auto networks = Networks(id);
  ASSERT_EQ(networks.size(), 1u);
  EXPECT_EQ(networks[0].ssid, u"CoffeeShop");
  EXPECT_EQ(networks[0].security, 2);
  EXPECT_NE(networks[0].state, 0);

  // The identity handed out earlier still reads the same after another enumeration.
  TWifiInterfaceList again{};
  ASSERT_EQ(lib_->EnumInterface(&again), 0u);
  EXPECT_EQ(std::u16string(first), id);

  TWifiNetworkList none{};
  EXPECT_NE(lib_->GetVisibleNetworkList(u"no-such-interface", &none), 0u);
  EXPECT_EQ(none.Count, 0u);
}

TEST_F(SimWirelessLibrary, ScenarioFileNamesInterfacesAndNeighbours) {
  struct Case {
    const char* text;
    bool ok;
    std::vector<std::u16string> interfaces;
  };
  const Case cases[] = {
      {"# two cards\ninterface=wlan0\r\ninterface=wlan1\n\nneighbour=Cafe;2;abc;def\nneighbour=Open;0;\n", true,
       {u"wlan0", u"wlan1"}},
      {"neighbour=Nobody;2;key\n", true, {}},
      {"interface=a\ninterface=b\ninterface=c\ninterface=d\ninterface=e\n", true, {u"a", u"b", u"c", u"d"}},
      {"interface=wlan0\ninterface=wlan0\n", false, {}},
      {"interface=wlan0\nneighbour=NoFields\n", false, {}},
      {"interface=wlan0\nneighbour=Cafe;300;k\n", false, {}},
      {"interface=wlan0\nneighbour=ThisNameIsMuchTooLongForAnyNetwork;2;k\n", false, {}},
      {"radio=on\n", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    UseScenario(c.text);
    std::uint32_t rc = 0;
    const auto ids = Interfaces(&rc);
    EXPECT_EQ(rc == 0, c.ok);
    EXPECT_EQ(ids, c.interfaces);
  }

  UseScenario("interface=wlan0\nneighbour=Cafe;2;abc;def\nneighbour=Open;0;\n");
  const auto networks = Networks(u"wlan0");
  ASSERT_EQ(networks.size(), 2u);
  EXPECT_EQ(networks[0].ssid, u"Cafe");
  EXPECT_EQ(networks[1].ssid, u"Open");
  // The key is the rest of the line, ';' included; an open network takes any key.
  EXPECT_EQ(Join(u"wlan0", networks[0], u"abc"), 86u);
  EXPECT_EQ(Join(u"wlan0", networks[0], u"abc;def"), 0u);
  EXPECT_EQ(Join(u"wlan0", networks[1], u"whatever"), 0u);

  setenv("KESTRUNE_SIM_WIFI", (dir_ / "missing.txt").c_str(), 1);
  std::uint32_t rc = 0;
  EXPECT_TRUE(Interfaces(&rc).empty());
  EXPECT_NE(rc, 0u);
}

TEST_F(SimWirelessLibrary, HostedNetworkIsListedConnectedWithSecurityOne) {
  const auto id = FirstInterface();
  ASSERT_EQ(lib_->AddSsid(id.c_str(), u"KESTRUNE", u"12345"), 0u);

  const auto own = Find(id, u"KESTRUNE");
  ASSERT_TRUE(own);
  EXPECT_EQ(own->state, 0);
  EXPECT_EQ(own->security, 1);
  EXPECT_NE(Find(id, u"CoffeeShop")->state, 0);

  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(air_)) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(fs::status(air_).permissions() & fs::perms::all, fs::perms::owner_all);

  const auto notes = gNotes.WaitFor(1);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].code, kWifiCodeConnectionComplete);
  EXPECT_EQ(notes[0].name, "KESTRUNE");

  // Deleting it ends hosting; a second delete finds nothing.
  EXPECT_EQ(lib_->DeleteSsid(id.c_str(), u"KESTRUNE"), 0u);
  EXPECT_FALSE(Find(id, u"KESTRUNE"));
  EXPECT_TRUE(fs::is_empty(air_));
  EXPECT_EQ(lib_->DeleteSsid(id.c_str(), u"KESTRUNE"), 1168u);
  EXPECT_EQ(lib_->DeleteSsid(id.c_str(), u"NeverAdded"), 1168u);
  EXPECT_NE(lib_->DeleteSsid(u"no-such-interface", u"KESTRUNE"), 0u);
  const auto after = gNotes.WaitFor(2);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[1].code, kWifiCodeDisconnected);
  EXPECT_EQ(after[1].name, "KESTRUNE");
}

TEST_F(SimWirelessLibrary, JoinsAnotherProcessesNetworkOnlyWithItsKey) {
  const auto id = FirstInterface();
  const fs::path host = WriteForeignHost("KESTRUNE", "54321", getppid());
  const auto listed = Find(id, u"KESTRUNE");
  ASSERT_TRUE(listed);
  EXPECT_NE(listed->state, 0);
  EXPECT_EQ(listed->security, 1);

  EXPECT_EQ(Join(id, *listed, u"12345"), 86u);
  EXPECT_EQ(lib_->Connect(id.c_str(), u"KESTRUNE", u"54321", 2, listed->paramA, listed->paramB), 87u);
  EXPECT_EQ(lib_->Connect(id.c_str(), u"KESTRUNE", u"54321", 1, listed->paramA + 1, listed->paramB), 1168u);
  EXPECT_NE(Find(id, u"KESTRUNE")->state, 0);

  ASSERT_EQ(Join(id, *listed, u"54321"), 0u);
  // The failed attempts raised nothing: the first note is the successful join's.
  auto notes = gNotes.WaitFor(1);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].source & kWifiNotificationSourceMask, 0u);
  EXPECT_EQ(notes[0].code, kWifiCodeConnectionComplete);
  EXPECT_EQ(notes[0].name, "KESTRUNE");
  EXPECT_NE(notes[0].thread, std::this_thread::get_id());
  EXPECT_EQ(Find(id, u"KESTRUNE")->state, 0);

  EXPECT_EQ(lib_->Disconnect(id.c_str()), 0u);
  notes = gNotes.WaitFor(2);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[1].code, kWifiCodeDisconnected);
  EXPECT_EQ(notes[1].name, "KESTRUNE");
  EXPECT_NE(Find(id, u"KESTRUNE")->state, 0);
  EXPECT_TRUE(fs::exists(host));

  // Joining left a profile behind: deleting it takes the joiner off the network,
  // and the host's file stays.
  ASSERT_EQ(Join(id, *listed, u"54321"), 0u);
  notes = gNotes.WaitFor(3);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(lib_->DeleteSsid(id.c_str(), u"KESTRUNE"), 0u);
  notes = gNotes.WaitFor(4);
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[3].code, kWifiCodeDisconnected);
  EXPECT_NE(Find(id, u"KESTRUNE")->state, 0);
  EXPECT_TRUE(fs::exists(host));
  EXPECT_EQ(lib_->DeleteSsid(id.c_str(), u"KESTRUNE"), 1168u);

  // The neighbour from the scenario joins with its key.
  const auto cafe = Find(id, u"CoffeeShop");
  ASSERT_TRUE(cafe);
  EXPECT_EQ(Join(id, *cafe, u"wrong"), 86u);
  EXPECT_EQ(Join(id, *cafe, u"espresso42"), 0u);
  EXPECT_EQ(Find(id, u"CoffeeShop")->state, 0);
}

TEST_F(SimWirelessLibrary, JoinerLeavesWhenTheHostGoes) {
  const auto id = FirstInterface();
  const pid_t dead = SpawnTrue();
  ASSERT_GT(dead, 0);
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> end;
  };
  const Case cases[] = {
      {"file removed", [](const fs::path& f) { fs::remove(f); }},
      {"host died", [&](const fs::path& f) { WriteHostAt(f, "KESTRUNE", "54321", dead); }},
      {"key changed", [&](const fs::path& f) { WriteHostAt(f, "KESTRUNE", "99999", getppid()); }},
  };
  std::size_t expected = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path host = WriteForeignHost("KESTRUNE", "54321", getppid());
    const auto listed = Find(id, u"KESTRUNE");
    ASSERT_TRUE(listed);
    ASSERT_EQ(Join(id, *listed, u"54321"), 0u);
    c.end(host);
    expected += 2;
    const auto notes = gNotes.WaitFor(expected);
    ASSERT_EQ(notes.size(), expected);
    EXPECT_EQ(notes[expected - 1].code, kWifiCodeDisconnected);
    EXPECT_EQ(notes[expected - 1].name, "KESTRUNE");
    fs::remove(host);
  }
}

TEST_F(SimWirelessLibrary, FilesOfDeadProcessesAreIgnored) {
  const auto id = FirstInterface();
  const pid_t dead = SpawnTrue();
  ASSERT_GT(dead, 0);
  const fs::path stale = WriteForeignHost("Gone", "12345", dead);
  WriteForeignHost("Alive", "12345", getppid());
  std::ofstream(air_ / "host-1-junk.net") << "not a network\n";

  EXPECT_FALSE(Find(id, u"Gone"));
  EXPECT_TRUE(Find(id, u"Alive"));
  EXPECT_FALSE(fs::exists(stale));
}

TEST_F(SimWirelessLibrary, BoundsOnNamesKeysAndListLength) {
  const auto id = FirstInterface();
  struct Case {
    std::u16string ssid;
    std::u16string key;
    bool ok;
  };
  const Case cases[] = {
      {std::u16string(40, u'x'), u"12345", false},
      {std::u16string(32, u'x'), u"12345", true},
      // 11 characters of three UTF-8 bytes each do not fit the 32 octets of a name.
      {std::u16string(11, u'\u20AC'), u"12345", false},
      {std::u16string(10, u'\u20AC'), u"12345", true},
      {u"", u"12345", false},
      {u"KESTRUNE", u"", false},
      {std::u16string(1, char16_t(0xD800)), u"12345", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.ssid.size()));
    EXPECT_EQ(lib_->AddSsid(id.c_str(), c.ssid.c_str(), c.key.c_str()) == 0, c.ok);
  }
  EXPECT_NE(lib_->AddSsid(u"no-such-interface", u"KESTRUNE", u"12345"), 0u);
  EXPECT_NE(lib_->AddSsid(id.c_str(), nullptr, u"12345"), 0u);

  ASSERT_EQ(lib_->AddSsid(id.c_str(), u"Mine", u"12345"), 0u);
  for (int i = 0; i < 30; ++i) WriteForeignHost("Net" + std::to_string(i), "12345", getppid(), std::to_string(i));
  const auto networks = Networks(id);
  EXPECT_EQ(networks.size(), kWifiMaxNetworks);
  int mine = 0;
  for (const auto& n : networks)
    if (n.ssid == u"Mine" && n.state == 0) ++mine;
  EXPECT_EQ(mine, 1);
}

TEST_F(SimWirelessLibrary, AnUnusableAirFolderIsAnErrorNotAHostedNetwork) {
  const auto id = FirstInterface();
  std::ofstream(dir_ / "plain-file") << "x";
  setenv("KESTRUNE_SIM_AIR", (dir_ / "plain-file" / "air").c_str(), 1);
  EXPECT_NE(lib_->AddSsid(id.c_str(), u"KESTRUNE", u"12345"), 0u);
  // Neighbours stay visible; nothing is listed as hosted or connected.
  const auto networks = Networks(id);
  ASSERT_EQ(networks.size(), 1u);
  EXPECT_EQ(networks[0].ssid, u"CoffeeShop");
  EXPECT_NE(networks[0].state, 0);
}

std::atomic<int> gSlowCalls{0};
std::atomic<bool> gInSlow{false};
std::atomic<bool> gReleaseSlow{false};

void KESTRUNE_WIFI_CALLBACK Slow(const TWifiNotification*, void*) {
  gInSlow = true;
  ++gSlowCalls;
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  while (!gReleaseSlow && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  std::this_thread::sleep_for(20ms);
  gInSlow = false;
}

TEST_F(SimWirelessLibrary, UnregisterWaitsForACallbackAndStopsThemAll) {
  const auto id = FirstInterface();
  gSlowCalls = 0;
  gReleaseSlow = false;
  ASSERT_EQ(lib_->RegisterNotification(&Slow), 0u);
  ASSERT_EQ(lib_->AddSsid(id.c_str(), u"KESTRUNE", u"12345"), 0u);
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  while (!gInSlow && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(gInSlow);

  std::thread releaser([] {
    std::this_thread::sleep_for(50ms);
    gReleaseSlow = true;
  });
  lib_->UnRegisterNotification();
  EXPECT_FALSE(gInSlow);
  releaser.join();
  const int calls = gSlowCalls;

  // Nothing that happens while unregistered reaches either callback.
  EXPECT_EQ(lib_->DeleteSsid(id.c_str(), u"KESTRUNE"), 0u);
  gNotes.Clear();
  ASSERT_EQ(lib_->RegisterNotification(&Record), 0u);
  ASSERT_EQ(lib_->AddSsid(id.c_str(), u"Second", u"12345"), 0u);
  const auto notes = gNotes.WaitFor(1);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].name, "Second");
  EXPECT_EQ(gSlowCalls, calls);
}

std::atomic<const TWifiLibrary*> gSelfLib{nullptr};
std::atomic<int> gSelfCalls{0};
std::atomic<bool> gSelfDone{false};

void KESTRUNE_WIFI_CALLBACK UnregisterFromInside(const TWifiNotification*, void*) {
  ++gSelfCalls;
  gSelfLib.load()->UnRegisterNotification();
  gSelfDone = true;
}

TEST_F(SimWirelessLibrary, UnregisterFromInsideACallbackDoesNotHang) {
  const auto id = FirstInterface();
  gSelfLib = lib_.get();
  gSelfCalls = 0;
  gSelfDone = false;
  ASSERT_EQ(lib_->RegisterNotification(&UnregisterFromInside), 0u);
  // Two events queued at once: the second must not be delivered.
  ASSERT_EQ(lib_->AddSsid(id.c_str(), u"One", u"12345"), 0u);
  ASSERT_EQ(lib_->AddSsid(id.c_str(), u"Two", u"12345"), 0u);

  gNotes.Clear();
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  while (!gSelfDone && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(gSelfDone);
  ASSERT_EQ(lib_->RegisterNotification(&Record), 0u);
  ASSERT_EQ(lib_->DeleteSsid(id.c_str(), u"Two"), 0u);
  const auto notes = gNotes.WaitFor(1);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].code, kWifiCodeDisconnected);
  EXPECT_EQ(notes[0].name, "Two");
  EXPECT_EQ(gSelfCalls, 1);
}

}  // namespace
