#pragma once
// The bundle of platform facilities, chosen once at start and handed down.
// Nothing in the core includes a backend header; tests build their own bundle.
#include <memory>
#include <string>

namespace kestrune::platform {

class IInternet;
class ISystemInfo;
class IRegistry;
class IIpHelper;
class INetSharingProvider;
class IComRuntime;

struct Platform {
  IInternet* internet = nullptr;
  ISystemInfo* system = nullptr;
  IRegistry* registry = nullptr;
  IIpHelper* ipHelper = nullptr;
  INetSharingProvider* netSharing = nullptr;
  IComRuntime* com = nullptr;
};

// Owns the facilities behind a Platform bundle.
class PlatformHolder {
 public:
  virtual ~PlatformHolder() = default;
  virtual const Platform& Get() const = 0;
  virtual std::string Name() const = 0;
};

// "sim" or "linux"; empty means the value of KESTRUNE_PLATFORM, and "linux" when that is unset.
// Throws std::invalid_argument for an unknown name.
std::unique_ptr<PlatformHolder> CreatePlatform(const std::string& name = {});

}  // namespace kestrune::platform
