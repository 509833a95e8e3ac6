#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "fixtures/ScopedEnv.h"
#include "platform/Internet.h"
#include "platform/IpHelper.h"
#include "platform/NetSharing.h"
#include "platform/Platform.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/sim/SimMachine.h"

using namespace kestrune::platform;

namespace {

void ExpectComplete(const Platform& p) {
  EXPECT_NE(p.internet, nullptr);
  EXPECT_NE(p.system, nullptr);
  EXPECT_NE(p.registry, nullptr);
  EXPECT_NE(p.ipHelper, nullptr);
  EXPECT_NE(p.netSharing, nullptr);
  EXPECT_NE(p.com, nullptr);
}

}  // namespace

TEST(PlatformFactory, ChoosesByNameThenEnvironmentThenLinux) {
  {
    ScopedEnv env("KESTRUNE_PLATFORM", "sim");
    EXPECT_EQ(CreatePlatform()->Name(), "sim");
    EXPECT_EQ(CreatePlatform("linux")->Name(), "linux");  // an explicit name wins
  }
  {
    ScopedEnv env("KESTRUNE_PLATFORM", nullptr);
    EXPECT_EQ(CreatePlatform()->Name(), "linux");
  }
  {
    ScopedEnv env("KESTRUNE_PLATFORM", "windows");
    EXPECT_THROW(CreatePlatform(), std::invalid_argument);
  }
}

TEST(PlatformFactory, BundlesAreComplete) {
  ExpectComplete(CreatePlatform("sim")->Get());
  ExpectComplete(CreatePlatform("linux")->Get());
}

TEST(PlatformFactory, TheLinuxRegistryHoldsTheNetworkKeys) {
  auto holder = CreatePlatform("linux");
  auto key = holder->Get().registry->OpenKey(HKEY_LOCAL_MACHINE, kNetworkClassKey, RegistryAccess::Read, false);
  ASSERT_TRUE(key);
  for (const auto& guid : key->GetKeyNames()) EXPECT_TRUE(StringToGuid(guid)) << guid;
  EXPECT_FALSE(holder->Get().registry->OpenKey(HKEY_LOCAL_MACHINE, "SYSTEM\\Elsewhere", RegistryAccess::Read, false));
}

TEST(PlatformFactory, DefaultScenarioIsTheDemoLaptop) {
  auto holder = CreatePlatform("sim");
  const Platform& p = holder->Get();

  std::vector<IpAdapterInfo> adapters;
  std::uint32_t size = 64 * 1024;
  ASSERT_EQ(p.ipHelper->GetAdaptersInfo(&adapters, size), NO_ERROR);
  ASSERT_EQ(adapters.size(), 2u);

  std::uint32_t state = 0;
  ASSERT_TRUE(p.internet->QueryConnectedState(state));
  EXPECT_EQ(state & INTERNET_STATE_DISCONNECTED, 0u);
  EXPECT_TRUE(p.internet->CheckConnection("http://probe.invalid", FLAG_ICC_FORCE_CONNECTION));
  // The simulated program's files are where the real program's are: beside the executable.
  EXPECT_EQ(p.system->ExecutablePath(), RunningExecutablePath());
}

TEST(PlatformFactory, EmptyMachineHasNoAdapter) {
  SimMachine machine;
  std::vector<IpAdapterInfo> adapters;
  std::uint32_t size = 5120;
  EXPECT_EQ(machine.Get().ipHelper->GetAdaptersInfo(&adapters, size), ERROR_NO_DATA);
}

TEST(SystemInfo, DirectoryOfKeepsTrailingSeparator) {
  EXPECT_EQ(DirectoryOf("/opt/kestrune/kestrune"), "/opt/kestrune/");
  EXPECT_EQ(DirectoryOf("/kestrune"), "/");
  EXPECT_EQ(DirectoryOf("kestrune"), "./");
}
