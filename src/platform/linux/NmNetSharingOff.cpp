// Built instead of NmNetSharing.cpp when NetworkManager support is off.
#include "platform/linux/LinuxNetSharing.h"
#include "platform/linux/NmNetSharing.h"

namespace kestrune::platform {

std::unique_ptr<INetSharingProvider> CreateLinuxNetSharing() {
  return std::make_unique<LinuxNetSharingUnavailable>();
}

}  // namespace kestrune::platform
