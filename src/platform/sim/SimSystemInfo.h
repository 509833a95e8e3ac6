#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/SystemInfo.h"

namespace kestrune::platform {

// The simulated computer's version, WOW64 state and executable location.
class SimSystemInfo : public ISystemInfo {
 public:
  SimSystemInfo();

  bool GetVersion(std::uint32_t& major, std::uint32_t& minor) override;
  std::optional<bool> IsWow64Process() override;
  std::string ExecutablePath() override;
  // The scenario's version for the path when it gives one, else the real file's.
  std::optional<FileVersionNumbers> FileVersion(const std::string& path) override;

  // A failing version query reports false and leaves the pair alone.
  void SetVersion(std::uint32_t major, std::uint32_t minor, bool queryWorks = true);
  void SetWow64(std::optional<bool> value);
  // Lets a test put the program's files (branding, settings) in a folder of its own.
  void SetExecutablePath(std::string path);
  // nullopt makes the file one without a version, whatever it holds.
  void SetFileVersion(const std::string& path, std::optional<FileVersionNumbers> version);
  void ClearFileVersion(const std::string& path);

 private:
  mutable std::mutex mutex_;
  std::uint32_t major_ = 6;
  std::uint32_t minor_ = 1;
  bool versionWorks_ = true;
  std::optional<bool> wow64_ = false;
  std::string executablePath_;
  std::map<std::string, std::optional<FileVersionNumbers>> fileVersions_;
};

}  // namespace kestrune::platform
