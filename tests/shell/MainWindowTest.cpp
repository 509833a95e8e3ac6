// The main window's logic, driven through its real widgets and actions on the
// simulated machine: detection of source and destination, enabling, the
// start and stop workflows, the client role, the displays they drive, and
// closing, exiting and the end of the session.
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "fixtures/ScopedEnv.h"
#include "platform/sim/SimNetworkScenario.h"
#include "shell/Unit1.h"
#include "ui/Form1View.h"
#include "wireless/WifiNetwork.h"

using kestrune::platform::kDefaultWiredGuid;
using kestrune::platform::kDefaultWirelessGuid;
using kestrune::platform::SimAdapter;
using kestrune::platform::SimNetworkBuilder;
using kestrune::platform::SimSharingRole;
using kestrune::ui::Answer;
using kestrune::ui::Icon;
using testsupport::Connection;
using testsupport::MessageCapture;
using testsupport::WindowHarness;
namespace np = kestrune::platform;

namespace {

QAction* Act(QWidget* w, const char* name) {
  auto* a = w->findChild<QAction*>(QString::fromLatin1(name));
  if (!a) ADD_FAILURE() << "no action " << name;
  return a;
}

QString Text(QWidget* w, const char* name) {
  if (auto* l = w->findChild<QLabel*>(QString::fromLatin1(name))) return l->text();
  if (auto* m = w->findChild<QPlainTextEdit*>(QString::fromLatin1(name))) return m->toPlainText();
  ADD_FAILURE() << "no label or memo " << name;
  return {};
}

void Show(TForm1& form) {
  form.show();
  // Painting needs an exposed window.
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
}

// Triggers the action as the user would: enabling is brought up to date first.
void Trigger(TForm1& form, const char* name) {
  form.UpdateActions();
  QAction* a = Act(&form, name);
  ASSERT_TRUE(a->isEnabled()) << name;
  a->trigger();
}

struct Enabling {
  bool start, stop, connect, disconnect;
  bool operator==(const Enabling&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Enabling& e) {
  return os << "start " << e.start << " stop " << e.stop << " connect " << e.connect << " disconnect " << e.disconnect;
}
Enabling EnablingOf(TForm1& form) {
  form.UpdateActions();
  return {Act(&form, "actStartSharing")->isEnabled(), Act(&form, "actStopSharing")->isEnabled(),
          Act(&form, "actConnect")->isEnabled(), Act(&form, "actDisconnect")->isEnabled()};
}

bool NothingShares(np::SimMachine& m) {
  return m.NetSharing().PublicConnection().empty() && m.NetSharing().PrivateConnection().empty();
}

std::vector<std::string> Texts(const MessageCapture& boxes) {
  std::vector<std::string> out;
  for (const auto& r : boxes.Requests()) out.push_back(r.text.toStdString());
  return out;
}

// Holds the connectivity monitor's checks (not the window's own probe) until released.
class MonitorGate {
 public:
  explicit MonitorGate(np::SimInternet& internet) : internet_(internet) {
    const auto gui = std::this_thread::get_id();
    internet_.SetCheckHook([this, gui](const std::string&, std::uint32_t) {
      if (std::this_thread::get_id() == gui) return;
      std::unique_lock lock(mutex_);
      cv_.wait(lock, [this] { return open_; });
    });
  }
  ~MonitorGate() {
    Open();
    internet_.SetCheckHook(nullptr);
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  np::SimInternet& internet_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

// Counts the reachability probes made on the window's own thread.
class ProbeCounter {
 public:
  explicit ProbeCounter(np::SimInternet& internet) : internet_(internet) {
    const auto gui = std::this_thread::get_id();
    internet_.SetCheckHook([this, gui](const std::string&, std::uint32_t) {
      if (std::this_thread::get_id() == gui) ++count_;
    });
  }
  ~ProbeCounter() { internet_.SetCheckHook(nullptr); }
  int Count() const { return count_; }

 private:
  np::SimInternet& internet_;
  std::atomic<int> count_{0};
};

}  // namespace

TEST(MainWindow, DetectsSourceAndDestination) {
  const std::string g1 = SimNetworkBuilder::GuidFor(1), g2 = SimNetworkBuilder::GuidFor(2),
                    g3 = SimNetworkBuilder::GuidFor(3);
  struct Case {
    const char* what;
    std::vector<SimAdapter> connections;
    std::string storedSource, storedDest;
    std::string source, dest;  // expected current GUIDs
    bool sourceConnected, canShare;
    bool probed;  // the reachability probe ran
  } cases[] = {
      {"wired LAN and Wi-Fi",
       {Connection(1, "LAN", true, false), Connection(2, "WiFi", true, true, np::NCS_MEDIA_DISCONNECTED)},
       "", "", g1, g2, true, true, true},
      {"two non-physical sources: the later",
       {Connection(1, "VPN 1", false, false), Connection(2, "VPN 2", false, false), Connection(3, "WiFi", true, true)},
       "", "", g2, g3, true, true, true},
      {"a physical LAN after a non-physical one wins at once",
       {Connection(1, "VPN", false, false), Connection(2, "LAN", true, false), Connection(3, "LAN 3", true, false),
        Connection(4, "WiFi", true, true)},
       "", "", g2, SimNetworkBuilder::GuidFor(4), true, true, true},
      {"stored source unplugged: kept, no detection",
       {Connection(1, "LAN", true, false), Connection(2, "LAN 2", true, false, np::NCS_MEDIA_DISCONNECTED),
        Connection(3, "WiFi", true, true)},
       g2, "", g2, g3, false, false, false},
      {"stored source gone: detected instead",
       {Connection(1, "LAN", true, false), Connection(2, "WiFi", true, true)}, SimNetworkBuilder::GuidFor(99), "",
       g1, g2, true, true, true},
      {"the last wireless connection, a connected one never as source",
       {Connection(1, "WiFi 1", true, true), Connection(2, "LAN", true, false), Connection(3, "WiFi 2", true, true)},
       "", "", g2, g3, true, true, true},
      {"stored destination",
       {Connection(1, "LAN", true, false), Connection(2, "WiFi 1", true, true), Connection(3, "WiFi 2", true, true)},
       "", g2, g1, g2, true, true, true},
      {"no wireless connection", {Connection(1, "LAN", true, false)}, "", "", g1, "", true, false, false},
      {"no connected source", {Connection(1, "LAN", true, false, np::NCS_MEDIA_DISCONNECTED), Connection(2, "WiFi", true, true)},
       "", "", "", g2, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WindowHarness h(false);
    SimNetworkBuilder builder(h.machine.Registry(), h.machine.IpHelper(), h.machine.NetSharing());
    for (const auto& a : c.connections) builder.Add(a);
    testsupport::WriteFile(h.Settings(), "[System]\r\nSourceGUID=" + c.storedSource + "\r\nDestGUID=" + c.storedDest + "\r\n");
    auto form = h.MakeForm();
    ProbeCounter probes(h.machine.Internet());
    Show(*form);
    EXPECT_EQ(form->CurrentSourceGuid(), c.source);
    EXPECT_EQ(form->CurrentDestGuid(), c.dest);
    EXPECT_EQ(form->SourceConnected(), c.sourceConnected);
    EXPECT_EQ(form->CanShare(), c.canShare);
    EXPECT_EQ(probes.Count() > 0, c.probed);
    EXPECT_EQ(EnablingOf(*form), (Enabling{c.canShare, false, !c.canShare, !c.canShare}));
    EXPECT_EQ(form->SourceGuid(), c.storedSource);  // detection never stores its choice
    if (!c.source.empty()) {
      const auto& a = *std::find_if(c.connections.begin(), c.connections.end(), [&](auto& x) { return x.guid == c.source; });
      EXPECT_EQ(Text(form.get(), "mmoSrcConnDescription"), QString::fromStdString(a.connectionName + " - " + a.deviceName));
      EXPECT_EQ(Text(form.get(), "lblWiredStatus"), c.sourceConnected ? "Connected" : "Disconnected");
    }
    if (c.dest.empty()) {
      EXPECT_EQ(Text(form.get(), "lblWirelessStatus"), "Not found.");
      EXPECT_EQ(Text(form.get(), "mmoWirelessDescription"), "Please make sure the Wi-Fi switch is turned on.");
    }
    EXPECT_EQ(Text(form.get(), "lblStartSharing"),
              c.canShare ? "Your current connection is available for broadcasting wifi signal,\nclick the button below "
                           "to start wifi now."
                         : "Your current connection is not available for sharing your Internet.");
    EXPECT_EQ(Text(form.get(), "lblInternetSharedHint"),
              c.canShare ? "Your Internet has been already connected via your wired connection." : "");
  }
}

TEST(MainWindow, UnreachableInternetLeavesOnlyTheClientRole) {
  WindowHarness h;
  h.machine.Internet().SetReachable(false);
  auto form = h.MakeForm();
  Show(*form);
  EXPECT_EQ(form->CurrentSourceGuid(), kDefaultWiredGuid);
  EXPECT_EQ(form->CurrentDestGuid(), kDefaultWirelessGuid);
  EXPECT_FALSE(form->CanShare());
  EXPECT_EQ(EnablingOf(*form), (Enabling{false, false, true, true}));
  // The state follows the next refresh, not the Internet by itself.
  h.machine.Internet().SetReachable(true);
  EXPECT_FALSE(form->CanShare());
  Trigger(*form, "actRefresh2");
  EXPECT_TRUE(form->CanShare());
  EXPECT_EQ(EnablingOf(*form), (Enabling{true, false, false, false}));
}

TEST(MainWindow, EnablingFollowsTheStateWhenTheLoopGoesIdle) {
  WindowHarness h;
  auto form = h.MakeForm();
  QAction* start = Act(form.get(), "actStartSharing");
  EXPECT_FALSE(start->isEnabled());
  form->show();  // the catalogue is loaded now; the action is not told directly
  ASSERT_TRUE(form->CanShare());
  emit QAbstractEventDispatcher::instance()->aboutToBlock();
  EXPECT_TRUE(start->isEnabled());
}

TEST(MainWindow, StartAndStopSharing) {
  WindowHarness h;
  // Someone else's sharing, the other way round: the start switches it off first.
  h.machine.NetSharing().UpdateConnection(kDefaultWiredGuid, [](auto& c) { c.role = SimSharingRole::Private; });
  h.machine.NetSharing().UpdateConnection(kDefaultWirelessGuid, [](auto& c) { c.role = SimSharingRole::Public; });
  auto form = h.MakeForm();
  Show(*form);
  ASSERT_TRUE(testsupport::WaitFor([&] { return form->Wifi()->GetInternetState() == 1; }));

  MessageCapture boxes;
  std::vector<bool> busyDuringBox;
  boxes.OnShow([&](const auto&) {
    busyDuringBox.push_back(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
  });
  Trigger(*form, "actStartSharing");
  EXPECT_EQ(Texts(boxes), std::vector<std::string>{"Wi-Fi started successfully!"});
  EXPECT_EQ(boxes.Requests()[0].icon, Icon::Information);
  EXPECT_EQ(boxes.Requests()[0].title, "Message");
  EXPECT_EQ(h.machine.NetSharing().PublicConnection(), kDefaultWiredGuid);
  EXPECT_EQ(h.machine.NetSharing().PrivateConnection(), kDefaultWirelessGuid);
  EXPECT_EQ(h.wireless.Hosted(), std::vector<std::u16string>{u"KESTRUNE"});
  EXPECT_GE(h.wireless.IndexOf("AddSsid(sim-wlan0,KESTRUNE,73914)"), 0);
  EXPECT_TRUE(form->SharingActive());
  EXPECT_EQ(EnablingOf(*form), (Enabling{false, true, false, false}));
  EXPECT_EQ(form->View()->PanelText(TForm1View::kSharingPanel), "Internet Sharing Enabled");
  EXPECT_EQ(form->View()->PanelText(TForm1View::kInternetPanel), "Connected to Internet");
  // The hosted network is found by the refresh after the start.
  EXPECT_EQ(Text(form.get(), "lblSignalFound"), "Signal [KESTRUNE] found nearby");

  // Source lost: the sharing panel goes blank, but stopping stays possible.
  h.machine.NetSharing().UpdateConnection(kDefaultWiredGuid, [](auto& c) { c.status = np::NCS_MEDIA_DISCONNECTED; });
  Trigger(*form, "actRefresh2");
  EXPECT_FALSE(form->CanShare());
  EXPECT_TRUE(form->SharingActive());
  EXPECT_EQ(form->View()->PanelText(TForm1View::kSharingPanel), "");
  EXPECT_EQ(EnablingOf(*form), (Enabling{false, true, true, true}));
  h.machine.NetSharing().UpdateConnection(kDefaultWiredGuid, [](auto& c) { c.status = np::NCS_CONNECTED; });

  Trigger(*form, "actStopSharing");
  EXPECT_EQ(Texts(boxes), (std::vector<std::string>{"Wi-Fi started successfully!", "Wi-Fi stopped successfully!"}));
  EXPECT_TRUE(NothingShares(h.machine));
  EXPECT_TRUE(h.wireless.Hosted().empty());
  EXPECT_FALSE(form->SharingActive());
  EXPECT_EQ(EnablingOf(*form), (Enabling{true, false, false, false}));
  EXPECT_EQ(form->View()->PanelText(TForm1View::kSharingPanel), "Ready for Sharing");
  EXPECT_EQ(busyDuringBox, (std::vector<bool>{true, true}));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MainWindow, StartThatFailsInSharingSaysNothingAndSharesNothing) {
  WindowHarness h;
  h.machine.NetSharing().UpdateConnection(kDefaultWiredGuid, [](auto& c) { c.role = SimSharingRole::Public; });
  auto form = h.MakeForm();
  Show(*form);
  auto faults = h.machine.NetSharing().Faults();
  faults.enablePrivate = np::E_FAIL;
  h.machine.NetSharing().SetFaults(faults);
  MessageCapture boxes;
  Trigger(*form, "actStartSharing");
  EXPECT_TRUE(boxes.Requests().empty());
  EXPECT_TRUE(NothingShares(h.machine));
  EXPECT_EQ(h.wireless.IndexOf("AddSsid"), -1);
  EXPECT_FALSE(form->SharingActive());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MainWindow, WifiFailuresAreReported) {
  struct Case {
    const char* what;
    const char* action;
    bool failAdd, failDelete;
    bool startFirst;
    std::string box;
    Icon icon;
  } cases[] = {
      {"start, hosting refused", "actStartSharing", true, false, false, "Wi-Fi could not be started!", Icon::Error},
      {"stop, removal refused", "actStopSharing", false, true, true, "Wi-Fi could not be stopped!", Icon::Error},
      {"client connect", "actConnect", false, false, false, "Done! Please wait a few seconds to finish the connecting...",
       Icon::Information},
      {"client connect refused", "actConnect", true, false, false, "Could not connect to the wifi router!", Icon::Error},
      {"client disconnect refused", "actDisconnect", false, true, false, "Could not disconnect!", Icon::Error},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WindowHarness h;
    const bool client = std::string(c.action) == "actConnect" || std::string(c.action) == "actDisconnect";
    if (client) h.machine.Internet().SetReachable(false);
    auto form = h.MakeForm();
    Show(*form);
    MessageCapture boxes;
    if (c.startFirst) Trigger(*form, "actStartSharing");
    if (c.failAdd) h.wireless.FailAddSsid(87);
    if (c.failDelete) h.wireless.FailDeleteSsid(5);
    Trigger(*form, c.action);
    ASSERT_FALSE(boxes.Requests().empty());
    EXPECT_EQ(boxes.Requests().back().text.toStdString(), c.box);
    EXPECT_EQ(boxes.Requests().back().icon, c.icon);
    EXPECT_EQ(boxes.Requests().back().title, "Message");
    EXPECT_FALSE(form->SharingActive());
    if (!client) {
      EXPECT_TRUE(NothingShares(h.machine));
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

TEST(MainWindow, ClientJoinsTheVisibleRouterAndLeavesIt) {
  WindowHarness h;
  h.machine.Internet().SetReachable(false);
  h.wireless.SetNetworks({{u"KESTRUNE", 1, 1}});
  auto form = h.MakeForm();
  Show(*form);
  MessageCapture boxes;
  Trigger(*form, "actRefresh2");  // the first scan compared with the controller's initial name
  EXPECT_EQ(Text(form.get(), "lblSignalFound"), "Signal [KESTRUNE] found nearby");
  Trigger(*form, "actConnect");
  EXPECT_GE(h.wireless.IndexOf("Connect(sim-wlan0,KESTRUNE,73914,1)"), 0);
  EXPECT_EQ(h.wireless.IndexOf("AddSsid"), -1);
  // Joining left a profile, and removing it takes this computer off the router.
  Trigger(*form, "actDisconnect");
  EXPECT_EQ(Texts(boxes), (std::vector<std::string>{"Done! Please wait a few seconds to finish the connecting...",
                                                     "Disconnected successfully!"}));
  EXPECT_GE(h.wireless.IndexOf("DeleteSsid(sim-wlan0,KESTRUNE)"), 0);
  EXPECT_TRUE(NothingShares(h.machine));
}

TEST(MainWindow, StatusBarAndInternetGroup) {
  WindowHarness h;
  std::unique_ptr<TForm1> form;
  MonitorGate gate(h.machine.Internet());  // goes first, so a failed check cannot leave the monitor stuck
  form = h.MakeForm();
  Show(*form);
  form->View()->StatusBar1->repaint();
  EXPECT_EQ(form->View()->PanelText(TForm1View::kSharingPanel), "Ready for Sharing");
  EXPECT_EQ(form->View()->PanelText(TForm1View::kInternetPanel), "Unavailable");
  EXPECT_EQ(Text(form.get(), "lblInternetStatus"), "Internet Status");

  // The monitor's result reaches the Home page at once; the status bar waits for its next paint.
  gate.Open();
  ASSERT_TRUE(testsupport::WaitFor([&] { return Text(form.get(), "lblInternetStatus") == "Internet is connected."; }));
  EXPECT_EQ(form->LastInternetState(), 1);
  EXPECT_EQ(form->View()->PanelText(TForm1View::kInternetPanel), "Unavailable");
  h.machine.Internet().SetReachable(false);
  form->Wifi()->WakeInternetCheck();
  ASSERT_TRUE(testsupport::WaitFor([&] { return Text(form.get(), "lblInternetStatus") == "Internet is disconnected."; }));
  EXPECT_EQ(form->View()->PanelText(TForm1View::kInternetPanel), "Unavailable");
  EXPECT_TRUE(form->CanShare());  // not recomputed by the monitor

  Trigger(*form, "actRefresh2");
  EXPECT_EQ(form->View()->PanelText(TForm1View::kInternetPanel), "Internet Disconnected");
  EXPECT_EQ(form->View()->PanelText(TForm1View::kSharingPanel), "");
  h.machine.Internet().SetReachable(true);
  form->Wifi()->WakeInternetCheck();
  ASSERT_TRUE(testsupport::WaitFor([&] { return form->LastInternetState() == 1; }));
  Trigger(*form, "actRefresh2");
  EXPECT_EQ(form->View()->PanelText(TForm1View::kInternetPanel), "Connected to Internet");
  EXPECT_EQ(form->View()->PanelText(TForm1View::kSharingPanel), "Ready for Sharing");
}

TEST(MainWindow, NavigationAndTheConnectPage) {
  WindowHarness h;
  testsupport::WriteFile(h.Settings(), "[System]\r\nSSID=Cafe\r\nPassword=abc\r\n");
  auto form = h.MakeForm();
  Show(*form);
  auto* pages = form->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  auto* btnHotspotTab = form->findChild<QToolButton*>(QStringLiteral("btnHotspotTab"));
  auto* btnConnectToHotspot = form->findChild<QToolButton*>(QStringLiteral("btnConnectToHotspot"));
  ASSERT_TRUE(pages && btnHotspotTab && btnConnectToHotspot);
  EXPECT_EQ(pages->currentIndex(), 0);
  Trigger(*form, "actConnectToHotspot");
  EXPECT_EQ(pages->currentIndex(), 2);
  EXPECT_TRUE(btnConnectToHotspot->isChecked());
  // The key the controller refused is still what the page shows.
  EXPECT_EQ(Text(form.get(), "lblSSID"), "Cafe");
  EXPECT_EQ(Text(form.get(), "lblPassword"), "abc");
  EXPECT_EQ(form->Wifi()->GetKey(), "73914");
  Trigger(*form, "actHome");
  EXPECT_EQ(pages->currentIndex(), 0);
  // The divider right of the Home button leads to the settings page.
  QWidget* topBar = form->findChild<QWidget*>(QStringLiteral("TopBar"));
  ASSERT_NE(topBar, nullptr);
  QWidget* divider = nullptr;
  for (auto* w : topBar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (w->geometry().left() > form->findChild<QToolButton*>(QStringLiteral("btnHome"))->geometry().right() &&
        (!divider || w->geometry().left() < divider->geometry().left()))
      divider = w;
  ASSERT_NE(divider, nullptr);
  ASSERT_EQ(qobject_cast<QToolButton*>(divider), nullptr);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), divider->mapToGlobal(QPointF(1, 1)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), divider->mapToGlobal(QPointF(1, 1)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(divider, &press);
  QApplication::sendEvent(divider, &release);
  EXPECT_EQ(pages->currentIndex(), 1);
  EXPECT_TRUE(btnHotspotTab->isChecked());
}

TEST(MainWindow, ClosingHidesWithOneBalloonAndTheTrayOpensAgain) {
  WindowHarness h;
  auto form = h.MakeForm();
  Show(*form);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_FALSE(form->close());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->BalloonsShown(), 1);
    EXPECT_EQ(form->TrayIconTag(), 1);
    EXPECT_EQ(h.terminations, 0);
    // Opening from the tray reloads the catalogue.
    h.machine.NetSharing().UpdateConnection(kDefaultWiredGuid, [&](auto& c) {
      c.status = round == 0 ? np::NCS_MEDIA_DISCONNECTED : np::NCS_CONNECTED;
    });
    Act(form.get(), "mniOpenMainWindow")->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->SourceConnected(), round == 1);
  }
}

TEST(MainWindow, ExitAsksAndNoKeepsTheNextCloseFinal) {
  for (const Answer answer : {Answer::Yes, Answer::No}) {
    SCOPED_TRACE(answer == Answer::Yes ? "yes" : "no");
    WindowHarness h;
    auto form = h.MakeForm();
    Show(*form);
    MessageCapture boxes(answer);
    Trigger(*form, "actExit");
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].text,
              "All other devices connected to your computer will be disconnected. Do you want to exit?");
    EXPECT_EQ(boxes.Requests()[0].icon, Icon::Question);
    EXPECT_EQ(boxes.Requests()[0].buttons, kestrune::ui::Buttons::YesNo);
    EXPECT_EQ(h.terminations, answer == Answer::Yes ? 1 : 0);
    if (answer == Answer::No) {
      EXPECT_TRUE(form->isVisible());
      EXPECT_TRUE(form->close());  // the close box now ends the run, without a question
      EXPECT_EQ(h.terminations, 1);
      EXPECT_EQ(boxes.Requests().size(), 1u);
    }
    EXPECT_EQ(form->BalloonsShown(), 0);
  }
}

TEST(MainWindow, MinimizeToTrayTakesBackAnUnansweredExit) {
  WindowHarness h;
  auto form = h.MakeForm();
  Show(*form);
  MessageCapture boxes(Answer::No);
  Trigger(*form, "actExit");
  ASSERT_TRUE(form->ExitRequested());
  Act(form.get(), "mniMinimizeToTray1")->trigger();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(h.terminations, 0);
  EXPECT_EQ(form->BalloonsShown(), 1);
  EXPECT_FALSE(form->ExitRequested());
}

TEST(MainWindow, EndOfSessionWhileHiddenCleansUpWithoutAsking) {
  WindowHarness h;
  auto form = h.MakeForm();
  Show(*form);
  {
    MessageCapture boxes;
    Trigger(*form, "actStartSharing");
  }
  ASSERT_FALSE(NothingShares(h.machine));
  form->close();
  ASSERT_EQ(form->BalloonsShown(), 1);

  MessageCapture boxes;  // any box would show up here
  form->HandleQueryEndSession();
  EXPECT_TRUE(boxes.Requests().empty());
  EXPECT_EQ(form->BalloonsShown(), 1);
  EXPECT_EQ(h.terminations, 1);
  EXPECT_TRUE(NothingShares(h.machine));
  EXPECT_TRUE(h.wireless.Hosted().empty());
  EXPECT_NE(testsupport::ReadFile(h.Settings()).find("SSID=KESTRUNE\r\n"), std::string::npos);
  EXPECT_EQ(form->Wifi(), nullptr);
  // Whatever the loop still delivers finds a window that no longer acts.
  EXPECT_EQ(EnablingOf(*form), (Enabling{false, false, false, false}));
  form.reset();
  EXPECT_TRUE(boxes.Requests().empty());
}

TEST(MainWindow, StartedMinimizedLoadsTheCatalogueWhenOpened) {
  WindowHarness h;
  testsupport::WriteFile(h.Settings(), "[System]\r\nStartMinimized=1\r\n");
  auto form = h.MakeForm();
  ASSERT_TRUE(form->StartMinimized());
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(form->TrayIcon()->isVisible());
  EXPECT_TRUE(form->CurrentSourceGuid().empty());
  Act(form.get(), "mniOpenMainWindow")->trigger();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(form->CurrentSourceGuid(), kDefaultWiredGuid);
}

TEST(MainWindow, StartAndStopOnTheSimulatedAir) {
  WindowHarness h;
  const auto loaded = LoadWifiLibrary(std::string(KESTRUNE_BIN_DIR) + "/libwireless.so");
  h.library = *loaded;
  const std::filesystem::path air = h.dir.Path() / "air";
  const ScopedEnv airEnv("KESTRUNE_SIM_AIR", air.string());
  const ScopedEnv noScript("KESTRUNE_SIM_WIFI", nullptr);
  const auto hostedHere = [&] {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(air, ec))
      if (e.path().extension() == ".net") found.push_back(testsupport::ReadFile(e.path()));
    return found;
  };
  {
    auto form = h.MakeForm();
    Show(*form);
    MessageCapture boxes;
    Trigger(*form, "actStartSharing");
    EXPECT_EQ(Texts(boxes), std::vector<std::string>{"Wi-Fi started successfully!"});
    const auto files = hostedHere();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_NE(files[0].find("ssid=KESTRUNE\n"), std::string::npos) << files[0];
    EXPECT_NE(files[0].find("key=73914\n"), std::string::npos) << files[0];
    Trigger(*form, "actStopSharing");
    EXPECT_TRUE(hostedHere().empty());
    EXPECT_TRUE(NothingShares(h.machine));
    // Started again and left running: closing the program takes the network down.
    Trigger(*form, "actStartSharing");
    EXPECT_EQ(hostedHere().size(), 1u);
  }
  EXPECT_TRUE(hostedHere().empty());
  EXPECT_TRUE(NothingShares(h.machine));
}
