#include <gtest/gtest.h>

#include <string>

#include "core/Base64.h"

using kestrune::DecodeBase64;
using kestrune::EncodeBase64;

TEST(Base64, KnownVectorsBothWays) {
  struct Case {
    std::string plain, encoded;
  } cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {std::string("\0\xff\x10", 3), "AP8Q"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeBase64(c.plain), c.encoded) << c.plain;
    EXPECT_EQ(DecodeBase64(c.encoded), c.plain) << c.encoded;
  }
}

TEST(Base64, LineBreaksAndForeignCharactersAreSkipped) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  all += "[System]\r\nAPPLICATION_NAME=Foo\r\n";
  const std::string flat = EncodeBase64(all);
  const std::string wrapped = EncodeBase64(all, 76);
  ASSERT_NE(wrapped.find("\r\n"), std::string::npos);
  EXPECT_EQ(wrapped.size(), flat.size() + 2 * ((flat.size() - 1) / 76));

  std::string noisy;  // LF-only breaks, blanks, tabs and bytes outside the alphabet
  for (std::size_t i = 0; i < flat.size(); ++i) {
    noisy.push_back(flat[i]);
    if (i % 7 == 3) noisy += " \n\t";
    if (i % 11 == 5) noisy += "\x80!*";
  }
  for (const std::string& text : {flat, wrapped, noisy}) EXPECT_EQ(DecodeBase64(text), all);
}

TEST(Base64, PaddingEndsAGroupAndPartialGroupsKeepTheirWholeBytes) {
  struct Case {
    std::string encoded, plain;
  } cases[] = {
      {"Zg==Zm8=", "ffo"},      // decoding goes on after a padded group
      {"Zg=Zm9v", "ffoo"},      // a single "=" already ends the group
      {"Zm8", "fo"},            // unpadded tail
      {"Zm9vY", "foo"},         // one sextet carries no byte
      {"=Zm9v==", "foo"},       // padding with no group open does nothing
      {"Z", ""},
      {"!!!\r\n", ""},          // nothing of the alphabet at all
      {"Zm 9v\r\nYm\tFy", "foobar"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeBase64(c.encoded), c.plain) << c.encoded;
}
