#pragma once
#include "platform/SystemInfo.h"

namespace kestrune::platform {

class LinuxSystemInfo : public ISystemInfo {
 public:
  // A Linux kernel has no version of the Windows family: the query reports none.
  bool GetVersion(std::uint32_t& major, std::uint32_t& minor) override;
  // True only for a 32-bit build running on a 64-bit kernel.
  std::optional<bool> IsWow64Process() override;
  std::string ExecutablePath() override;
};

}  // namespace kestrune::platform
