#include "core/Errors.h"

namespace kestrune {

std::string FormatOSErrorMessage(std::uint32_t code, const std::string& systemText) {
  // The code is shown the way the platform shows it: as a signed 32-bit number.
  return "System Error.  Code: " + std::to_string(static_cast<std::int32_t>(code)) + ".\r\n" + systemText;
}

EOSError::EOSError(std::uint32_t code, const std::string& systemText)
    : std::runtime_error(FormatOSErrorMessage(code, systemText)), code_(code) {}

std::string FormatWith(const std::string& pattern, const std::string& value) {
  const auto pos = pattern.find("%s");
  if (pos == std::string::npos) return pattern;
  return pattern.substr(0, pos) + value + pattern.substr(pos + 2);
}

}  // namespace kestrune
