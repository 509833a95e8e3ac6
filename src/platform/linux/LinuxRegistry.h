#pragma once
// The network connection keys on Linux, derived read-only from sysfs: one key
// per interface GUID under the network class key, whose "Connection" subkey
// holds "Name", "PnpInstanceID" and "MediaSubType". Every other key is absent;
// writes fail. Mount it in a CompositeRegistry beside the other keys' backends.
#include <filesystem>

#include "platform/Registry.h"

namespace kestrune::platform {

class LinuxRegistry : public IRegistry {
 public:
  explicit LinuxRegistry(std::filesystem::path sysfsRoot = "/sys");

  std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, const std::string& path, RegistryAccess access,
                                       bool create) override;

 private:
  std::filesystem::path sysfsRoot_;
};

}  // namespace kestrune::platform
