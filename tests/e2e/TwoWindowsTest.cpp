// Two computers with the real main window on one simulated air: a peer
// process starts Wi-Fi through its window; this process's window, on a
// computer without an Internet source, finds the network and joins it.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "core/Strings.h"
#include "fixtures/PeerProcess.h"
#include "fixtures/TempDir.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimNetworkScenario.h"
#include "shell/Unit1.h"
#include "ui/Form1View.h"
#include "ui/MessageBox.h"
#include "wireless/WifiNetwork.h"
#include "wireless/wifi.h"

namespace fs = std::filesystem;
using kestrune::platform::SimAdapter;
using kestrune::platform::SimMachine;
using kestrune::platform::SimNetworkBuilder;

namespace {

constexpr int kLimitMs = 10000;
// A sanitizer build of the peer takes a while before its window is up.
constexpr int kPeerStartMs = 60000;
constexpr char kLibrary[] = KESTRUNE_BIN_DIR "/libwireless.so";
constexpr char kPeer[] = KESTRUNE_BIN_DIR "/kestrune_window_peer";
constexpr char kSignalFound[] = "Signal [KESTRUNE] found nearby";

// Processes events until done() holds or timeoutMs passes; returns done().
bool WaitFor(const std::function<bool()>& done, int timeoutMs = kLimitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

// kestrune_window_peer; this process's window keeps handling its events
// while the test waits for the peer to end.
class WindowPeer : public PeerProcess {
 public:
  bool Start() { return PeerProcess::Start(kPeer, kLibrary); }
  std::string ReadLine(int timeoutMs) { return PeerProcess::ReadLine(std::chrono::milliseconds(timeoutMs)); }
  int Wait(int timeoutMs) {
    return PeerProcess::Wait(std::chrono::milliseconds(timeoutMs), [] {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
    });
  }
};

// What the joiner's controller reports from the wireless library's thread.
class Events {
 public:
  void Add(std::string what) {
    std::lock_guard lock(mutex_);
    seen_.push_back(std::move(what));
  }
  bool Has(const std::string& what) const {
    std::lock_guard lock(mutex_);
    return std::find(seen_.begin(), seen_.end(), what) != seen_.end();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> seen_;
};

// Answers every box with OK and keeps its text.
class Prompts {
 public:
  Prompts() {
    previous_ = kestrune::ui::SetMessagePrompt([this](const kestrune::ui::MessageRequest& r) {
      texts_.push_back(r.text.toStdString());
      return kestrune::ui::Answer::Ok;
    });
  }
  ~Prompts() { kestrune::ui::SetMessagePrompt(std::move(previous_)); }
  Prompts(const Prompts&) = delete;
  Prompts& operator=(const Prompts&) = delete;
  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
  kestrune::ui::MessagePrompt previous_;
};

// The second computer has no Internet source of its own: a Wi-Fi adapter only,
// and the Internet out of reach.
class TwoWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KESTRUNE_SIM_AIR", (air_.Path() / "air").c_str(), 1);
    unsetenv("KESTRUNE_SIM_WIFI");
    SimAdapter wireless;
    wireless.guid = kestrune::platform::kDefaultWirelessGuid;
    wireless.connectionName = "Wireless Network Connection";
    wireless.deviceName = "USB 802.11n Wireless LAN Adapter";
    wireless.pnpInstanceId = "USB\\VID_0BDA&PID_8176\\00E04C000001";
    wireless.mediaSubType = 2;
    wireless.type = kestrune::platform::IF_TYPE_IEEE80211;
    wireless.addresses = {{"0.0.0.0", "0.0.0.0"}};
    wireless.operStatus = kestrune::platform::MIB_IF_OPER_STATUS_DISCONNECTED;
    wireless.status = kestrune::platform::NCS_MEDIA_DISCONNECTED;
    SimNetworkBuilder(machine_.Registry(), machine_.IpHelper(), machine_.NetSharing()).Add(wireless);
    machine_.Internet().SetReachable(false);
    machine_.System().SetExecutablePath((program_.Path() / "kestrune").string());
    library_ = LoadWifiLibrary(kLibrary);
  }
  void TearDown() override { unsetenv("KESTRUNE_SIM_AIR"); }

  // The window as the program shows it at start; the test's loop is not the window's to end.
  std::unique_ptr<TForm1> ShowJoiner() {
    auto form = std::make_unique<TForm1>(machine_.Get(), *library_);
    form->OnTerminate = [] {};
    form->show();
    return form;
  }

  // The controller's connection events, besides the window's own handlers.
  static void Watch(TWifiConnection& wifi, Events& events) {
    auto connected = wifi.OnConnected.Get();
    wifi.OnConnected = [connected, &events](const std::u16string& ssid) {
      if (connected) connected(ssid);
      events.Add("connected " + kestrune::WideToAnsi(ssid));
    };
    auto disconnected = wifi.OnDisconnected.Get();
    wifi.OnDisconnected = [disconnected, &events](const std::u16string& ssid) {
      if (disconnected) disconnected(ssid);
      events.Add("disconnected " + kestrune::WideToAnsi(ssid));
    };
  }

  // Refreshes as the user would until the peer's network is reported.
  static bool RefreshUntilSignalFound(TForm1& form) {
    const QString expected = QString::fromLatin1(kSignalFound);
    return WaitFor([&] {
      form.View()->sBitBtn2->click();
      return form.View()->lblSignalFound->text() == expected;
    });
  }

  // Networks on the air: one file per hosted network.
  int HostedNetworkFiles() const {
    int n = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(air_.Path() / "air", ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("host-", 0) == 0 && entry.path().extension() == ".net") ++n;
    }
    return n;
  }

  TempDir air_;
  TempDir program_;
  SimMachine machine_;
  std::unique_ptr<TWifiLibrary> library_;
};

TEST_F(TwoWindows, OneStartsWifiTheOtherFindsItJoinsAndIsLeftWhenTheHostExits) {
  WindowPeer peer;
  ASSERT_TRUE(peer.Start());
  ASSERT_EQ(peer.ReadLine(kPeerStartMs), "started");

  Events events;
  Prompts prompts;
  {
    auto form = ShowJoiner();
    TForm1View& view = *form->View();
    ASSERT_NE(form->Wifi(), nullptr);
    Watch(*form->Wifi(), events);

    // Nothing of its own to share: only the client role is open.
    form->UpdateActions();
    EXPECT_FALSE(form->CanShare());
    EXPECT_FALSE(view.actStartSharing->isEnabled());
    EXPECT_TRUE(view.btnConnect->isEnabled());

    view.actConnectToHotspot->trigger();
    ASSERT_TRUE(RefreshUntilSignalFound(*form)) << view.lblSignalFound->text().toStdString();

    form->UpdateActions();
    ASSERT_TRUE(view.btnConnect->isEnabled());
    view.btnConnect->click();
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Done! Please wait a few seconds to finish the connecting..."});
    ASSERT_TRUE(WaitFor([&] { return events.Has("connected KESTRUNE"); }));
    EXPECT_EQ(form->Wifi()->ConnectedSSID(), "KESTRUNE");

    // The host leaves through its window's Exit: its shutdown takes the network
    // off the air and switches sharing off (the peer checks both), and the
    // joiner is left.
    peer.CloseInput();
    EXPECT_EQ(peer.Wait(kPeerStartMs), 0);
    EXPECT_TRUE(WaitFor([&] { return events.Has("disconnected KESTRUNE"); }));
    EXPECT_EQ(form->Wifi()->ConnectedSSID(), "");
    view.sBitBtn2->click();
    EXPECT_EQ(view.lblSignalFound->text(), QString());

    form->Shutdown();
  }
}

TEST_F(TwoWindows, AWindowWithAnotherKeyFindsTheNetworkButDoesNotJoin) {
  {
    std::ofstream settings(program_.Path() / "setup.ini");
    settings << "[System]\nPassword=13579\n";
  }
  WindowPeer peer;
  ASSERT_TRUE(peer.Start());
  ASSERT_EQ(peer.ReadLine(kPeerStartMs), "started");

  Events events;
  Prompts prompts;
  {
    auto form = ShowJoiner();
    TForm1View& view = *form->View();
    ASSERT_NE(form->Wifi(), nullptr);
    Watch(*form->Wifi(), events);
    ASSERT_EQ(form->Password(), "13579");

    ASSERT_TRUE(RefreshUntilSignalFound(*form));
    form->UpdateActions();
    view.btnConnect->click();
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Could not connect to the wifi router!"});
    QCoreApplication::processEvents();
    EXPECT_FALSE(events.Has("connected KESTRUNE"));
    EXPECT_EQ(form->Wifi()->ConnectedSSID(), "");
    // Joining failed; it must not have put up a network of its own instead.
    EXPECT_EQ(HostedNetworkFiles(), 1);
    form->Shutdown();
  }
  peer.CloseInput();
  EXPECT_EQ(peer.Wait(kPeerStartMs), 0);
}

}  // namespace
