// The main window's dialog handlers on the simulated laptop: a hand-picked
// source or destination becomes the stored choice and wins over detection,
// Options changes the settings kept until exit, Help opens the About box
// and the contact mail.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrlQuery>

#include "../shell/TestSupport.h"
#include "DialogTestSupport.h"
#include "platform/sim/SimNetworkScenario.h"
#include "shell/AboutUnit.h"
#include "shell/OptionsUnit.h"
#include "shell/SelectNetworkFormUnit.h"
#include "shell/Unit1.h"
#include "shell/UnitGlobal.h"
#include "core/Base64.h"
#include "ui/Form1View.h"
#include "wireless/WifiNetwork.h"

using dialogtest::Connection;
using dialogtest::ScopedDriver;
using dialogtest::ScopedOpener;
using kestrune::platform::SimNetworkBuilder;
using testsupport::WindowHarness;
namespace np = kestrune::platform;

namespace {

std::string Guid(int n) { return SimNetworkBuilder::GuidFor(n); }

QString Text(QWidget* w, const char* name) {
  if (auto* l = w->findChild<QLabel*>(QString::fromLatin1(name))) return l->text();
  if (auto* m = w->findChild<QPlainTextEdit*>(QString::fromLatin1(name))) return m->toPlainText();
  ADD_FAILURE() << "no label or memo " << name;
  return {};
}

void Trigger(TForm1& form, const char* name) {
  auto* a = form.findChild<QAction*>(QString::fromLatin1(name));
  ASSERT_NE(a, nullptr) << name;
  form.UpdateActions();
  a->trigger();
}

// Two wired LANs and two Wi-Fi adapters: detection takes the first LAN and the last Wi-Fi.
struct Laptop {
  Laptop() : h(false) {
    SimNetworkBuilder builder(h.machine.Registry(), h.machine.IpHelper(), h.machine.NetSharing());
    builder.Add(Connection(1, "LAN", true, false));
    builder.Add(Connection(2, "LAN 2", true, false));
    builder.Add(Connection(3, "WiFi", true, true, np::NCS_MEDIA_DISCONNECTED));
    builder.Add(Connection(4, "WiFi 2", true, true));
    form = h.MakeForm();
    form->show();
  }
  // The user picks the row holding guid in the picker the button opens, then OK.
  void Pick(QPushButton* button, const std::string& guid, bool ok = true) {
    ScopedDriver driver([&](QDialog& d) {
      auto& picker = static_cast<TSelectNetworkForm&>(d);
      for (int i = 0; i < picker.Count(); ++i)
        if (picker.Item(i).Guid == guid) picker.ListBox1->item(i)->setSelected(true);
      (ok ? picker.btnOK : picker.btnCancel)->click();
    });
    button->click();
    EXPECT_EQ(driver.runs, 1);
  }
  WindowHarness h;
  std::unique_ptr<TForm1> form;
};

}  // namespace

TEST(MainWindowDialogs, AHandPickedConnectionIsStoredAndWinsAtTheNextRefresh) {
  Laptop l;
  TForm1& form = *l.form;
  ASSERT_EQ(form.CurrentSourceGuid(), Guid(1));
  ASSERT_EQ(form.CurrentDestGuid(), Guid(4));
  ASSERT_TRUE(form.CanShare());

  // Cancel, and OK without a selection, change nothing.
  l.Pick(form.View()->btnSource, Guid(2), false);
  l.Pick(form.View()->btnSelectDest, "none");
  EXPECT_EQ(form.SourceGuid(), "");
  EXPECT_EQ(form.DestGuid(), "");
  EXPECT_EQ(form.CurrentSourceGuid(), Guid(1));
  EXPECT_EQ(form.CurrentDestGuid(), Guid(4));

  l.Pick(form.View()->btnSource, Guid(2));
  EXPECT_EQ(form.SourceGuid(), Guid(2));
  EXPECT_EQ(form.CurrentSourceGuid(), Guid(2));
  EXPECT_EQ(Text(&form, "mmoSrcConnDescription"), "LAN 2 - LAN 2 device");
  // The Wi-Fi adapter associated with nothing is offered as destination.
  l.Pick(form.View()->btnSelectDest, Guid(3));
  EXPECT_EQ(form.DestGuid(), Guid(3));
  EXPECT_EQ(form.CurrentDestGuid(), Guid(3));
  EXPECT_TRUE(form.CanShare());

  Trigger(form, "actRefresh2");
  EXPECT_EQ(form.CurrentSourceGuid(), Guid(2));
  EXPECT_EQ(form.CurrentDestGuid(), Guid(3));

  form.Shutdown();
  const std::string ini = testsupport::ReadFile(l.h.Settings());
  EXPECT_NE(ini.find("SourceGUID=" + Guid(2)), std::string::npos) << ini;
  EXPECT_NE(ini.find("DestGUID=" + Guid(3)), std::string::npos) << ini;
}

TEST(MainWindowDialogs, OptionsChangeTheSettingsKeptUntilExitNotTheRunningNetwork) {
  Laptop l;
  TForm1& form = *l.form;
  const std::string runningSsid = form.Wifi()->GetSSID();
  ScopedDriver driver([&](QDialog& d) {
    auto& options = static_cast<TOptionsForm&>(d);
    options.edtSSID->setText(QStringLiteral("  Cafe  "));
    options.edtPassword->setText(QStringLiteral("1234567890abc"));
    options.chkAutoRun->setChecked(true);
    options.chkStartMin->setChecked(true);
    options.Button1->click();
  });
  Trigger(form, "actOptions");
  ASSERT_EQ(driver.runs, 1);
  EXPECT_EQ(form.SSID(), "Cafe");
  EXPECT_EQ(form.Password(), "1234567890abc");
  EXPECT_TRUE(form.AutoRun());
  EXPECT_TRUE(form.StartMinimized());
  EXPECT_EQ(form.Wifi()->GetSSID(), runningSsid);
  EXPECT_EQ(l.h.machine.Registry().GetValue(np::HKEY_LOCAL_MACHINE, np::kRunKey, "KESTRUNE").text,
            l.h.machine.System().ExecutablePath());

  form.Shutdown();
  const std::string ini = testsupport::ReadFile(l.h.Settings());
  EXPECT_NE(ini.find("SSID=Cafe\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("AutoRun=1"), std::string::npos) << ini;
}

TEST(MainWindowDialogs, HelpOpensTheAboutBoxAndTheContactMail) {
  struct Branding {
    Branding() { ApplyBrandingText(kestrune::EncodeBase64("[System]\r\nAPPLICATION_NAME=Foo Bar\r\n")); }
    ~Branding() { ResetBrandingValues(); }
  } branding;
  {
    Laptop l;
    TForm1& form = *l.form;
    QString shownName;
    ScopedDriver driver([&](QDialog& d) {
      shownName = static_cast<TAboutBox&>(d).SoftName->text();
      static_cast<TAboutBox&>(d).OKButton->click();
    });
    Trigger(form, "actAbout");
    EXPECT_EQ(driver.runs, 1);
    EXPECT_EQ(shownName, "Foo Bar");

    ScopedOpener opener;
    Trigger(form, "actWriteToUs");
    ASSERT_EQ(opener.Opened().size(), 1u);
    EXPECT_EQ(opener.Opened()[0].scheme(), "mailto");
    EXPECT_EQ(QUrlQuery(opener.Opened()[0]).queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              "Foo Bar Comments");
  }
}
