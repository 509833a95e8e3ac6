// Any bytes as /proc/net/route, /proc/net/ipv6_route and a sysfs address text.
// Names that come out become sysfs path parts, so they must be plain names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/LinuxInternet.h"
#include "platform/linux/LinuxNetSysfs.h"

namespace {

void CheckNames(const std::vector<std::string>& names) {
  for (const auto& n : names) {
    if (n.empty() || n.size() > 15 || n == "." || n == ".." || n == "lo") __builtin_trap();
    for (const char c : n)
      if (c == '/' || c == '\0' || c == ' ' || c == '\t' || c == '\n') __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kestrune::platform::LinuxInternet;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckNames(LinuxInternet::Ipv4DefaultRouteInterfaces(text));
  CheckNames(LinuxInternet::Ipv6DefaultRouteInterfaces(text));

  const auto mac = kestrune::platform::linuxnet::ParseMac(text);
  if (!mac.empty() && text.size() != mac.size() * 3 - 1) __builtin_trap();
  (void)kestrune::platform::linuxnet::NameBasedGuid(text);
  return 0;
}
