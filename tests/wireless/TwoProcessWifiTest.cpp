// Two computers on one simulated air: a peer process hosts the own network
// through its controller, and this process's controller finds and joins it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/SimInternet.h"
#include "wireless/WifiNetwork.h"
#include "wireless/wifi.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kLimit = 10s;
constexpr char kLibrary[] = KESTRUNE_BIN_DIR "/libwireless.so";
constexpr char kPeer[] = KESTRUNE_BIN_DIR "/kestrune_wifi_peer";

// The peer with its standard input and output on pipes.
class Peer {
 public:
  bool Start() {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return false;
    if (pipe2(out, O_CLOEXEC) != 0) {
      close(in[0]);
      close(in[1]);
      return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string arg0 = kPeer, arg1 = kLibrary;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    const int rc = posix_spawn(&pid_, kPeer, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    if (rc != 0) pid_ = -1;
    return rc == 0;
  }

  // The first line the peer prints, or empty when none comes in time.
  std::string ReadLine() {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char c;
      const ssize_t n = read(stdout_, &c, 1);
      if (n <= 0) break;
      if (c == '\n') return line;
      line += c;
    }
    return line;
  }

  void CloseInput() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
  }

  // The exit status, or -1 when the peer does not end in time.
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (pid_ > 0) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (r < 0 || std::chrono::steady_clock::now() > deadline) return -1;
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

  ~Peer() {
    CloseInput();
    if (stdout_ >= 0) close(stdout_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
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

TEST(TwoProcessWifi, JoinsTheNetworkAnotherProcessHostsAndLeavesWhenItEnds) {
  char tmpl[] = "/tmp/simair-two-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  setenv("KESTRUNE_SIM_AIR", (dir / "air").c_str(), 1);
  unsetenv("KESTRUNE_SIM_WIFI");

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
  unsetenv("KESTRUNE_SIM_AIR");
  std::error_code ec;
  fs::remove_all(dir, ec);
}

TEST(TwoProcessWifi, AWrongKeyDoesNotJoin) {
  char tmpl[] = "/tmp/simair-two-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  setenv("KESTRUNE_SIM_AIR", (dir / "air").c_str(), 1);
  unsetenv("KESTRUNE_SIM_WIFI");

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
  unsetenv("KESTRUNE_SIM_AIR");
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
