#include "platform/sim/SimMachine.h"

#include "platform/sim/SimNetworkScenario.h"

namespace kestrune::platform {

SimMachine::SimMachine() {
  netSharing_.SetComRuntime(&com_);
  platform_.internet = &internet_;
  platform_.system = &system_;
  platform_.registry = &registry_;
  platform_.ipHelper = &ipHelper_;
  platform_.netSharing = &netSharing_;
  platform_.com = &com_;
}

SimMachine::~SimMachine() = default;

void SimMachine::LoadDefaultScenario() {
  AddDefaultNetworkScenario(registry_, ipHelper_, netSharing_);
  internet_.SetReachable(true);
}

}  // namespace kestrune::platform
