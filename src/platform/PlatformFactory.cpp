#include <cstdlib>
#include <stdexcept>

#include "platform/Com.h"
#include "platform/Platform.h"
#include "platform/Registry.h"
#include "platform/linux/LinuxAutostart.h"
#include "platform/linux/LinuxInternet.h"
#include "platform/linux/LinuxIpHelper.h"
#include "platform/linux/LinuxRegistry.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/NmNetSharing.h"
#include "platform/sim/SimMachine.h"

namespace kestrune::platform {

namespace {

class LinuxPlatform : public PlatformHolder {
 public:
  LinuxPlatform() {
    // Further keys get backends of their own beside the network keys.
    registry_.Mount(HKEY_LOCAL_MACHINE, kNetworkClassKey, networkKeys_);
    registry_.Mount(HKEY_LOCAL_MACHINE, kRunKey, autostart_);
    platform_.internet = &internet_;
    platform_.system = &system_;
    platform_.registry = &registry_;
    platform_.ipHelper = &ipHelper_;
    platform_.netSharing = netSharing_.get();
    platform_.com = &com_;
  }
  const Platform& Get() const override { return platform_; }
  std::string Name() const override { return "linux"; }

 private:
  LinuxInternet internet_;
  LinuxSystemInfo system_;
  LinuxRegistry networkKeys_;
  LinuxAutostartRegistry autostart_;
  CompositeRegistry registry_;
  LinuxIpHelper ipHelper_;
  std::unique_ptr<INetSharingProvider> netSharing_ = CreateLinuxNetSharing();
  NoComRuntime com_;
  Platform platform_;
};

}  // namespace

std::unique_ptr<PlatformHolder> CreatePlatform(const std::string& name) {
  std::string chosen = name;
  if (chosen.empty()) {
    const char* env = std::getenv("KESTRUNE_PLATFORM");
    chosen = (env != nullptr && *env != '\0') ? env : "linux";
  }
  if (chosen == "sim") {
    auto machine = std::make_unique<SimMachine>();
    machine->LoadDefaultScenario();
    return machine;
  }
  if (chosen == "linux") return std::make_unique<LinuxPlatform>();
  throw std::invalid_argument("Unknown platform \"" + chosen + "\" (KESTRUNE_PLATFORM must be sim or linux)");
}

}  // namespace kestrune::platform
