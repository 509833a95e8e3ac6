// The About box and the contact mail, with a rebranded product, and the
// addresses they hand to the desktop.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrlQuery>
#include <string>

#include "DialogTestSupport.h"
#include "core/Base64.h"
#include "platform/sim/SimMachine.h"
#include "shell/AboutUnit.h"
#include "shell/UnitGlobal.h"

using dialogtest::ScopedDriver;
using dialogtest::ScopedOpener;
namespace np = kestrune::platform;

namespace {

constexpr char kExe[] = "/opt/foo/kestrune";

class Branded : public ::testing::Test {
 protected:
  void Brand(const std::string& name, const std::string& url) {
    ApplyBrandingText(kestrune::EncodeBase64("[System]\r\nAPPLICATION_NAME=" + name + "\r\nPRODUCT_URL=" + url + "\r\n", 20));
    ASSERT_EQ(ApplicationName, name);
  }
  void SetUp() override { machine.System().SetExecutablePath(kExe); }
  void TearDown() override { ResetBrandingValues(); }
  np::SimMachine machine;
};

QString Decoded(const QUrl& url, const char* key) {
  return QUrlQuery(url).queryItemValue(QString::fromLatin1(key), QUrl::FullyDecoded);
}

}  // namespace

TEST_F(Branded, AboutBoxShowsTheBrandingAndVersionAtEveryShow) {
  Brand("Foo Bar", "https://foo.example/bar");
  machine.System().SetFileVersion(kExe, np::FileVersionNumbers{1, 2, 3, 15});
  TAboutBox box(machine.System());
  EXPECT_EQ(box.windowTitle(), "About");
  EXPECT_EQ(box.lblVersion->text(), "Version");
  EXPECT_EQ(box.OKButton->text(), "OK");
  EXPECT_EQ(box.URL->toolTip(), "Visit our website.");
  EXPECT_EQ(box.URL->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(box.size(), QSize(TAboutBox::kClientWidth, TAboutBox::kClientHeight));

  for (const char* expectedVersion : {"1.2.3.15", ""}) {
    SCOPED_TRACE(expectedVersion);
    ScopedDriver driver([&](QDialog&) {
      EXPECT_EQ(box.sLabel1->text(), "Foo Bar");
      EXPECT_EQ(box.SoftName->text(), "Foo Bar");
      EXPECT_EQ(box.URL->text(), "https://foo.example/bar");
      EXPECT_EQ(box.Version->text().toStdString(), expectedVersion);
      box.OKButton->click();
    });
    EXPECT_EQ(box.Execute(), QDialog::Accepted);
    EXPECT_EQ(driver.runs, 1);
    // Next time the executable has no version resource: the label is empty.
    machine.System().SetFileVersion(kExe, std::nullopt);
  }
}

TEST_F(Branded, TheLinkOpensTheProductPageInTheBrowser) {
  Brand("Foo Bar", "https://foo.example/bar?x=1");
  TAboutBox box(machine.System());
  ScopedOpener opener;
  ScopedDriver driver([&](QDialog&) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.URL, Qt::LeftButton);
    box.OKButton->click();
  });
  box.Execute();
  ASSERT_EQ(opener.Opened().size(), 1u);
  EXPECT_EQ(opener.Opened()[0], QUrl(QStringLiteral("https://foo.example/bar?x=1")));
}

TEST(ProductWebAddress, OnlyWebAddressesAreOpened) {
  const struct {
    const char* text;
    const char* url;  // empty: nothing is opened
  } cases[] = {
      {"https://foo.example/", "https://foo.example/"},
      {"http://foo.example/a b", "http://foo.example/a%20b"},
      {"  www.foo.example  ", "http://www.foo.example"},
      {"", ""},
      {"file:///usr/bin/xterm", ""},
      {"/usr/bin/xterm", ""},
      {"javascript:alert(1)", ""},
      {"mailto:x@foo.example", ""},
      {"http://", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ProductWebAddress(c.text).toString(QUrl::FullyEncoded).toStdString(), c.url);
  }
}

TEST_F(Branded, ContactMailCarriesTheProductNameInSubjectAndBody) {
  Brand("Foo Bar", "https://foo.example/");
  const std::string address = SupportMailAddress;
  EXPECT_EQ(ContactMailText(), "mailto:" + address +
                                   "?subject=Foo Bar Comments&body=Hello Support Team,\r\nProduct Name: Foo Bar\r\n"
                                   "My Windows Version: \r\nMy Laptop/Desktop Model: \r\nInput your comments here...");
  ScopedOpener opener;
  WriteToUs();
  ASSERT_EQ(opener.Opened().size(), 1u);
  const QUrl mail = opener.Opened()[0];
  EXPECT_EQ(mail.scheme(), "mailto");
  EXPECT_EQ(mail.path().toStdString(), address);
  EXPECT_EQ(Decoded(mail, "subject"), "Foo Bar Comments");
  const QStringList lines = Decoded(mail, "body").split(QStringLiteral("\r\n"));
  EXPECT_EQ(lines, (QStringList{"Hello Support Team,", "Product Name: Foo Bar", "My Windows Version: ",
                                "My Laptop/Desktop Model: ", "Input your comments here..."}));
  // What the mail program receives is a valid address: no raw blank or line break in it.
  const QString wire = mail.toString(QUrl::FullyEncoded);
  EXPECT_FALSE(wire.contains(QLatin1Char(' ')) || wire.contains(QLatin1Char('\r')) || wire.contains(QLatin1Char('\n')))
      << wire.toStdString();
  EXPECT_TRUE(wire.contains(QStringLiteral("Foo%20Bar%20Comments"))) << wire.toStdString();
}

TEST_F(Branded, ContactMailKeepsEveryCharacterOfTheName) {
  // Characters that delimit a mail address's fields must not split or cut the message.
  const std::string name = "R&D #1 100% +\xC3\xA9=?";
  Brand(name, "https://foo.example/");
  ScopedOpener opener;
  WriteToUs();
  ASSERT_EQ(opener.Opened().size(), 1u);
  const QUrl mail = opener.Opened()[0];
  EXPECT_EQ(Decoded(mail, "subject").toStdString(), name + " Comments");
  EXPECT_EQ(Decoded(mail, "body").split(QStringLiteral("\r\n")).value(1).toStdString(), "Product Name: " + name);
  EXPECT_EQ(QUrlQuery(mail).queryItems().size(), 2);
  EXPECT_TRUE(mail.fragment().isEmpty());
}
