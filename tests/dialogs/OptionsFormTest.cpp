// The Options dialog: its texts, its validation, what a confirmation stores,
// and the start-with-system entry written or removed at every confirmation.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "../shell/TestSupport.h"
#include "DialogTestSupport.h"
#include "platform/sim/SimMachine.h"
#include "shell/OptionsUnit.h"

using dialogtest::ScopedDriver;
using kestrune::ui::Icon;
using testsupport::MessageCapture;
namespace np = kestrune::platform;

namespace {

constexpr char kExe[] = "/opt/kestrune/kestrune";
const std::string kLongName(300, 'x');

struct Settings {
  bool autoRun = false;
  bool startMinimized = false;
  std::string ssid = "KESTRUNE";
  std::string password = "73914";
  bool operator==(const Settings&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Settings& s) {
  return os << "autorun " << s.autoRun << " min " << s.startMinimized << " ssid '" << s.ssid << "' key '"
            << s.password << "'";
}

bool Edit(TOptionsForm& form, np::SimMachine& machine, Settings& s) {
  return EditOptions(form, machine.Registry(), kExe, s.autoRun, s.startMinimized, s.ssid, s.password);
}

bool HasRunEntry(np::SimMachine& m) { return m.Registry().HasValue(np::HKEY_LOCAL_MACHINE, np::kRunKey, "KESTRUNE"); }

}  // namespace

TEST(OptionsForm, ShowsItsTextsAndTheCurrentSettings) {
  TOptionsForm form;
  EXPECT_EQ(form.windowTitle(), "Options");
  EXPECT_EQ(form.lblSSID->text(), "Network Name (SSID) :  ");
  EXPECT_EQ(form.lblPassword->text(), "Connection Password :  ");
  EXPECT_TRUE(form.lblSSID->font().bold());
  EXPECT_EQ(form.lblSSIDMark->text(), " * ");
  EXPECT_EQ(form.lblPasswordMark->text(), " * ");
  EXPECT_EQ(form.lblHint->text(), "Password MUST be 5 or 13 digits or letters.");
  EXPECT_EQ(form.lblNote->text(), "* Application restart required.");
  EXPECT_EQ(form.chkAutoRun->text(), "Autorun with Windows");
  EXPECT_EQ(form.chkStartMin->text(), "Start minimized");
  EXPECT_EQ(form.Button1->text(), "&OK");
  EXPECT_EQ(form.Button2->text(), "&Cancel");
  EXPECT_TRUE(form.Button1->isDefault());
  EXPECT_EQ(form.edtPassword->echoMode(), QLineEdit::Normal);

  np::SimMachine machine;
  // Every use shows the settings it is given, whatever the last one left behind.
  for (const Settings& given : {Settings{true, true, "Home", "abcde"}, Settings{false, false, "Net 2", "1234567890123"}}) {
    Settings s = given;
    ScopedDriver driver([&](QDialog&) {
      EXPECT_EQ(form.chkAutoRun->isChecked(), given.autoRun);
      EXPECT_EQ(form.chkStartMin->isChecked(), given.startMinimized);
      EXPECT_EQ(form.edtSSID->text().toStdString(), given.ssid);
      EXPECT_EQ(form.edtPassword->text().toStdString(), given.password);
      EXPECT_TRUE(form.edtSSID->isEnabled() && form.edtPassword->isEnabled());
      form.edtSSID->setText(QStringLiteral("left behind"));
      form.Button2->click();
    });
    EXPECT_FALSE(Edit(form, machine, s));
    EXPECT_EQ(s, given);
  }
}

TEST(OptionsForm, ValidatesNameThenKeyAndStoresThemTrimmed) {
  struct Case {
    const char* ssid;
    const char* key;
    const char* refusal;  // nullptr: accepted
    const char* storedSsid;
    const char* storedKey;
  } cases[] = {
      {"", "12345", "Please input network name!", nullptr, nullptr},
      {"   ", "12345", "Please input network name!", nullptr, nullptr},
      {"", "1", "Please input network name!", nullptr, nullptr},  // the name is checked first
      {"Net", "123456789012", "Password MUST be 5 or 13 digits or letters.", nullptr, nullptr},
      {"Net", "abcd", "Password MUST be 5 or 13 digits or letters.", nullptr, nullptr},
      {"Net", "   ", "Password MUST be 5 or 13 digits or letters.", nullptr, nullptr},
      {"Net", "  abcd  ", "Password MUST be 5 or 13 digits or letters.", nullptr, nullptr},
      {"Net", "123456 890123", nullptr, "Net", "123456 890123"},
      {"Net", "a,b.!", nullptr, "Net", "a,b.!"},
      {"  My Net  ", "  abcde  ", nullptr, "My Net", "abcde"},
      // Counted in characters, as the Wi-Fi controller counts them, not in bytes.
      {"N", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9", nullptr, "N", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9"},
      {kLongName.c_str(), "12345", nullptr, nullptr, "12345"},  // no length limit on the name
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("ssid '") + c.ssid + "' key '" + c.key + "'");
    np::SimMachine machine;
    TOptionsForm form;
    MessageCapture boxes;
    bool openAfterOk = false;
    ScopedDriver driver([&](QDialog&) {
      form.edtSSID->setText(QString::fromUtf8(c.ssid));
      form.edtPassword->setText(QString::fromUtf8(c.key));
      form.Button1->click();
      openAfterOk = form.isVisible();
      if (openAfterOk) form.Button2->click();
    });
    const Settings before;
    Settings s = before;
    const bool confirmed = Edit(form, machine, s);
    EXPECT_EQ(confirmed, c.refusal == nullptr);
    EXPECT_EQ(openAfterOk, c.refusal != nullptr);
    if (c.refusal) {
      ASSERT_EQ(boxes.Requests().size(), 1u);
      EXPECT_EQ(boxes.Requests()[0].text.toStdString(), c.refusal);
      EXPECT_EQ(boxes.Requests()[0].title, "Message");
      EXPECT_EQ(boxes.Requests()[0].icon, Icon::Error);
      EXPECT_EQ(s, before);
      EXPECT_FALSE(HasRunEntry(machine));
    } else {
      EXPECT_TRUE(boxes.Requests().empty());
      EXPECT_EQ(s.ssid, c.storedSsid ? std::string(c.storedSsid) : std::string(c.ssid));
      EXPECT_EQ(s.password, c.storedKey);
    }
  }
}

TEST(OptionsForm, EveryConfirmationWritesOrRemovesTheStartEntry) {
  np::SimMachine machine;
  auto& registry = machine.Registry();
  TOptionsForm form;
  Settings s;
  // The user's clicks for one use of the dialog.
  const auto run = [&](std::function<void()> act) {
    ScopedDriver driver([&](QDialog&) { act(); });
    return Edit(form, machine, s);
  };
  const auto check = [&](bool on) { return [&form, on] { form.chkAutoRun->setChecked(on); }; };

  // Unchecked and confirmed: a removal of what was never written is no error.
  EXPECT_TRUE(run([&] { check(false)(); form.Button1->click(); }));
  EXPECT_FALSE(HasRunEntry(machine));

  EXPECT_TRUE(run([&] { check(true)(); form.chkStartMin->setChecked(true); form.Button1->click(); }));
  EXPECT_TRUE(s.autoRun);
  EXPECT_TRUE(s.startMinimized);
  EXPECT_EQ(registry.GetValue(np::HKEY_LOCAL_MACHINE, np::kRunKey, "KESTRUNE").text, kExe);

  // Confirmed unchanged: the entry someone removed meanwhile comes back.
  registry.OpenKey(np::HKEY_LOCAL_MACHINE, np::kRunKey, np::RegistryAccess::Full, false)->DeleteValue("KESTRUNE");
  EXPECT_TRUE(run([&] { form.Button1->click(); }));
  EXPECT_TRUE(HasRunEntry(machine));

  // Cancel and the close box change nothing, the entry included.
  EXPECT_FALSE(run([&] { check(false)(); form.Button2->click(); }));
  EXPECT_FALSE(run([&] { check(false)(); form.close(); }));
  EXPECT_TRUE(s.autoRun);
  EXPECT_TRUE(HasRunEntry(machine));

  EXPECT_TRUE(run([&] { check(false)(); form.Button1->click(); }));
  EXPECT_FALSE(s.autoRun);
  EXPECT_FALSE(HasRunEntry(machine));
  // The value name is fixed, and nothing else appeared beside it.
  EXPECT_TRUE(registry.OpenKey(np::HKEY_LOCAL_MACHINE, np::kRunKey, np::RegistryAccess::Read, false)
                  ->GetValueNames()
                  .empty());

  // A Run key that cannot be opened for writing: nothing happens, nothing is said.
  registry.DenyAccess(np::HKEY_LOCAL_MACHINE, np::kRunKey, np::RegistryAccess::Full);
  EXPECT_TRUE(run([&] { check(true)(); form.Button1->click(); }));
  EXPECT_TRUE(s.autoRun);
  registry.ClearFaults();
  EXPECT_FALSE(HasRunEntry(machine));
}
