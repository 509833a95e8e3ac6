#pragma once
// The bundle of platform facilities, chosen once at start and handed down.
// Nothing in the core includes a backend header; tests build their own bundle.
#include <functional>
#include <memory>
#include <optional>
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

  // Whether the wireless interface named by a connection GUID is associated
  // with a network (nullopt: not a wireless interface the query knows).
  using WirelessLinkQuery = std::function<std::optional<bool>(const std::string& guid)>;
  // A platform whose connections do not report their own wireless link takes
  // it from here; real hardware reports it and ignores the query.
  virtual void SetWirelessLinkQuery(WirelessLinkQuery /*query*/) {}
};

// "sim" or "linux"; empty means the value of KESTRUNE_PLATFORM, and "linux" when that is unset.
// Throws std::invalid_argument for an unknown name.
std::unique_ptr<PlatformHolder> CreatePlatform(const std::string& name = {});

}  // namespace kestrune::platform
