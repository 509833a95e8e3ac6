#pragma once
// One simulated computer: every facility of the platform bundle, coherent with
// each other. Tests build scenarios on it in C++; the demo runs the default.
#include "platform/Platform.h"
#include "platform/sim/SimCom.h"
#include "platform/sim/SimInternet.h"
#include "platform/sim/SimIpHelper.h"
#include "platform/sim/SimNetSharing.h"
#include "platform/sim/SimRegistry.h"
#include "platform/sim/SimSystemInfo.h"

namespace kestrune::platform {

class SimMachine : public PlatformHolder {
 public:
  // An empty computer: no adapters, no connections, the Internet reachable.
  SimMachine();
  ~SimMachine() override;

  // The demo's laptop: a connected wired PCI Ethernet connection, a USB Wi-Fi
  // adapter and a reachable Internet (the nearby network lives in the
  // simulated wireless library's scenario).
  void LoadDefaultScenario();

  const Platform& Get() const override { return platform_; }
  std::string Name() const override { return "sim"; }
  // The simulated connections take their wireless link from the query.
  void SetWirelessLinkQuery(WirelessLinkQuery query) override { netSharing_.SetLinkQuery(std::move(query)); }

  SimInternet& Internet() { return internet_; }
  SimSystemInfo& System() { return system_; }
  SimRegistry& Registry() { return registry_; }
  SimIpHelper& IpHelper() { return ipHelper_; }
  SimNetSharing& NetSharing() { return netSharing_; }
  SimCom& Com() { return com_; }

 private:
  SimInternet internet_;
  SimSystemInfo system_;
  SimRegistry registry_;
  SimIpHelper ipHelper_;
  SimNetSharing netSharing_;
  SimCom com_;
  Platform platform_;
};

}  // namespace kestrune::platform
