// The main window's creation and destruction on the simulated machine: the
// settings file both ways, the order of the steps, and what a failing step
// leaves behind.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <filesystem>
#include <optional>
#include <string>

#include "TestSupport.h"
#include "platform/sim/SimNetworkScenario.h"
#include "shell/Unit1.h"
#include "shell/UnitGlobal.h"
#include "wireless/WifiNetwork.h"

namespace fs = std::filesystem;
using kestrune::platform::kDefaultWiredGuid;
using kestrune::platform::kDefaultWirelessGuid;
using kestrune::platform::SimSharingRole;
using testsupport::MessageCapture;
using testsupport::ScriptedNetwork;
using testsupport::WindowHarness;

namespace {

const char kFreshFile[] =
    "[System]\r\nAutoRun=0\r\nCheckForUpdates=0\r\nStartMinimized=0\r\nSSID=KESTRUNE\r\nPassword=73914\r\n"
    "SourceGUID=\r\nDestGUID=\r\n";

QLabel* Label(QWidget* w, const char* name) { return w->findChild<QLabel*>(QString::fromLatin1(name)); }

void ShareBoth(kestrune::platform::SimMachine& m) {
  m.NetSharing().UpdateConnection(kDefaultWiredGuid, [](auto& c) { c.role = SimSharingRole::Public; });
  m.NetSharing().UpdateConnection(kDefaultWirelessGuid, [](auto& c) { c.role = SimSharingRole::Private; });
}

bool NothingShares(kestrune::platform::SimMachine& m) {
  return m.NetSharing().PublicConnection().empty() && m.NetSharing().PrivateConnection().empty();
}

}  // namespace

TEST(Settings, ReadWithTheProfileRules) {
  using namespace std::string_literals;
  const std::string longSsid(3000, 's');
  struct Case {
    const char* what;
    std::optional<std::string> file;  // nullopt: no setup.ini
    bool autoRun, checkUpdates, startMinimized;
    std::string ssid, password, source, dest;
    std::string wifiSsid, wifiKey;  // what the controller took
  } cases[] = {
      {"no file", std::nullopt, false, false, false, "KESTRUNE", "73914", "", "", "KESTRUNE", "73914"},
      {"every key",
       "[System]\r\nAutoRun=1\r\nCheckForUpdates=0x10\r\nStartMinimized=$0\r\nSSID=Home Net\r\n"
       "Password=abcdefghijklm\r\nSourceGUID={A}\r\nDestGUID={B}\r\n",
       true, true, false, "Home Net", "abcdefghijklm", "{A}", "{B}", "Home Net", "abcdefghijklm"},
      {"empty name, three-character key", "[System]\r\nSSID=\r\nPassword=abc\r\n", false, false, false, "", "abc",
       "", "", "", "73914"},
      {"booleans that are not integers",
       "[System]\r\nAutoRun=true\r\nStartMinimized=yes\r\nCheckForUpdates= -1 \r\n", false, true, false,
       "KESTRUNE", "73914", "", "", "KESTRUNE", "73914"},
      {"garbage, binary bytes and duplicates",
       "\x00\xff junk\r\nSSID=orphan\r\n[system]\r\nssid=first\r\nSSID=second\r\n[System]\r\n"
       "Password=shadowed\r\n"s,
       false, false, false, "first", "73914", "", "", "first", "73914"},
      {"value beyond the buffer", "[System]\r\nSSID=" + longSsid + "\r\n", false, false, false,
       std::string(2047, 's'), "73914", "", "", std::string(2047, 's'), "73914"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WindowHarness h;
    if (c.file) testsupport::WriteFile(h.Settings(), *c.file);
    auto form = h.MakeForm();
    EXPECT_EQ(form->AutoRun(), c.autoRun);
    EXPECT_EQ(form->CheckForUpdates(), c.checkUpdates);
    EXPECT_EQ(form->StartMinimized(), c.startMinimized);
    EXPECT_EQ(form->SSID(), c.ssid);
    EXPECT_EQ(form->Password(), c.password);
    EXPECT_EQ(form->SourceGuid(), c.source);
    EXPECT_EQ(form->DestGuid(), c.dest);
    ASSERT_NE(form->Wifi(), nullptr);
    EXPECT_EQ(form->Wifi()->GetSSID(), c.wifiSsid);
    EXPECT_EQ(form->Wifi()->GetKey(), c.wifiKey);
  }
}

TEST(Settings, WrittenAtExitKeepingEverythingElse) {
  {
    WindowHarness h;
    h.MakeForm().reset();
    EXPECT_EQ(testsupport::ReadFile(h.Settings()), kFreshFile);
  }
  // The user's own lines survive byte for byte, a huge line and a duplicate section included.
  const std::string bigLine = "Notes=" + std::string(100u * 1024 * 1024, 'n');
  const std::string before = std::string(
                                 "; written by hand\r\n\x01\xfe binary\r\n[Other]\n" + bigLine +
                                 "\n\n[system]\r\nssid=Mine\r\nPassword=abc\r\n; keep this comment\r\n"
                                 "Password=duplicate\r\nCheckForUpdates=0x1\r\nExtra=1\r\n\r\n[System]\r\n"
                                 "SSID=second section\r\n");
  const std::string after = std::string(
                                "; written by hand\r\n\x01\xfe binary\r\n[Other]\n" + bigLine +
                                "\n\n[system]\r\nSSID=Mine\r\nPassword=abc\r\n; keep this comment\r\n"
                                "Password=duplicate\r\nCheckForUpdates=1\r\nExtra=1\r\nAutoRun=0\r\n"
                                "StartMinimized=0\r\nSourceGUID=\r\nDestGUID=\r\n\r\n[System]\r\n"
                                "SSID=second section\r\n");
  WindowHarness h;
  testsupport::WriteFile(h.Settings(), before);
  auto form = h.MakeForm();
  EXPECT_EQ(form->SSID(), "Mine");
  EXPECT_TRUE(form->CheckForUpdates());
  form.reset();
  EXPECT_TRUE(testsupport::ReadFile(h.Settings()) == after);
  // The replacement went through a temporary file that is gone now.
  EXPECT_EQ(std::distance(fs::directory_iterator(h.dir.Path()), fs::directory_iterator()), 1);
}

TEST(Settings, UnwritableFileIsReportedAndTheComputerStillStopsSharing) {
  WindowHarness h;
  fs::create_directory(h.Settings());  // neither readable as a file nor replaceable
  auto form = h.MakeForm();
  ASSERT_TRUE(form->Wifi()->ConnectOwnNetwork());
  ASSERT_EQ(h.wireless.Hosted().size(), 1u);
  ShareBoth(h.machine);

  MessageCapture boxes;
  form->Shutdown();
  ASSERT_EQ(boxes.Requests().size(), 1u);
  EXPECT_EQ(boxes.Requests()[0].icon, kestrune::ui::Icon::Error);
  EXPECT_EQ(boxes.Requests()[0].title, "Message");
  EXPECT_EQ(boxes.Requests()[0].text.toStdString(), "Unable to write to " + h.Settings().string());
  EXPECT_TRUE(h.wireless.Hosted().empty());
  EXPECT_TRUE(NothingShares(h.machine));
  EXPECT_TRUE(fs::is_directory(h.Settings()));
  form.reset();  // the destructor does not run the sequence twice
  EXPECT_EQ(boxes.Requests().size(), 1u);
}

TEST(Startup, CreationAndDestructionRunInOrder) {
  WindowHarness h;
  // Both names are visible: the first scan still compares with the controller's own initial name.
  h.wireless.SetNetworks({{u"KESTRUNE", 1, 1}, {std::u16string(u"Ostrelay"), 1, 1}});
  auto form = h.MakeForm();

  const int reg = h.wireless.IndexOf("RegisterNotification");
  const int scan = h.wireless.IndexOf("GetVisibleNetworkList");
  ASSERT_GE(reg, 0);
  EXPECT_GT(scan, reg);
  EXPECT_EQ(Label(form.get(), "lblSignalFound")->text(),
            QStringLiteral("Signal [%1] found nearby").arg(QString::fromLatin1(TWifiConnection::kDefaultSSID)));
  EXPECT_EQ(form->Wifi()->GetSSID(), "KESTRUNE");
  ASSERT_NE(form->ConnectionManager(), nullptr);
  auto* pages = form->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(pages->currentIndex(), 0);
  EXPECT_FALSE(pages->tabBar()->isVisibleTo(form.get()));
  // The start-up message is posted, not handled during creation.
  EXPECT_EQ(form->TroubleshooterStarts(), 0);
  EXPECT_TRUE(testsupport::WaitFor([&] { return form->TroubleshooterStarts() == 1; }));

  ShareBoth(h.machine);
  bool savedBeforeProfile = false, sharingWhenProfileGoes = false, sharingOffBeforeRelease = false;
  h.wireless.OnCall([&](const std::string& call) {
    if (call.rfind("DeleteSsid", 0) == 0) {
      savedBeforeProfile = testsupport::ReadFile(h.Settings()) == kFreshFile;
      sharingWhenProfileGoes = !NothingShares(h.machine);
    } else if (call == "UnRegisterNotification") {
      sharingOffBeforeRelease = NothingShares(h.machine);
    }
  });
  form.reset();
  h.wireless.OnCall(nullptr);
  EXPECT_TRUE(savedBeforeProfile);
  EXPECT_TRUE(sharingWhenProfileGoes);
  EXPECT_TRUE(sharingOffBeforeRelease);
  EXPECT_EQ(h.wireless.Calls().back(), "UnRegisterNotification");
  EXPECT_GE(h.wireless.IndexOf("DeleteSsid(sim-wlan0,KESTRUNE)"), 0);
}

TEST(Startup, FailingCatalogueEndsCreationButNotTheWindow) {
  WindowHarness h;
  h.machine.IpHelper().FailAdaptersInfo(111);
  std::unique_ptr<TForm1> form;
  {
    MessageCapture boxes;
    form = h.MakeForm();
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].icon, kestrune::ui::Icon::Error);
    EXPECT_NE(boxes.Requests()[0].text.indexOf(QStringLiteral("Code: 111")), -1) << boxes.Requests()[0].text.toStdString();
  }
  EXPECT_NE(form->Wifi(), nullptr);
  EXPECT_EQ(form->ConnectionManager(), nullptr);
  // Later steps did not run: no start-up message arrives.
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(form->TroubleshooterStarts(), 0);
  form.reset();
  // The settings read before the failure are still written back, the profile still removed.
  EXPECT_EQ(testsupport::ReadFile(h.Settings()), kFreshFile);
  EXPECT_GE(h.wireless.IndexOf("DeleteSsid"), 0);
}

TEST(Startup, BrandedNameReachesCaptionTitleAndTray) {
  ResetBrandingValues();
  ApplicationName = "Foo";
  {
    WindowHarness h;
    auto form = h.MakeForm();
    EXPECT_EQ(form->windowTitle(), "Foo");
    EXPECT_EQ(QApplication::applicationDisplayName(), "Foo");
    ASSERT_NE(form->TrayIcon(), nullptr);
    EXPECT_EQ(form->TrayIcon()->toolTip(), "Foo");
    EXPECT_TRUE(form->TrayIcon()->isVisible());
    EXPECT_FALSE(form->TrayIcon()->icon().isNull());
    EXPECT_EQ(form->SSID(), "KESTRUNE");
  }
  ResetBrandingValues();
}
