#include "platform/linux/LinuxNetSharing.h"

namespace kestrune::platform {

HRESULT LinuxNetSharingUnavailable::CoCreateInstance(const GUID&, std::shared_ptr<IUnknown>& object) {
  object.reset();
  return REGDB_E_CLASSNOTREG;
}

}  // namespace kestrune::platform
