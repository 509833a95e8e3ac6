#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "wireless/wifi.h"

namespace {

std::string LoadError(const std::string& path) {
  try {
    LoadWifiLibrary(path);
  } catch (const EWifiLibraryError& e) {
    return e.what();
  }
  return {};
}

TEST(WifiLibraryLoaderTest, MissingFileIsNamed) {
  const std::string dir = (std::filesystem::temp_directory_path() / "kestrune-no-such-dir-4711").string() + "/";
  const std::string path = dir + kWirelessLibraryFileName;
  ASSERT_FALSE(std::filesystem::exists(path));

  const std::string message = LoadError(path);
  ASSERT_FALSE(message.empty()) << "loading a missing file did not fail";
  EXPECT_NE(message.find(path), std::string::npos) << message;

  // The directory form looks beside the executable under the fixed file name.
  try {
    LoadWirelessLibrary(dir);
    FAIL() << "loaded from a directory that does not exist";
  } catch (const EWifiLibraryError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
}

TEST(WifiLibraryLoaderTest, MissingFunctionIsNamedWithTheFile) {
  const std::string path = KESTRUNE_FIXTURE_PARTIAL_WIRELESS;
  ASSERT_TRUE(std::filesystem::exists(path)) << path;

  const std::string message = LoadError(path);
  ASSERT_FALSE(message.empty()) << "a library without DeleteSsid was accepted";
  EXPECT_NE(message.find("DeleteSsid"), std::string::npos) << message;
  EXPECT_NE(message.find(path), std::string::npos) << message;
  // The functions it does have are not blamed.
  EXPECT_EQ(message.find("AddSsid"), std::string::npos) << message;
}

TEST(WifiLibraryLoaderTest, FileThatIsNoLibraryIsRefused) {
  const auto file = std::filesystem::temp_directory_path() /
                    ("kestrune-loader-" + std::to_string(getpid()) + "-not-a-library.so");
  {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not a shared object", f);
    std::fclose(f);
  }
  const std::string message = LoadError(file.string());
  std::filesystem::remove(file);
  ASSERT_FALSE(message.empty());
  EXPECT_NE(message.find(file.string()), std::string::npos) << message;
}

}  // namespace
