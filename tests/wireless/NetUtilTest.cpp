#include "wireless/NetUtil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "fixtures/PeBuilder.h"
#include "fixtures/ScopedEnv.h"
#include "fixtures/TempDir.h"
#include "platform/FileVersion.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/sim/SimMachine.h"

using namespace kestrune::platform;
namespace fs = std::filesystem;

namespace {

constexpr char kLibrary[] = KESTRUNE_BIN_DIR "/libwireless.so";
constexpr char kExecutable[] = KESTRUNE_BIN_DIR "/kestrune";

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A version query that fails after writing into the pair.
class HalfFilledVersion : public SimSystemInfo {
 public:
  bool GetVersion(std::uint32_t& major, std::uint32_t& minor) override {
    major = 5, minor = 1;
    return false;
  }
};

}  // namespace

TEST(NetUtil, WindowsVersionNames) {
  struct Case {
    std::uint32_t major, minor;
    bool queryWorks;
    std::optional<bool> wow64;
    const char* name;
  };
  const Case cases[] = {
      {5, 0, true, false, "win2000"},  {5, 1, true, false, "winxp"},   {5, 2, true, false, "win2003"},
      {6, 0, true, false, "vista"},    {6, 1, true, false, "win7"},    {5, 1, true, true, "winxp64"},
      {5, 2, true, true, "win200364"}, {6, 1, true, true, "win764"},   {6, 2, true, false, ""},
      {10, 0, true, true, "64"},       {5, 3, true, false, ""},        {0, 1, true, false, ""},
      {5, 1, false, false, ""},        {5, 1, false, true, "64"},      {5, 1, true, std::nullopt, "winxp"},
  };
  for (const auto& c : cases) {
    SimSystemInfo system;
    system.SetVersion(c.major, c.minor, c.queryWorks);
    system.SetWow64(c.wow64);
    EXPECT_EQ(GetWindowsVersionName(system), c.name)
        << c.major << "." << c.minor << " works=" << c.queryWorks << " wow64=" << c.wow64.value_or(false);
  }
  // A failed query counts as version 0.0 whatever it left behind.
  HalfFilledVersion failing;
  EXPECT_EQ(GetWindowsVersionName(failing), "");
  // Linux reports no version of the family; a 64-bit build is no WOW64 process.
  LinuxSystemInfo linuxSystem;
  if (sizeof(void*) == 8) {
    EXPECT_EQ(GetWindowsVersionName(linuxSystem), "");
  }
}

TEST(NetUtil, FileVersionTexts) {
  TempDir dir;
  const fs::path pe = dir.Path() / "setup.exe";
  WriteAll(pe, kestrune::testing::PeBuilder::Build({.file = {2, 0, 1, 15}, .product = {2, 0, 0, 0}}));
  const fs::path text = dir.Path() / "readme.txt";
  WriteAll(text, {'h', 'i', '\n'});

  SimSystemInfo sim;
  sim.SetFileVersion("/sim/app.exe", FileVersionNumbers{1, 0, 0, 15});
  sim.SetFileVersion("/sim/big.exe", FileVersionNumbers{10, 200, 3000, 65535});
  sim.SetFileVersion("/sim/zero.exe", FileVersionNumbers{0, 0, 0, 0});
  sim.SetFileVersion(pe.string(), std::nullopt);  // the scenario says: no version
  EXPECT_EQ(GetFileVersionText(sim, "/sim/app.exe"), "1.0.0.15");
  EXPECT_EQ(GetFileVersionText(sim, "/sim/big.exe"), "10.200.3000.65535");
  EXPECT_EQ(GetFileVersionText(sim, "/sim/zero.exe"), "0.0.0.0");
  EXPECT_EQ(GetFileVersionText(sim, pe.string()), "");
  sim.ClearFileVersion(pe.string());
  EXPECT_EQ(GetFileVersionText(sim, pe.string()), "2.0.1.15");  // now the real file's

  LinuxSystemInfo real;
  EXPECT_EQ(GetFileVersionText(real, pe.string()), "2.0.1.15");
  EXPECT_EQ(GetFileVersionText(real, text.string()), "");
  EXPECT_EQ(GetFileVersionText(real, (dir.Path() / "missing.exe").string()), "");
  EXPECT_EQ(GetFileVersionText(real, "/proc/self/exe"), "");  // an ELF file without our note
  EXPECT_EQ(GetFileVersionText(real, kLibrary), "1.0.0.1");
  EXPECT_EQ(GetFileVersionText(sim, kLibrary), "1.0.0.1");
}

TEST(NetUtil, ExecutableCarriesTheVersionToo) {
  if (!fs::exists(kExecutable)) GTEST_SKIP() << "the executable is not built in this tree";
  LinuxSystemInfo real;
  EXPECT_EQ(GetFileVersionText(real, kExecutable), "1.0.0.1");
}

// The built library, cut short and with bits flipped: the note is found exactly
// when the file still holds it, and no variant reads out of bounds.
TEST(NetUtil, DamagedLibraryReadsSafely) {
  auto bytes = ReadAll(kLibrary);
  ASSERT_GT(bytes.size(), 4096u);
  static constexpr char kName[] = "KESTRUNE\0\0\0";
  const auto name = std::search(bytes.begin(), bytes.end(), kName, kName + 12);
  ASSERT_NE(name, bytes.end());
  const std::size_t noteEnd = static_cast<std::size_t>(name - bytes.begin()) + 12 + 16;
  ASSERT_LT(noteEnd, 64u * 1024);

  for (std::size_t n = 0; n <= noteEnd + 64; ++n) {
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    const auto v = ReadFileVersion(MemoryByteSource(cut));
    if (n < noteEnd)
      ASSERT_EQ(v, std::nullopt) << n;
    else
      ASSERT_EQ(v, (FileVersionNumbers{1, 0, 0, 1})) << n;
  }

  // Flip bits in place (and back): in the headers and notes, in the section
  // header table at the end, and anywhere.
  std::uint64_t shoff = 0;
  std::memcpy(&shoff, &bytes[0x28], sizeof shoff);
  std::mt19937 rng(1210);
  for (int round = 0; round < 6000; ++round) {
    std::size_t at = 0;
    switch (round % 3) {
      case 0: at = rng() % (noteEnd + 64); break;
      case 1: at = shoff < bytes.size() ? shoff + rng() % (bytes.size() - shoff) : rng() % bytes.size(); break;
      default: at = rng() % bytes.size();
    }
    const auto mask = static_cast<std::uint8_t>(1u << (rng() % 8));
    bytes[at] ^= mask;
    (void)ReadFileVersion(MemoryByteSource(bytes));
    bytes[at] ^= mask;
  }
  EXPECT_EQ(ReadFileVersion(MemoryByteSource(bytes)), (FileVersionNumbers{1, 0, 0, 1}));
}

// The Run key on both backends: the simulated machine's registry and the XDG
// autostart folder of the Linux platform.
class AutoRun : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "sim") {
      sim_ = std::make_unique<SimMachine>();
      registry_ = &sim_->Registry();
    } else {
      env_ = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", dir_.Path().string());
      linux_ = CreatePlatform("linux");
      registry_ = linux_->Get().registry;
    }
  }

  void TearDown() override {
    std::error_code ec;
    if (IsLinux() && fs::is_directory(Folder(), ec))
      fs::permissions(Folder(), fs::perms::owner_all, fs::perm_options::add, ec);
  }

  bool IsLinux() const { return GetParam() == "linux"; }
  fs::path Folder() const { return dir_.Path() / "autostart"; }

  // name=data of every value under the Run key, in name order.
  std::vector<std::string> Values() {
    auto key = registry_->OpenKey(HKEY_LOCAL_MACHINE, kRunKey, RegistryAccess::Read, false);
    std::vector<std::string> out;
    if (!key) return out;
    for (const auto& n : key->GetValueNames()) out.push_back(n + "=" + key->ReadString(n));
    std::sort(out.begin(), out.end());
    return out;
  }

  // Makes the Run key impossible to open with full access.
  bool Lock() {
    if (!IsLinux()) {
      sim_->Registry().DenyAccess(HKEY_LOCAL_MACHINE, kRunKey, RegistryAccess::Full);
      return true;
    }
    if (geteuid() == 0) return false;  // root writes anywhere
    fs::permissions(Folder(), fs::perms::owner_read | fs::perms::owner_exec);
    return true;
  }

  TempDir dir_;
  std::unique_ptr<ScopedEnv> env_;
  std::unique_ptr<SimMachine> sim_;
  std::unique_ptr<PlatformHolder> linux_;
  IRegistry* registry_ = nullptr;
};

TEST_P(AutoRun, WritingTwiceKeepsOneValueWithTheLatestPath) {
  SetAutoRun(*registry_, "/opt/kestrune/kestrune", "KESTRUNE");
  SetAutoRun(*registry_, "/home/user/My Programs/kestrune", "KESTRUNE");
  EXPECT_EQ(Values(), (std::vector<std::string>{"KESTRUNE=/home/user/My Programs/kestrune"}));
  if (IsLinux()) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(Folder())) files.push_back(e.path().filename().string());
    EXPECT_EQ(files, (std::vector<std::string>{"KESTRUNE.desktop"}));
  }
  RemoveAutoRun(*registry_, "KESTRUNE");
  EXPECT_EQ(Values(), std::vector<std::string>{});
}

TEST_P(AutoRun, RemovingAMissingValueChangesNothing) {
  SetAutoRun(*registry_, "/usr/bin/other", "Other");
  const auto before = Values();
  EXPECT_NO_THROW(RemoveAutoRun(*registry_, "KESTRUNE"));
  EXPECT_EQ(Values(), before);
  EXPECT_EQ(before, (std::vector<std::string>{"Other=/usr/bin/other"}));
}

TEST_P(AutoRun, AKeyThatCannotBeOpenedChangesNothingAndReportsNothing) {
  SetAutoRun(*registry_, "/opt/old/kestrune", "KESTRUNE");
  if (!Lock()) GTEST_SKIP() << "permissions do not bind this user";
  EXPECT_NO_THROW(SetAutoRun(*registry_, "/opt/new/kestrune", "KESTRUNE"));
  EXPECT_NO_THROW(RemoveAutoRun(*registry_, "KESTRUNE"));
  EXPECT_EQ(Values(), (std::vector<std::string>{"KESTRUNE=/opt/old/kestrune"}));
}

TEST_P(AutoRun, AFolderThatCannotBeMadeChangesNothingAndReportsNothing) {
  if (!IsLinux()) {
    sim_->Registry().DenyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                RegistryAccess::Full);
  } else {
    WriteAll(Folder(), {'x'});  // a file where the folder belongs
  }
  EXPECT_NO_THROW(SetAutoRun(*registry_, "/opt/kestrune/kestrune", "KESTRUNE"));
  EXPECT_NO_THROW(RemoveAutoRun(*registry_, "KESTRUNE"));
  EXPECT_EQ(Values(), std::vector<std::string>{});
  if (IsLinux()) {
    EXPECT_EQ(ReadAll(Folder().string()), (std::vector<std::uint8_t>{'x'}));
  }
}

TEST_P(AutoRun, AValueThatCannotBeWrittenRaisesTheRegistryError) {
  if (!IsLinux())
    sim_->Registry().SetReadOnly(HKEY_LOCAL_MACHINE, kRunKey);
  else
    fs::create_directories(Folder() / "KESTRUNE.desktop");  // a folder where the entry belongs
  try {
    SetAutoRun(*registry_, "/opt/kestrune/kestrune", "KESTRUNE");
    FAIL() << "no error";
  } catch (const kestrune::ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'KESTRUNE'");
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, AutoRun, ::testing::Values("sim", "linux"),
                         [](const auto& info) { return info.param; });
