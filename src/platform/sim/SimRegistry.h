#pragma once
// The simulated machine's registry: a tree of keys per root with typed values.
// Key and value names ignore ASCII case and keep the case they were made with;
// subkeys enumerate in case-insensitive alphabetical order, as the platform's do.
// Every member may be called from any thread.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace kestrune::platform {

class SimRegistry : public IRegistry {
 public:
  SimRegistry();
  ~SimRegistry() override;

  std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, const std::string& path, RegistryAccess access,
                                       bool create) override;

  // Scenario set-up; keys on the way are made as needed.
  void SetValue(RegistryRoot root, const std::string& path, const std::string& name, RegistryValue value);
  void SetString(RegistryRoot root, const std::string& path, const std::string& name, const std::string& value);
  void SetDWord(RegistryRoot root, const std::string& path, const std::string& name, std::uint32_t value);
  void CreateKey(RegistryRoot root, const std::string& path);
  // Removes the key with all it holds; true when it existed.
  bool DeleteKey(RegistryRoot root, const std::string& path);

  // Inspection.
  bool KeyExists(RegistryRoot root, const std::string& path) const;
  bool HasValue(RegistryRoot root, const std::string& path, const std::string& name) const;
  // Missing values read as type None.
  RegistryValue GetValue(RegistryRoot root, const std::string& path, const std::string& name) const;
  // Keys opened and not yet closed.
  int OpenKeyCount() const;
  int OpenKeyCalls() const;

  // Faults. A denied key cannot be opened with that access (Full denies only
  // full access; Read denies both). A read-only key opens, but writes to it fail.
  void DenyAccess(RegistryRoot root, const std::string& path, RegistryAccess access);
  void SetReadOnly(RegistryRoot root, const std::string& path, bool readOnly = true);
  // Reading this value fails, though it exists.
  void FailRead(RegistryRoot root, const std::string& path, const std::string& name);
  void ClearFaults();

  struct Node;
  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace kestrune::platform
