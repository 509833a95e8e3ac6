#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/Errors.h"
#include "fixtures/ScopedEnv.h"
#include "fixtures/TempDir.h"
#include "platform/Platform.h"
#include "platform/Registry.h"
#include "platform/linux/LinuxAutostart.h"

using namespace kestrune::platform;
namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ExecLine(const std::string& entry) {
  std::istringstream in(entry);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("Exec=", 0) == 0) return line;
  return {};
}

void Put(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::unique_ptr<RegistryKey> OpenRun(IRegistry& r, RegistryAccess access = RegistryAccess::Full, bool create = true) {
  return r.OpenKey(HKEY_LOCAL_MACHINE, kRunKey, access, create);
}

}  // namespace

// The Exec line as it stands in the file: quoting by the desktop-entry rules,
// then the string escapes, so a literal backslash inside quotes is four.
TEST(Autostart, ExecLinesQuotedByTheDesktopEntryRules) {
  struct Case {
    std::string path, line;
  };
  const Case cases[] = {
      {"/usr/bin/kestrune", "Exec=/usr/bin/kestrune"},
      {"/opt/My Apps/kestrune", R"(Exec="/opt/My Apps/kestrune")"},
      {"/opt/a\"b", R"(Exec="/opt/a\\"b")"},
      {"/opt/$HOME/k", R"(Exec="/opt/\\$HOME/k")"},
      {"/opt/back\\slash", R"(Exec="/opt/back\\\\slash")"},
      {"/opt/tick`x", R"(Exec="/opt/tick\\`x")"},
      {"/opt/100%/k", "Exec=/opt/100%%/k"},
      {"/opt/x y%", R"(Exec="/opt/x y%%")"},
      {"~/bin/k", R"(Exec="~/bin/k")"},
      {"/opt/new\nline", R"(Exec="/opt/new\nline")"},
      {" /lead", R"(Exec=" /lead")"},
      {"/opt/\xC3\xBC/k", "Exec=/opt/\xC3\xBC/k"},
  };
  TempDir dir;
  LinuxAutostartRegistry registry(dir.Path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto key = OpenRun(registry);
    ASSERT_NE(key, nullptr);
    key->WriteString("KESTRUNE", c.path);
    EXPECT_EQ(ExecLine(Slurp(dir.Path() / "KESTRUNE.desktop")), c.line);
    EXPECT_EQ(key->ReadString("KESTRUNE"), c.path);
  }
}

TEST(Autostart, EntriesBehaveAsValuesOfTheRunKey) {
  TempDir dir;
  LinuxAutostartRegistry registry(dir.Path());
  auto key = OpenRun(registry);
  ASSERT_NE(key, nullptr);
  key->WriteString("KESTRUNE", "/opt/k/kestrune");
  const std::string entry = Slurp(dir.Path() / "KESTRUNE.desktop");
  EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u) << entry;
  EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos) << entry;

  // Value names ignore case; the entry keeps the name it was made with.
  EXPECT_EQ(key->ReadString("kestrune"), "/opt/k/kestrune");
  key->WriteString("Kestrune", "/opt/new/kestrune");
  EXPECT_NE(Slurp(dir.Path() / "KESTRUNE.desktop").find("/opt/new/kestrune"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.Path() / "Kestrune.desktop"));

  // Someone else's entry reads as its command line; a hidden one is a deleted one.
  Put(dir.Path() / "other.desktop", "[Desktop Entry]\nType=Application\nExec=other --tray %U\n");
  Put(dir.Path() / "gone.desktop", "[Desktop Entry]\nExec=gone\nHidden=true\n");
  Put(dir.Path() / "notes.txt", "not an entry");
  EXPECT_EQ(key->ReadString("other"), "other --tray %U");
  EXPECT_FALSE(key->ValueExists("gone"));
  auto names = key->GetValueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"KESTRUNE", "other"}));

  EXPECT_TRUE(key->DeleteValue("kestrune"));
  EXPECT_FALSE(key->DeleteValue("KESTRUNE"));
  EXPECT_FALSE(fs::exists(dir.Path() / "KESTRUNE.desktop"));
  EXPECT_TRUE(fs::exists(dir.Path() / "other.desktop"));

  // Names that are no file names, and data that is no text, cannot be written.
  for (const std::string bad : {"", "../escape", "a/b", ".hidden"})
    EXPECT_THROW(key->WriteString(bad, "/bin/true"), kestrune::ERegistryException) << bad;
  EXPECT_THROW(key->WriteInteger("number", 1), kestrune::ERegistryException);
  EXPECT_FALSE(fs::exists(dir.Path().parent_path() / "escape.desktop"));
  // Only the other two entries and the stray file are left: no temporary files.
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 3);
}

TEST(Autostart, OnlyTheRunKeyExistsAndTheFolderIsMadeWhenNeeded) {
  TempDir dir;
  const fs::path folder = dir.Path() / "config" / "autostart";
  LinuxAutostartRegistry registry(folder);
  EXPECT_EQ(registry.OpenKey(HKEY_CURRENT_USER, kRunKey, RegistryAccess::Full, true), nullptr);
  EXPECT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft", RegistryAccess::Full, true), nullptr);
  // Without create, a missing folder is a missing key, and reading makes nothing.
  EXPECT_EQ(OpenRun(registry, RegistryAccess::Read, false), nullptr);
  EXPECT_EQ(OpenRun(registry, RegistryAccess::Read, true), nullptr);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_NE(registry.OpenKey(HKEY_LOCAL_MACHINE, "\\software\\microsoft\\windows\\currentversion\\run\\",
                             RegistryAccess::Full, true),
            nullptr);
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_NE(OpenRun(registry, RegistryAccess::Read, false), nullptr);
}

TEST(Autostart, LinuxPlatformFollowsXdgConfigHome) {
  TempDir dir;
  ScopedEnv home("HOME", (dir.Path() / "home").c_str());
  ScopedEnv config("XDG_CONFIG_HOME", (dir.Path() / "cfg").c_str());
  EXPECT_EQ(autostart::DefaultFolder(), dir.Path() / "cfg" / "autostart");
  auto platform = CreatePlatform("linux");
  auto key = OpenRun(*platform->Get().registry);
  ASSERT_NE(key, nullptr);
  key->WriteString("KESTRUNE", "/opt/k/kestrune");
  EXPECT_TRUE(fs::is_regular_file(dir.Path() / "cfg" / "autostart" / "KESTRUNE.desktop"));
  // A relative or empty value is not to be used: the home folder's default applies.
  for (const char* value : {"relative/config", ""}) {
    ScopedEnv relative("XDG_CONFIG_HOME", value);
    EXPECT_EQ(autostart::DefaultFolder(), dir.Path() / "home" / ".config" / "autostart");
  }
}

TEST(Autostart, DesktopStringEscapesRoundTrip) {
  for (const std::string text : {"plain", " lead", "tab\there", "a\\b", "cr\rlf\n", "\\s literal"}) {
    EXPECT_EQ(autostart::UnescapeValue(autostart::EscapeValue(text)), text);
    EXPECT_EQ(autostart::EscapeValue(text).find_first_of("\n\r\t"), std::string::npos);
  }
  EXPECT_EQ(autostart::SplitExec("\"unterminated"), std::nullopt);
  EXPECT_EQ(autostart::SplitExec("a  \"b c\"\td"), (std::vector<std::string>{"a", "b c", "d"}));
}
