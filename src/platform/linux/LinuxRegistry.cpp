#include "platform/linux/LinuxRegistry.h"

#include <map>

#include "platform/linux/LinuxNetSysfs.h"

namespace kestrune::platform {

namespace {

// A snapshot taken when the key is opened; nothing can be written to it.
class DerivedKey final : public RegistryKey {
 public:
  DerivedKey(std::vector<std::string> subkeys, std::vector<std::pair<std::string, RegistryValue>> values)
      : subkeys_(std::move(subkeys)), values_(std::move(values)) {}

  Query QueryValue(const std::string& name, RegistryValue& out) const override {
    for (const auto& [n, v] : values_)
      if (SameRegistryName(n, name)) {
        out = v;
        return Query::Found;
      }
    return Query::Missing;
  }
  bool SetValue(const std::string&, const RegistryValue&) override { return false; }
  bool RemoveValue(const std::string&) override { return false; }
  std::vector<std::string> SubKeyNames() const override { return subkeys_; }
  std::vector<std::string> ValueNames() const override {
    std::vector<std::string> names;
    for (const auto& [n, v] : values_) names.push_back(n);
    return names;
  }

 private:
  std::vector<std::string> subkeys_;
  std::vector<std::pair<std::string, RegistryValue>> values_;
};

}  // namespace

LinuxRegistry::LinuxRegistry(std::filesystem::path sysfsRoot) : sysfsRoot_(std::move(sysfsRoot)) {}

std::unique_ptr<RegistryKey> LinuxRegistry::OpenKey(RegistryRoot root, const std::string& path, RegistryAccess,
                                                    bool) {
  if (root != HKEY_LOCAL_MACHINE) return nullptr;
  const auto parts = SplitRegistryPath(path);
  const auto classParts = SplitRegistryPath(kNetworkClassKey);
  if (parts.size() < classParts.size() || parts.size() > classParts.size() + 2) return nullptr;
  for (std::size_t i = 0; i < classParts.size(); ++i)
    if (!SameRegistryName(parts[i], classParts[i])) return nullptr;

  std::vector<linuxnet::SysfsInterface> interfaces;
  for (auto& i : linuxnet::SysfsNet(sysfsRoot_).ReadAll())
    if (!linuxnet::IsLoopback(i)) interfaces.push_back(std::move(i));

  if (parts.size() == classParts.size()) {
    std::vector<std::string> guids;
    for (const auto& i : interfaces) guids.push_back(i.guid);
    return std::make_unique<DerivedKey>(std::move(guids), std::vector<std::pair<std::string, RegistryValue>>{});
  }
  const auto* match = [&]() -> const linuxnet::SysfsInterface* {
    for (const auto& i : interfaces)
      if (SameRegistryName(i.guid, parts[classParts.size()])) return &i;
    return nullptr;
  }();
  if (match == nullptr) return nullptr;
  if (parts.size() == classParts.size() + 1)
    return std::make_unique<DerivedKey>(std::vector<std::string>{"Connection"},
                                        std::vector<std::pair<std::string, RegistryValue>>{});
  if (!SameRegistryName(parts.back(), "Connection")) return nullptr;
  return std::make_unique<DerivedKey>(
      std::vector<std::string>{},
      std::vector<std::pair<std::string, RegistryValue>>{
          {"Name", RegistryValue::String(match->name)},
          {"PnpInstanceID", RegistryValue::String(match->pnpInstanceId)},
          {"MediaSubType", RegistryValue::DWord(match->wireless ? 2u : 1u)},
      });
}

}  // namespace kestrune::platform
