#pragma once
// Reachability from the real machine: the connected state from the kernel's
// routing tables, the forced connection check as an HTTP request.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Internet.h"

namespace kestrune::platform {

class LinuxInternet : public IInternet {
 public:
  static constexpr std::chrono::milliseconds kDefaultConnectTimeout{10000};
  static constexpr std::chrono::milliseconds kDefaultTotalTimeout{20000};
  // What GetConnectedState reports for a connection: a LAN.
  static constexpr std::uint32_t kConnectionLan = 0x02;

  // The roots are where procfs and sysfs are mounted; tests pass a fake tree.
  explicit LinuxInternet(std::string procRoot = "/proc", std::string sysRoot = "/sys");

  // False only when no routing table can be read at all.
  bool QueryConnectedState(std::uint32_t& state) override;
  // Any HTTP answer counts; no answer within the time-outs does not.
  bool CheckConnection(const std::string& url, std::uint32_t flags) override;
  // True when a default route leaves through an interface that is up.
  bool GetConnectedState(std::uint32_t& flags) override;

  void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total);

  // Interfaces carrying a usable default route in the text of /proc/net/route
  // or /proc/net/ipv6_route; malformed lines are skipped.
  static std::vector<std::string> Ipv4DefaultRouteInterfaces(std::string_view table);
  static std::vector<std::string> Ipv6DefaultRouteInterfaces(std::string_view table);
  // Whether sysfs shows the interface up.
  bool InterfaceIsUp(const std::string& name) const;

 private:
  enum class Route { Unknown, None, Up };
  Route DefaultRoute() const;

  const std::string procRoot_;
  const std::string sysRoot_;
  std::chrono::milliseconds connectTimeout_ = kDefaultConnectTimeout;
  std::chrono::milliseconds totalTimeout_ = kDefaultTotalTimeout;
};

}  // namespace kestrune::platform
