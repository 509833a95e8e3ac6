#include "platform/IpHelper.h"

namespace kestrune::platform {

namespace {

std::uint32_t ChainExtra(const std::vector<IpAddrString>& chain) {
  return chain.size() > 1 ? static_cast<std::uint32_t>(chain.size() - 1) * kAddrStringRecordSize : 0;
}

}  // namespace

std::uint32_t AdapterInfoBufferSize(const std::vector<IpAdapterInfo>& adapters) {
  std::uint64_t total = 0;
  for (const auto& a : adapters)
    total += kAdapterInfoRecordSize + ChainExtra(a.IpAddressList) + ChainExtra(a.GatewayList);
  return total > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(total);
}

std::uint32_t IfTableBufferSize(std::size_t rows) {
  const std::uint64_t total = kIfTableHeaderSize + static_cast<std::uint64_t>(rows) * kIfRowRecordSize;
  return total > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(total);
}

std::string SysErrorMessage(std::uint32_t code) {
  switch (code) {
    case 0: return "The operation completed successfully";
    case 2: return "The system cannot find the file specified";
    case 5: return "Access is denied";
    case 8: return "Not enough storage is available to process this command";
    case 31: return "A device attached to the system is not functioning";
    case ERROR_NOT_SUPPORTED: return "The request is not supported";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect";
    case ERROR_BUFFER_OVERFLOW: return "The file name is too long";
    case ERROR_INSUFFICIENT_BUFFER: return "The data area passed to a system call is too small";
    case ERROR_NO_DATA: return "The pipe is being closed";
    case 1060: return "The specified service does not exist as an installed service";
    case 1062: return "The service has not been started";
    default: return "Unknown error " + std::to_string(code);
  }
}

}  // namespace kestrune::platform
