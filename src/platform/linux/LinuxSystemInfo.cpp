#include "platform/linux/LinuxSystemInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>

namespace kestrune::platform {

bool LinuxSystemInfo::GetVersion(std::uint32_t&, std::uint32_t&) { return false; }

std::optional<bool> LinuxSystemInfo::IsWow64Process() {
  if constexpr (sizeof(void*) == 8) return false;
  utsname u{};
  if (uname(&u) != 0) return std::nullopt;
  return std::strcmp(u.machine, "x86_64") == 0 || std::strcmp(u.machine, "aarch64") == 0;
}

std::string LinuxSystemInfo::ExecutablePath() { return RunningExecutablePath(); }

}  // namespace kestrune::platform
