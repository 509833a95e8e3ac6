#pragma once
// Building networks on the simulated machine: one call puts an adapter into
// the IP helper's chain and interface table, its connection key into the
// registry and its connection into the sharing manager.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/IpHelper.h"
#include "platform/NetSharing.h"

namespace kestrune::platform {

class SimRegistry;
class SimIpHelper;
class SimNetSharing;

struct SimAdapter {
  static std::vector<std::uint8_t> DefaultMac();

  std::string guid;           // braced GUID text, upper case
  std::string connectionName;  // "Local Area Connection"
  std::string deviceName;      // the adapter's description and the connection's device name
  std::optional<std::string> pnpInstanceId = std::string("PCI\\VEN_8086&DEV_100E\\3&267A616A&0&18");
  std::optional<std::uint32_t> mediaSubType = 1u;
  std::uint32_t ifIndex = 0;  // 0: the next free index from 2 up
  std::vector<std::uint8_t> mac = DefaultMac();
  std::uint32_t type = MIB_IF_TYPE_ETHERNET;
  bool dhcp = true;
  std::vector<std::pair<std::string, std::string>> addresses;  // address, mask
  std::vector<std::string> gateways;
  std::optional<std::uint32_t> operStatus = MIB_IF_OPER_STATUS_OPERATIONAL;  // nullopt: no table row
  NETCON_STATUS status = NCS_CONNECTED;
  NETCON_MEDIATYPE mediaType = NCM_LAN;
  bool inAdapterChain = true;  // false: no IPv4 adapter for this connection
  bool inSharing = true;       // false: the sharing manager does not know it
};

class SimNetworkBuilder {
 public:
  SimNetworkBuilder(SimRegistry& registry, SimIpHelper& ipHelper, SimNetSharing& sharing);

  // Returns the interface index used.
  std::uint32_t Add(const SimAdapter& adapter);

  // A GUID text that differs for each n.
  static std::string GuidFor(int n);

 private:
  SimRegistry& registry_;
  SimIpHelper& ipHelper_;
  SimNetSharing& sharing_;
  std::uint32_t nextIndex_ = 2;
};

// The record of an adapter as the IP helper reports it (no registry or sharing side).
IpAdapterInfo MakeAdapterInfo(const SimAdapter& adapter, std::uint32_t ifIndex);

inline constexpr const char* kDefaultWiredGuid = "{4F1B7D52-9A3C-4E8B-B6D1-2C5E8F0A3B71}";
inline constexpr const char* kDefaultWirelessGuid = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";

// The laptop of the demo: a connected wired PCI Ethernet connection and a
// USB Wi-Fi adapter that is associated with no network.
void AddDefaultNetworkScenario(SimRegistry& registry, SimIpHelper& ipHelper, SimNetSharing& sharing);

}  // namespace kestrune::platform
