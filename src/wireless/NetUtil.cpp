#include "wireless/NetUtil.h"

#include <cstdint>

namespace platform = kestrune::platform;

std::string GetWindowsVersionName(platform::ISystemInfo& system) {
  std::uint32_t major = 0, minor = 0;
  if (!system.GetVersion(major, minor)) major = minor = 0;  // a failed query may have half-filled the pair
  std::string name;
  if (major == 5 && minor == 0) name = "win2000";
  else if (major == 5 && minor == 1) name = "winxp";
  else if (major == 5 && minor == 2) name = "win2003";
  else if (major == 6 && minor == 0) name = "vista";
  else if (major == 6 && minor == 1) name = "win7";
  if (system.IsWow64Process().value_or(false)) name += "64";
  return name;
}

std::string GetFileVersionText(platform::ISystemInfo& system, const std::string& fileName) {
  const auto version = system.FileVersion(fileName);
  if (!version) return {};
  std::string text;
  for (std::size_t i = 0; i < version->size(); ++i) {
    if (i != 0) text += '.';
    text += std::to_string((*version)[i]);
  }
  return text;
}

void SetAutoRun(platform::IRegistry& registry, const std::string& value, const std::string& name) {
  const auto key = registry.OpenKey(platform::HKEY_LOCAL_MACHINE, platform::kRunKey, platform::RegistryAccess::Full,
                                    true);
  if (!key) return;
  key->WriteString(name, value);
}

void RemoveAutoRun(platform::IRegistry& registry, const std::string& name) {
  const auto key = registry.OpenKey(platform::HKEY_LOCAL_MACHINE, platform::kRunKey, platform::RegistryAccess::Full,
                                    true);
  if (!key) return;
  key->DeleteValue(name);
}
