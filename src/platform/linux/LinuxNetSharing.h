#pragma once
// Connection sharing on a Linux system without a sharing service of ours: the
// sharing manager class is not registered, so every sharing operation fails.
#include "platform/NetSharing.h"

namespace kestrune::platform {

class LinuxNetSharingUnavailable : public INetSharingProvider {
 public:
  HRESULT CoCreateInstance(const GUID& clsid, std::shared_ptr<IUnknown>& object) override;
};

}  // namespace kestrune::platform
