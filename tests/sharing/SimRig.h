#pragma once
// A simulated computer for the sharing tests, with direct handles on the
// facilities the tests drive and a builder for its networks.
#include <cstdint>
#include <string>
#include <vector>

#include "core/StringList.h"
#include "platform/Platform.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimNetworkScenario.h"

struct SimRig {
  kestrune::platform::SimMachine machine;  // an empty computer
  kestrune::platform::SimRegistry& registry = machine.Registry();
  kestrune::platform::SimIpHelper& ipHelper = machine.IpHelper();
  kestrune::platform::SimNetSharing& sharing = machine.NetSharing();
  kestrune::platform::SimCom& com = machine.Com();
  kestrune::platform::SimNetworkBuilder builder{registry, ipHelper, sharing};

  kestrune::platform::Platform Bundle() const { return machine.Get(); }

  // A connected wired PCI adapter with one address, numbered n.
  static kestrune::platform::SimAdapter Wired(int n) {
    kestrune::platform::SimAdapter a;
    a.guid = kestrune::platform::SimNetworkBuilder::GuidFor(n);
    a.connectionName = "Local Area Connection " + std::to_string(n);
    a.deviceName = "Ethernet Adapter #" + std::to_string(n);
    a.pnpInstanceId = "PCI\\VEN_8086&DEV_100E\\" + std::to_string(n);
    a.mediaSubType = 1;
    a.mac = {0x02, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
    a.addresses = {{"10.0." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1), "255.255.255.0"}};
    a.gateways = {"10.0.0.254"};
    return a;
  }

  // A USB Wi-Fi adapter numbered n, its connection not associated.
  static kestrune::platform::SimAdapter Wireless(int n) {
    auto a = Wired(n);
    a.connectionName = "Wireless Network Connection " + std::to_string(n);
    a.deviceName = "USB Wireless LAN Adapter #" + std::to_string(n);
    a.pnpInstanceId = "USB\\VID_0BDA&PID_8176\\" + std::to_string(n);
    a.mediaSubType = 2;
    a.type = kestrune::platform::IF_TYPE_IEEE80211;
    a.status = kestrune::platform::NCS_MEDIA_DISCONNECTED;
    return a;
  }
};

// The strings of a list, to compare as a whole.
inline std::vector<std::string> Lines(const kestrune::TStringList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}
