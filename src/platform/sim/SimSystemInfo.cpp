#include "platform/sim/SimSystemInfo.h"

namespace kestrune::platform {

SimSystemInfo::SimSystemInfo() : executablePath_(RunningExecutablePath()) {}

bool SimSystemInfo::GetVersion(std::uint32_t& major, std::uint32_t& minor) {
  std::lock_guard lock(mutex_);
  if (!versionWorks_) return false;
  major = major_;
  minor = minor_;
  return true;
}

std::optional<bool> SimSystemInfo::IsWow64Process() {
  std::lock_guard lock(mutex_);
  return wow64_;
}

std::string SimSystemInfo::ExecutablePath() {
  std::lock_guard lock(mutex_);
  return executablePath_;
}

void SimSystemInfo::SetVersion(std::uint32_t major, std::uint32_t minor, bool queryWorks) {
  std::lock_guard lock(mutex_);
  major_ = major;
  minor_ = minor;
  versionWorks_ = queryWorks;
}

void SimSystemInfo::SetWow64(std::optional<bool> value) {
  std::lock_guard lock(mutex_);
  wow64_ = value;
}

void SimSystemInfo::SetExecutablePath(std::string path) {
  std::lock_guard lock(mutex_);
  executablePath_ = std::move(path);
}

}  // namespace kestrune::platform
