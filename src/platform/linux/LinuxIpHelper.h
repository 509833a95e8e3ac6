#pragma once
// The IP helper on Linux: the adapters are the kernel's network interfaces
// (loopback excluded), named by the GUID the registry uses for them too.
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IpHelper.h"

namespace kestrune::platform {

// The IPv4 side of the interfaces, by interface name.
struct KernelIpv4 {
  std::map<std::string, std::vector<IpAddrString>> addresses;
  std::map<std::string, std::vector<std::string>> gateways;
  std::set<std::string> dhcp;  // interfaces whose addresses were leased
};

class LinuxIpHelper : public IIpHelper {
 public:
  using Ipv4Source = std::function<KernelIpv4()>;

  // sysfsRoot: "/sys", or a fake tree in tests. An empty source reads the
  // running kernel (getifaddrs, the routing table, address lifetimes).
  explicit LinuxIpHelper(std::filesystem::path sysfsRoot = "/sys", Ipv4Source source = {});

  std::uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>* adapters, std::uint32_t& size) override;
  std::uint32_t GetIfTable(MibIfTable* table, std::uint32_t& size, bool order) override;

 private:
  std::filesystem::path sysfsRoot_;
  Ipv4Source source_;
};

// The running kernel's IPv4 addresses, default gateways and leased addresses.
KernelIpv4 ReadKernelIpv4(const std::filesystem::path& procRoot = "/proc");
// Default gateways by interface from the text of /proc/net/route.
std::map<std::string, std::vector<std::string>> ParseProcNetRoute(std::string_view text);

}  // namespace kestrune::platform
