#include "platform/SystemInfo.h"

namespace kestrune::platform {

std::string DirectoryOf(const std::string& path) {
  const auto pos = path.find_last_of('/');
  if (pos == std::string::npos) return "./";
  return path.substr(0, pos + 1);
}

}  // namespace kestrune::platform
