#include "platform/sim/SimNetworkScenario.h"

#include <algorithm>
#include <cstdio>

#include "platform/Registry.h"
#include "platform/sim/SimIpHelper.h"
#include "platform/sim/SimNetSharing.h"
#include "platform/sim/SimRegistry.h"

namespace kestrune::platform {

std::vector<std::uint8_t> SimAdapter::DefaultMac() { return {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}; }

IpAdapterInfo MakeAdapterInfo(const SimAdapter& a, std::uint32_t ifIndex) {
  IpAdapterInfo info;
  info.AdapterName = a.guid;
  info.Description = a.deviceName;
  info.AddressLength = static_cast<std::uint32_t>(std::min<std::size_t>(a.mac.size(), MAX_ADAPTER_ADDRESS_LENGTH));
  std::copy_n(a.mac.begin(), info.AddressLength, info.Address.begin());
  info.Index = ifIndex;
  info.Type = a.type;
  info.DhcpEnabled = a.dhcp ? 1 : 0;
  for (const auto& [address, mask] : a.addresses) info.IpAddressList.push_back(IpAddrString{address, mask});
  for (const auto& g : a.gateways) info.GatewayList.push_back(IpAddrString{g, {}});
  return info;
}

SimNetworkBuilder::SimNetworkBuilder(SimRegistry& registry, SimIpHelper& ipHelper, SimNetSharing& sharing)
    : registry_(registry), ipHelper_(ipHelper), sharing_(sharing) {}

std::uint32_t SimNetworkBuilder::Add(const SimAdapter& a) {
  const std::uint32_t index = a.ifIndex != 0 ? a.ifIndex : nextIndex_;
  nextIndex_ = std::max(nextIndex_, index + 1);
  const std::string key = NetworkConnectionKeyPath(a.guid);
  registry_.CreateKey(HKEY_LOCAL_MACHINE, key);
  registry_.SetString(HKEY_LOCAL_MACHINE, key, "Name", a.connectionName);
  if (a.pnpInstanceId) registry_.SetString(HKEY_LOCAL_MACHINE, key, "PnpInstanceID", *a.pnpInstanceId);
  if (a.mediaSubType) registry_.SetDWord(HKEY_LOCAL_MACHINE, key, "MediaSubType", *a.mediaSubType);
  if (a.inAdapterChain) ipHelper_.AddAdapter(MakeAdapterInfo(a, index), a.operStatus);
  if (a.inSharing)
    sharing_.AddConnection(SimConnection{a.guid, a.connectionName, a.deviceName, a.status, a.mediaType,
                                         SimSharingRole::None, {}});
  return index;
}

std::string SimNetworkBuilder::GuidFor(int n) {
  char buf[39];
  std::snprintf(buf, sizeof buf, "{%08X-0000-4000-8000-%012X}", static_cast<unsigned>(0x5EED0000u + n),
                static_cast<unsigned>(n));
  return buf;
}

void AddDefaultNetworkScenario(SimRegistry& registry, SimIpHelper& ipHelper, SimNetSharing& sharing) {
  SimNetworkBuilder builder(registry, ipHelper, sharing);

  SimAdapter wired;
  wired.guid = kDefaultWiredGuid;
  wired.connectionName = "Local Area Connection";
  wired.deviceName = "Intel(R) PRO/1000 MT Network Connection";
  wired.pnpInstanceId = "PCI\\VEN_8086&DEV_100E&SUBSYS_001E8086&REV_02\\3&267A616A&0&18";
  wired.mediaSubType = 1;
  wired.ifIndex = 2;
  wired.mac = {0x00, 0x0C, 0x29, 0x4A, 0x7B, 0x1E};
  wired.dhcp = true;
  wired.addresses = {{"192.168.1.23", "255.255.255.0"}};
  wired.gateways = {"192.168.1.1"};
  wired.operStatus = MIB_IF_OPER_STATUS_OPERATIONAL;
  wired.status = NCS_CONNECTED;
  builder.Add(wired);

  SimAdapter wireless;
  wireless.guid = kDefaultWirelessGuid;
  wireless.connectionName = "Wireless Network Connection";
  wireless.deviceName = "USB 802.11n Wireless LAN Adapter";
  wireless.pnpInstanceId = "USB\\VID_0BDA&PID_8176\\00E04C000001";
  wireless.mediaSubType = 2;
  wireless.ifIndex = 3;
  wireless.type = IF_TYPE_IEEE80211;
  wireless.mac = {0x00, 0xE0, 0x4C, 0x81, 0x76, 0x01};
  wireless.dhcp = true;
  // Not associated: the platform reports the null address until it is.
  wireless.addresses = {{"0.0.0.0", "0.0.0.0"}};
  wireless.gateways = {};
  wireless.operStatus = MIB_IF_OPER_STATUS_DISCONNECTED;
  wireless.status = NCS_MEDIA_DISCONNECTED;
  builder.Add(wireless);
}

}  // namespace kestrune::platform
