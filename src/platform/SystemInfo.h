#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/FileVersion.h"

namespace kestrune::platform {

class ISystemInfo {
 public:
  virtual ~ISystemInfo() = default;
  // The OS version pair; false when the query fails.
  virtual bool GetVersion(std::uint32_t& major, std::uint32_t& minor) = 0;
  // Whether this process runs as a 32-bit process on a 64-bit system;
  // nullopt when the system has no such query.
  virtual std::optional<bool> IsWow64Process() = 0;
  // Full path of the running executable.
  virtual std::string ExecutablePath() = 0;
  // The file's four-part version; nullopt when the file is missing or carries
  // none. Reads the file itself unless a backend knows better.
  virtual std::optional<FileVersionNumbers> FileVersion(const std::string& path);
};

// The running executable's full path, or empty when unknown.
std::string RunningExecutablePath();

// Directory of a path, with a trailing separator.
std::string DirectoryOf(const std::string& path);

}  // namespace kestrune::platform
