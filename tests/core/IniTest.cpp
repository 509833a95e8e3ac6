#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include "core/IniFile.h"

using namespace kestrune;
namespace fs = std::filesystem;

TEST(IniText, ReadingRules) {
  // An embedded NUL: build the text with its real length.
  static const char raw[] =
      "; settings\r\n"
      "Orphan=before any section\r\n"
      "[Other]\r\n"
      "SSID=not this one\r\n"
      "  [ system ]  \r\n"
      "  ssid  =  Home Net  \r\n"
      "; Password=commented out\r\n"
      "Password\r\n"
      "Password==x=y\r\n"
      "SSID=second occurrence\r\n"
      "Empty=\r\n"
      "Nul=ab\0cd\r\n"
      "[Broken\n"
      "Broken=still in system\r"
      "LoneCR=after a lone CR\r\n"
      "[System]\r\n"
      "Extra=from the duplicate section\r\n"
      "Last=no line break";
  const TIniText ini(std::string(raw, sizeof raw - 1));
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> value;
  } cases[] = {
      {"System", "SSID", "Home Net"},      // trimmed, names without regard to case, first key wins
      {"SYSTEM", "Password", "=x=y"},      // split at the first "=", comment and bare word skipped
      {"System", "Empty", ""},             // present but empty is not absent
      {"System", "Nul", "ab"},             // values are C strings
      {"System", "Extra", std::nullopt},   // only the first section of a name counts
      {"System", "Broken", "still in system"},  // "[Broken" opens no section
      {"System", "LoneCR", "after a lone CR"},
      {"System", "Last", std::nullopt},
      {"System", "Orphan", std::nullopt},  // lines before the first section are ignored
      {"Other", "ssid", "not this one"},
      {"Missing", "SSID", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ini.ReadValue(c.section, c.key), c.value) << c.section << "/" << c.key;
  EXPECT_EQ(ini.ReadString("System", "Nope", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("System", "Empty", "dflt"), "");
  EXPECT_EQ(TIniText("[S]\r\nLast=no line break").ReadValue("s", "last"), "no line break");
}

TEST(IniText, IntegerAndBooleanRules) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  } ints[] = {
      {"0", 0},           {"1", 1},        {"-1", -1},        {"+7", 7},         {"0x1F", 31},
      {"0X1f", 31},       {"$10", 16},     {"-$10", -16},     {"$FFFFFFFF", -1}, {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},          {"2147483648", std::nullopt},         {"$100000000", std::nullopt},
      {"true", std::nullopt}, {"", std::nullopt}, {"0x", std::nullopt}, {"$", std::nullopt},
      {"-", std::nullopt},  {"1a", std::nullopt}, {"1 2", std::nullopt}, {"0x1G", std::nullopt},
      {"99999999999999999999999", std::nullopt},
  };
  for (const auto& c : ints) EXPECT_EQ(ParseProfileInteger(c.text), c.value) << c.text;

  const TIniText ini(
      "[System]\nA=0x1F\nB=$10\nC=true\nD=-1\nE=0\nF=\nG= 1 \nH=yes\nI=00\n");
  struct BoolCase {
    const char* key;
    bool defaultValue;
    bool expected;
  } bools[] = {
      {"A", false, true}, {"B", false, true}, {"C", false, false}, {"C", true, true},
      {"D", false, true}, {"E", true, false}, {"F", true, true},   {"G", false, true},
      {"H", false, false}, {"I", true, false}, {"Missing", false, false}, {"Missing", true, true},
  };
  for (const auto& c : bools)
    EXPECT_EQ(ReadProfileBool(ini, "system", c.key, c.defaultValue), c.expected) << c.key << " " << c.defaultValue;
}

TEST(IniText, StringsAreCutAtTheBufferLimit) {
  const std::string longValue(kProfileStringMax + 500, 'x');
  const std::string exact(kProfileStringMax, 'y');
  const TIniText ini("[System]\r\nLong=" + longValue + "\r\nExact=" + exact + "\r\n");
  EXPECT_EQ(ReadProfileString(ini, "System", "Long", ""), std::string(kProfileStringMax, 'x'));
  EXPECT_EQ(ReadProfileString(ini, "System", "Exact", ""), exact);
  EXPECT_EQ(ReadProfileString(ini, "System", "Missing", longValue), std::string(kProfileStringMax, 'x'));
  // A long bool value cut at the limit is still read as what is left.
  const TIniText zeros("[System]\r\nB=" + std::string(3000, '0') + "1\r\n");
  EXPECT_FALSE(ReadProfileBool(zeros, "System", "B", true));
}

TEST(IniText, HugeAndBinaryInputReadsWithoutHarm) {
  using namespace std::string_literals;
  std::string text = "[System]\r\nBig=";
  text.append(100u * 1024 * 1024, 'z');
  text += "\r\n\x01\x02\xff\xfe[\0]\r\n=\r\n[]\r\n[System]\r\nAfter=1\r\nSSID=ok\0\r"s;
  const TIniText ini(text);
  EXPECT_EQ(ReadProfileString(ini, "System", "Big", "").size(), kProfileStringMax);
  EXPECT_FALSE(ini.ReadValue("System", "After"));  // in the duplicate section
  EXPECT_EQ(ini.Text(), text);
}

TEST(IniText, WritingKeepsEveryOtherLineByteForByte) {
  const std::string original =
      "; my notes\r\n"
      "junk before sections\r\n"
      "[Other]\n"
      "AutoRun=keep me\n"
      "\n"
      "[system]\r\n"
      "ssid = Old Name\r\n"
      "; a comment in the section\r\n"
      "\x01\xfe binary line\r\n"
      "Password=first\r\n"
      "Password=shadowed duplicate\r\n"
      "\r\n"
      "\r\n"
      "[System]\r\n"
      "SSID=second section\r\n"
      "[Tail]\r\n"
      "x=1";
  TIniText ini(original);
  ini.WriteString("System", "SSID", "New Name");
  ini.WriteString("System", "Password", "12345");
  ini.WriteString("System", "AutoRun", "1");
  ini.WriteString("System", "DestGUID", "");
  const std::string expected =
      "; my notes\r\n"
      "junk before sections\r\n"
      "[Other]\n"
      "AutoRun=keep me\n"
      "\n"
      "[system]\r\n"
      "SSID=New Name\r\n"
      "; a comment in the section\r\n"
      "\x01\xfe binary line\r\n"
      "Password=12345\r\n"
      "Password=shadowed duplicate\r\n"
      "AutoRun=1\r\n"
      "DestGUID=\r\n"
      "\r\n"
      "\r\n"
      "[System]\r\n"
      "SSID=second section\r\n"
      "[Tail]\r\n"
      "x=1";
  EXPECT_EQ(ini.Text(), expected);
  EXPECT_EQ(TIniText(ini.Text()).ReadValue("System", "Password"), "12345");
  EXPECT_EQ(TIniText(ini.Text()).ReadValue("Other", "AutoRun"), "keep me");
}

TEST(IniText, WritingCreatesTheSectionAtTheEnd) {
  struct Case {
    std::string before, after;
  } cases[] = {
      {"", "[System]\r\nA=1\r\nB=\r\n"},
      {"[Other]\nx=1", "[Other]\nx=1\n\n[System]\nA=1\nB=\n"},
      {"[Other]\r\nx=1\r\n\r\n", "[Other]\r\nx=1\r\n\r\n[System]\r\nA=1\r\nB=\r\n"},
      {"[System]", "[System]\r\nA=1\r\nB=\r\n"},  // a header with nothing after it
  };
  for (const auto& c : cases) {
    TIniText ini(c.before);
    ini.WriteString("System", "A", "1");
    ini.WriteString("System", "B", "");
    EXPECT_EQ(ini.Text(), c.after) << c.before;
  }
}

// A new line must not end in "\r" right before a line that starts with "\n":
// the two would read back as one break and a blank line would vanish.
TEST(IniText, NewLinesInAFileOfMixedBreaksKeepEveryLine) {
  struct Case {
    std::string before, section, after;
  } cases[] = {
      // Appended section after a last line ending in CR, file's first break LF.
      {"[A]\nx=1\n\n[B]\r\nk=2\r", "C", "[A]\nx=1\n\n[B]\r\nk=2\r\r[C]\rn=v\r"},
      // Entry inserted before a blank LF line, file's first break CR.
      {"[A]\rx=1\r[B]\ny=2\n\n[C]\n", "B", "[A]\rx=1\r[B]\ny=2\nn=v\n\n[C]\n"},
  };
  for (const auto& c : cases) {
    TIniText ini(c.before);
    ini.WriteString(c.section, "n", "v");
    EXPECT_EQ(ini.Text(), c.after);
    // Re-read and written again, nothing moves.
    TIniText back(ini.Text());
    back.WriteString(c.section, "n", "v");
    EXPECT_EQ(back.Text(), c.after);
    EXPECT_EQ(back.ReadValue(c.section, "n"), "v");
  }
}

TEST(IniText, LineBreaksInAValueCannotForgeEntries) {
  TIniText ini("[System]\r\n");
  ini.WriteString("System", "SSID", "evil\r\n[System]\r\nPassword=x\nAutoRun=1");
  const TIniText back(ini.Text());
  EXPECT_EQ(back.ReadValue("System", "SSID"), "evil  [System]  Password=x AutoRun=1");
  EXPECT_FALSE(back.ReadValue("System", "Password"));
  EXPECT_FALSE(back.ReadValue("System", "AutoRun"));
}

class IniFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrune-ini-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  fs::path dir_;
};

TEST_F(IniFileOnDisk, ReadReportsMissingUnreadableAndContents) {
  std::string contents = "stale";
  EXPECT_EQ(ReadWholeFile((dir_ / "none").string(), contents), FileReadStatus::Missing);
  EXPECT_TRUE(contents.empty());
  int err = 0;
  fs::create_directory(dir_ / "adir");
  EXPECT_EQ(ReadWholeFile((dir_ / "adir").string(), contents, &err), FileReadStatus::Failed);
  EXPECT_NE(err, 0);
  const std::string data("a\0b\r\nc", 6);
  std::ofstream(dir_ / "f", std::ios::binary) << data;
  EXPECT_EQ(ReadWholeFile((dir_ / "f").string(), contents), FileReadStatus::Ok);
  EXPECT_EQ(contents, data);
}

TEST_F(IniFileOnDisk, ReplaceIsAtomicAndKeepsPermissions) {
  const fs::path target = dir_ / "setup.ini";
  std::ofstream(target) << "old";
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  // A reader holding the old file keeps seeing it whole: the new one is a new inode.
  std::ifstream reader(target, std::ios::binary);
  ReplaceFileAtomically(target.string(), "new contents");
  EXPECT_EQ(Slurp(target), "new contents");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), std::istreambuf_iterator<char>()), "old");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(IniFileOnDisk, ReplaceFollowsALinkAndFailsCleanly) {
  const fs::path real = dir_ / "real.ini";
  std::ofstream(real) << "old";
  fs::create_symlink(real, dir_ / "setup.ini");
  ReplaceFileAtomically((dir_ / "setup.ini").string(), "via link");
  EXPECT_TRUE(fs::is_symlink(dir_ / "setup.ini"));
  EXPECT_EQ(Slurp(real), "via link");

  // A folder in the file's place: the rename fails, the folder stays, no temporary is left.
  fs::create_directory(dir_ / "blocked.ini");
  EXPECT_THROW(ReplaceFileAtomically((dir_ / "blocked.ini").string(), "x"), std::system_error);
  EXPECT_TRUE(fs::is_directory(dir_ / "blocked.ini"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
  // A folder that does not exist.
  EXPECT_THROW(ReplaceFileAtomically((dir_ / "no" / "setup.ini").string(), "x"), std::system_error);
}
