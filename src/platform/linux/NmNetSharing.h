#pragma once
// Connection sharing through NetworkManager. The sharing manager's connections
// are NetworkManager's devices (loopback left out), named by the GUID the
// adapter inventory derives for the same interface.
//
// Private sharing sets ipv4.method "shared" on the device's active connection
// profile, so that NetworkManager serves addresses and masquerades behind it;
// the method it had is kept in the profile's user data, so that switching
// sharing off restores it even after this process died in between. A device
// without an active profile (a Wi-Fi adapter before its own network is up) is
// only noted: the network the wireless library hosts there is shared by itself.
// So is one whose active profile is a Wi-Fi client's (another's network).
// Public sharing is only noted, as NetworkManager shares through the default
// route. Notes live as long as the provider.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/NetSharing.h"

namespace kestrune::platform {

// Keys of a profile's user data while we share it.
inline constexpr const char* kNmPreviousMethodKey = "kestrune.previous-ipv4-method";
inline constexpr const char* kNmSharedDeviceKey = "kestrune.shared-device";

class NmNetSharing : public INetSharingProvider {
 public:
  // sysfsRoot: where the interface GUIDs come from ("/sys"; a fake tree in tests).
  explicit NmNetSharing(std::filesystem::path sysfsRoot = "/sys");
  ~NmNetSharing() override;

  // Opens a connection to the system bus per manager object; the class is not
  // registered while NetworkManager does not answer there.
  HRESULT CoCreateInstance(const GUID& clsid, std::shared_ptr<IUnknown>& object) override;

  // How the connection with this GUID shares now, as far as this provider
  // switched it; nullopt when it does not.
  std::optional<SHARINGCONNECTIONTYPE> SharingConnectionType(const std::string& guid) const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// The Linux bundle's sharing provider: NetworkManager's where this build has
// it, otherwise one whose class is never registered.
std::unique_ptr<INetSharingProvider> CreateLinuxNetSharing();

}  // namespace kestrune::platform
