#include "platform/SystemInfo.h"

#include <unistd.h>

#include <vector>

namespace kestrune::platform {

std::optional<FileVersionNumbers> ISystemInfo::FileVersion(const std::string& path) { return ReadFileVersion(path); }

std::string RunningExecutablePath() {
  std::vector<char> buf(4096);
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string DirectoryOf(const std::string& path) {
  const auto pos = path.find_last_of('/');
  if (pos == std::string::npos) return "./";
  return path.substr(0, pos + 1);
}

}  // namespace kestrune::platform
