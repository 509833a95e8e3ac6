#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kestrune {

// A failed system call: the platform's error code and its system text.
class EOSError : public std::runtime_error {
 public:
  EOSError(std::uint32_t code, const std::string& systemText);
  std::uint32_t ErrorCode() const { return code_; }

 private:
  std::uint32_t code_;
};

// "System Error.  Code: %d.\r\n%s"
std::string FormatOSErrorMessage(std::uint32_t code, const std::string& systemText);

class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// printf-style single "%s" substitution used by the registry and file errors.
std::string FormatWith(const std::string& pattern, const std::string& value);

}  // namespace kestrune
