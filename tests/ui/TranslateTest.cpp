#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "ui/Form1View.h"
#include "ui/Translate.h"

namespace {

// Writes a GNU message catalogue (.mo, little-endian, no hash table).
bool WriteCatalogue(const QString& path, const std::map<std::string, std::string>& entries) {
  std::map<std::string, std::string> all = entries;
  all[""] = "Content-Type: text/plain; charset=UTF-8\n";
  const auto n = static_cast<std::uint32_t>(all.size());
  const std::uint32_t originals = 28;
  const std::uint32_t translations = originals + 8 * n;
  std::uint32_t offset = translations + 8 * n;
  std::string tables, strings;
  auto put = [](std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  std::string header;
  for (std::uint32_t v : {0x950412deu, 0u, n, originals, translations, 0u, 0u}) put(header, v);
  std::string origTable, transTable;
  for (const auto& [id, text] : all) {  // std::map keeps the ids sorted, as lookup needs
    put(origTable, static_cast<std::uint32_t>(id.size()));
    put(origTable, offset);
    strings += id;
    strings.push_back('\0');
    offset += static_cast<std::uint32_t>(id.size() + 1);
  }
  for (const auto& [id, text] : all) {
    put(transTable, static_cast<std::uint32_t>(text.size()));
    put(transTable, offset);
    strings += text;
    strings.push_back('\0');
    offset += static_cast<std::uint32_t>(text.size() + 1);
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const std::string all_bytes = header + origTable + transTable + strings;
  return file.write(all_bytes.data(), static_cast<qint64>(all_bytes.size())) == static_cast<qint64>(all_bytes.size());
}

class TranslateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* language = std::getenv("LANGUAGE");
    hadLanguage = language != nullptr;
    if (hadLanguage) savedLanguage = language;
    savedLocale = std::setlocale(LC_ALL, nullptr);
    // gettext ignores LANGUAGE in the plain C locale.
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    setenv("LANGUAGE", "de", 1);
  }
  void TearDown() override {
    if (hadLanguage)
      setenv("LANGUAGE", savedLanguage.c_str(), 1);
    else
      unsetenv("LANGUAGE");
    std::setlocale(LC_ALL, savedLocale.c_str());
    SetTranslationDirectory(empty.path());
  }

  QTemporaryDir empty;
  bool hadLanguage = false;
  std::string savedLanguage;
  std::string savedLocale;
};

TEST_F(TranslateTest, TextsComeBackUnchangedWithoutACatalogue) {
  SetTranslationDirectory(empty.path());
  EXPECT_EQ(Translate("Ready for Sharing"), QStringLiteral("Ready for Sharing"));
  EXPECT_EQ(Translate("Caf\xc3\xa9"), QStringLiteral("Caf\u00e9"));
  EXPECT_EQ(Translate(""), QString());
  EXPECT_EQ(Translate(nullptr), QString());
}

TEST_F(TranslateTest, CatalogueTranslatesAndPanelTextsGoThroughIt) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("de/LC_MESSAGES")));
  ASSERT_TRUE(WriteCatalogue(dir.filePath(QStringLiteral("de/LC_MESSAGES/kestrune.mo")),
                             {{"Ready for Sharing", "Bereit zur Freigabe"},
                              {"Connected to Internet", "Mit dem Internet verbunden \xe2\x9c\x93"}}));
  SetTranslationDirectory(dir.path());

  EXPECT_EQ(Translate("Ready for Sharing"), QStringLiteral("Bereit zur Freigabe"));
  EXPECT_EQ(Translate("Unavailable"), QStringLiteral("Unavailable"));
  // The empty text is not the catalogue's header.
  EXPECT_EQ(Translate(""), QString());

  QMainWindow window;
  TForm1View view(&window);
  view.PanelState = [] { return TStatusPanelState{true, false, 1}; };
  view.StatusBar1->grab();
  EXPECT_EQ(view.PanelText(TForm1View::kSharingPanel), QStringLiteral("Bereit zur Freigabe"));
  EXPECT_EQ(view.PanelText(TForm1View::kInternetPanel), QStringLiteral("Mit dem Internet verbunden \u2713"));
}

}  // namespace
