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

std::optional<FileVersionNumbers> SimSystemInfo::FileVersion(const std::string& path) {
  {
    std::lock_guard lock(mutex_);
    const auto it = fileVersions_.find(path);
    if (it != fileVersions_.end()) return it->second;
  }
  return ISystemInfo::FileVersion(path);
}

void SimSystemInfo::SetFileVersion(const std::string& path, std::optional<FileVersionNumbers> version) {
  std::lock_guard lock(mutex_);
  fileVersions_[path] = version;
}

void SimSystemInfo::ClearFileVersion(const std::string& path) {
  std::lock_guard lock(mutex_);
  fileVersions_.erase(path);
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
