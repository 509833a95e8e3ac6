#include <gtest/gtest.h>

#include "core/Errors.h"
#include "core/StringList.h"
#include "core/Strings.h"

using namespace kestrune;

TEST(Conversions, RoundTripAcrossPlanes) {
  const std::string text = "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB6";  // é € and a non-BMP sign
  const std::u16string wide = AnsiToWide(text);
  EXPECT_EQ(wide, u"Caf\u00E9 \u20AC \U0001F4F6");
  EXPECT_EQ(WideToAnsi(wide), text);
}

TEST(Conversions, UnconvertibleCharactersAreReplaced) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\xFF", u"\uFFFD"},                // not a lead byte
      {"a\xC3", u"a\uFFFD"},              // cut sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},      // overlong form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(AnsiToWide(c.in), c.out) << c.in;
  EXPECT_EQ(WideToAnsi(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(WideToAnsi(std::u16string(1, char16_t(0xDC00)) + u"x"), "\xEF\xBF\xBDx");
}

TEST(Conversions, TrimRemovesControlsAndBlanksOnly) {
  EXPECT_EQ(Trim(std::string_view(" \t\r\n abc \x01")), "abc");
  EXPECT_EQ(Trim(std::string_view("   ")), "");
  EXPECT_EQ(Trim(std::u16string_view(u"  a b  ")), u"a b");
  EXPECT_TRUE(SameText("System", "SYSTEM"));
  EXPECT_FALSE(SameText("System", "Systems"));
}

TEST(StringList, SetTextSplitsAtEveryLineBreakKind) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\nb\rc", {"a", "b", "c"}},
      {"a\r\n", {"a"}},
      {"\r\na", {"", "a"}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetText(c.text);
    ASSERT_EQ(list.Count(), static_cast<int>(c.lines.size())) << c.text;
    for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list[i], c.lines[i]);
  }
}

namespace {
struct Counted : TObject {
  explicit Counted(int* live) : live_(live) { ++*live_; }
  ~Counted() override { --*live_; }
  int* live_;
};
}  // namespace

TEST(StringList, FreeListObjectsKeepsTextsAndCount) {
  int live = 0;
  TStringList list;
  list.AddObject("one", std::make_unique<Counted>(&live));
  list.Add("two");
  list.AddObject("one", std::make_unique<Counted>(&live));
  ASSERT_EQ(live, 2);
  EXPECT_EQ(list.IndexOf("one"), 0);
  EXPECT_NE(list.ObjectAs<Counted>(2), nullptr);

  FreeListObjects(&list);
  EXPECT_EQ(live, 0);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list[2], "one");
  EXPECT_EQ(list.Objects(0), nullptr);
  FreeListObjects(nullptr);  // no list: nothing happens
}

TEST(Errors, OSErrorMessageFormat) {
  const EOSError e(111, "The file name is too long.");
  EXPECT_EQ(e.ErrorCode(), 111u);
  EXPECT_STREQ(e.what(), "System Error.  Code: 111.\r\nThe file name is too long.");
  EXPECT_EQ(FormatWith("Invalid data type for '%s'", "MediaSubType"), "Invalid data type for 'MediaSubType'");
}
