// Two computers on one simulated air: a peer process hosts the own network
// through its controller, and this process's controller finds and joins it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/PeerProcess.h"
#include "fixtures/ScopedEnv.h"
#include "fixtures/TempDir.h"
#include "platform/sim/SimInternet.h"
#include "wireless/WifiNetwork.h"
#include "wireless/wifi.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kLimit = 10s;
constexpr char kLibrary[] = KESTRUNE_BIN_DIR "/libwireless.so";
constexpr char kPeer[] = KESTRUNE_BIN_DIR "/kestrune_wifi_peer";

// kestrune_wifi_peer, waited for no longer than the tests' limit.
class Peer : public PeerProcess {
 public:
  bool Start() { return PeerProcess::Start(kPeer, kLibrary); }
  std::string ReadLine() { return PeerProcess::ReadLine(kLimit); }
  int Wait() { return PeerProcess::Wait(kLimit); }
};

class Events {
 public:
  void Add(const std::string& what) {
    std::lock_guard lock(mutex_);
    seen_.push_back(what);
    changed_.notify_all();
  }
  bool WaitFor(const std::string& what) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kLimit,
                             [&] { return std::find(seen_.begin(), seen_.end(), what) != seen_.end(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> seen_;
};

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// An air of the test's own, which the peer finds through the environment.
class TwoProcessWifi : public ::testing::Test {
 protected:
  TempDir dir_{"simair-two"};
  ScopedEnv air_{"KESTRUNE_SIM_AIR", (dir_.Path() / "air").string()};
  ScopedEnv noScript_{"KESTRUNE_SIM_WIFI", nullptr};
};

TEST_F(TwoProcessWifi, JoinsTheNetworkAnotherProcessHostsAndLeavesWhenItEnds) {
  {
    Peer peer;
    ASSERT_TRUE(peer.Start());
    ASSERT_EQ(peer.ReadLine(), "hosting");

    const auto library = LoadWifiLibrary(kLibrary);
    kestrune::platform::SimInternet internet;
    Events events;
    {
      TWifiConnection wifi(*library, internet);
      wifi.OnConnected = [&](const std::u16string& ssid) { events.Add("connected " + Narrow(ssid)); };
      wifi.OnDisconnected = [&](const std::u16string& ssid) { events.Add("disconnected " + Narrow(ssid)); };
      wifi.SetSSID("KESTRUNE");
      wifi.SetKey("24680");

      const auto findOwn = [&]() -> TWLanNetwork* {
        for (int i = 0; i < wifi.NetworkCount(); ++i) {
          TWLanNetwork* n = wifi.Network(i);
          if (n->FSSID == u"KESTRUNE" && n->FSecurity == 1) return n;
        }
        return nullptr;
      };
      const auto deadline = std::chrono::steady_clock::now() + kLimit;
      wifi.Refresh();
      while (findOwn() == nullptr && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
        wifi.Refresh();
      }
      const TWLanNetwork* own = findOwn();
      ASSERT_NE(own, nullptr);
      EXPECT_NE(own->FState, 0);

      ASSERT_TRUE(wifi.ConnectOwnNetwork());
      EXPECT_TRUE(events.WaitFor("connected KESTRUNE"));
      wifi.Refresh();
      EXPECT_EQ(wifi.ConnectedSSID(), "KESTRUNE");

      peer.CloseInput();
      EXPECT_EQ(peer.Wait(), 0);
      EXPECT_TRUE(events.WaitFor("disconnected KESTRUNE"));
      wifi.Refresh();
      EXPECT_EQ(findOwn(), nullptr);
      EXPECT_EQ(wifi.ConnectedSSID(), "");
    }
  }
}

TEST_F(TwoProcessWifi, AWrongKeyDoesNotJoin) {
  {
    Peer peer;
    ASSERT_TRUE(peer.Start());
    ASSERT_EQ(peer.ReadLine(), "hosting");
    const auto library = LoadWifiLibrary(kLibrary);
    kestrune::platform::SimInternet internet;
    {
      TWifiConnection wifi(*library, internet);
      wifi.SetSSID("KESTRUNE");
      wifi.SetKey("13579");
      wifi.Refresh();
      EXPECT_FALSE(wifi.ConnectOwnNetwork());
      wifi.Refresh();
      EXPECT_EQ(wifi.ConnectedSSID(), "");
    }
    peer.CloseInput();
    EXPECT_EQ(peer.Wait(), 0);
  }
}

}  // namespace
