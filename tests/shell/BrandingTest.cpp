#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "core/Base64.h"
#include "shell/UnitGlobal.h"

namespace {

const std::string kDefaultUrl = "http://www.kestrune.example/";

class Branding : public ::testing::Test {
 protected:
  void SetUp() override { ResetBrandingValues(); }
  void TearDown() override { ResetBrandingValues(); }
  testsupport::TempDir dir_;
};

}  // namespace

TEST_F(Branding, FileContentSetsNameAndAddressOnly) {
  using kestrune::EncodeBase64;
  const std::string foo = "[System]\r\nAPPLICATION_NAME=Foo\r\n";
  struct Case {
    const char* what;
    std::string file;
    std::string name, url;
  } cases[] = {
      {"name only", EncodeBase64(foo), "Foo", kDefaultUrl},
      {"wrapped lines", EncodeBase64(foo, 4), "Foo", kDefaultUrl},
      {"lines of a text file", EncodeBase64(foo, 8) + "\r\n", "Foo", kDefaultUrl},
      {"both keys, any case, blanks",
       EncodeBase64(";x\r\n[ system ]\r\n  product_url = http://x.example/p \r\napplication_name=Bar Baz\r\n"),
       "Bar Baz", "http://x.example/p"},
      {"empty file", "", "KESTRUNE", kDefaultUrl},
      {"not Base64", "@@@@ ####\r\n%%%%", "KESTRUNE", kDefaultUrl},
      {"Base64 of binary", EncodeBase64(std::string("\x00\xff\x01[System", 10)), "KESTRUNE", kDefaultUrl},
      {"other section only", EncodeBase64("[Other]\r\nAPPLICATION_NAME=Nope\r\n"), "KESTRUNE", kDefaultUrl},
      {"keys before any section", EncodeBase64("APPLICATION_NAME=Nope\r\n[System]\r\n"), "KESTRUNE", kDefaultUrl},
      {"commented key", EncodeBase64("[System]\r\n;APPLICATION_NAME=Nope\r\n"), "KESTRUNE", kDefaultUrl},
      {"first of duplicates",
       EncodeBase64("[System]\r\nAPPLICATION_NAME=One\r\nAPPLICATION_NAME=Two\r\n[System]\r\nPRODUCT_URL=u\r\n"),
       "One", kDefaultUrl},
  };
  for (const auto& c : cases) {
    ResetBrandingValues();
    testsupport::WriteFile(dir_.Path() / "update.dll", c.file);
    ASSERT_NO_THROW(LoadBrandingFile(dir_.Dir())) << c.what;
    EXPECT_EQ(ApplicationName, c.name) << c.what;
    EXPECT_EQ(ProductUrl, c.url) << c.what;
    EXPECT_EQ(DefaultSSID, "KESTRUNE") << c.what;
    EXPECT_EQ(SupportMailAddress, "support@kestrune.example") << c.what;
  }
}

TEST_F(Branding, MissingOrUnreadableFileIsFatalAndNamesThePath) {
  const std::string path = dir_.Dir() + "update.dll";
  for (const bool asFolder : {false, true}) {
    if (asFolder) std::filesystem::create_directory(path);
    try {
      LoadBrandingFile(dir_.Dir());
      ADD_FAILURE() << "no error for " << (asFolder ? "a folder" : "a missing file");
    } catch (const EBrandingFileError& e) {
      EXPECT_EQ(e.Path(), path);
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_EQ(ApplicationName, "KESTRUNE");
  }
}

TEST_F(Branding, TheShippedSampleDecodes) {
  ApplicationName = "before";
  ProductUrl = "before";
  ApplyBrandingText(testsupport::ReadFile(std::filesystem::path(KESTRUNE_SOURCE_DIR) / "data" / "update.dll"));
  EXPECT_EQ(ApplicationName, "KESTRUNE");
  EXPECT_EQ(ProductUrl, kDefaultUrl);
}
