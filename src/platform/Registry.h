#pragma once
// The registry facility: keys under a root, opened for reading or full access,
// holding typed values. A key object closes the key when it is destroyed.
//
// The readers and writers of RegistryKey carry the registry errors every caller
// sees ("Invalid data type for '%s'", "Failed to get data for '%s'", "Failed to
// set data for '%s'"); backends only supply the raw value access.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform {

enum class RegistryRoot : std::uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
  Users = 0x80000003u,
};
inline constexpr RegistryRoot HKEY_CLASSES_ROOT = RegistryRoot::ClassesRoot;
inline constexpr RegistryRoot HKEY_CURRENT_USER = RegistryRoot::CurrentUser;
inline constexpr RegistryRoot HKEY_LOCAL_MACHINE = RegistryRoot::LocalMachine;
inline constexpr RegistryRoot HKEY_USERS = RegistryRoot::Users;

enum class RegistryAccess { Read, Full };

// Value types with the platform's numbers.
enum class RegistryDataType : std::uint32_t {
  None = 0,
  String = 1,        // REG_SZ
  ExpandString = 2,  // REG_EXPAND_SZ
  Binary = 3,        // REG_BINARY
  DWord = 4,         // REG_DWORD
  MultiString = 7,   // REG_MULTI_SZ
  QWord = 11,        // REG_QWORD
};

struct RegistryValue {
  RegistryDataType type = RegistryDataType::None;
  std::string text;          // String, ExpandString, MultiString (entries NUL-separated), Binary bytes
  std::uint64_t number = 0;  // DWord, QWord

  static RegistryValue String(std::string s) { return {RegistryDataType::String, std::move(s), 0}; }
  static RegistryValue DWord(std::uint32_t v) { return {RegistryDataType::DWord, {}, v}; }
  static RegistryValue Binary(std::string bytes) { return {RegistryDataType::Binary, std::move(bytes), 0}; }
};

class RegistryKey {
 public:
  enum class Query { Found, Missing, Failed };

  virtual ~RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool ValueExists(const std::string& name) const;
  // A missing value reads as the empty text; a value of another type throws
  // "Invalid data type for '%s'", a failed read "Failed to get data for '%s'".
  std::string ReadString(const std::string& name) const;
  // A missing value throws "Failed to get data for '%s'"; another type
  // "Invalid data type for '%s'".
  std::int32_t ReadInteger(const std::string& name) const;
  // Replaces any earlier data; failure throws "Failed to set data for '%s'".
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, std::int32_t value);
  // True when the value was there and is gone.
  bool DeleteValue(const std::string& name);
  // Subkey names in the registry's enumeration order.
  std::vector<std::string> GetKeyNames() const;
  std::vector<std::string> GetValueNames() const;

  // Raw access, for backends.
  virtual Query QueryValue(const std::string& name, RegistryValue& out) const = 0;
  virtual bool SetValue(const std::string& name, const RegistryValue& value) = 0;
  virtual bool RemoveValue(const std::string& name) = 0;
  virtual std::vector<std::string> SubKeyNames() const = 0;
  virtual std::vector<std::string> ValueNames() const = 0;

 protected:
  RegistryKey() = default;
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Null when the key does not exist (and create is false or creating fails)
  // or the access is refused.
  virtual std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, const std::string& path,
                                               RegistryAccess access, bool create) = 0;
};

// The network adapters' class key under HKEY_LOCAL_MACHINE, holding one key per
// connection GUID, each with a "Connection" subkey.
inline constexpr const char* kNetworkClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
// The start-with-the-system values under HKEY_LOCAL_MACHINE.
inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// kNetworkClassKey + "\\" + guid + "\\Connection"
std::string NetworkConnectionKeyPath(const std::string& guid);

// "A\\B\\" and "\\A\\\\B" name the same key: empty components are dropped.
std::vector<std::string> SplitRegistryPath(std::string_view path);
std::string JoinRegistryPath(const std::vector<std::string>& parts);
// Key and value names compare without regard to ASCII case.
bool SameRegistryName(std::string_view a, std::string_view b);

// Routes each key to the backend mounted on the longest matching path prefix
// under its root; keys outside every mount do not exist. The Linux registry is
// such a composition (network keys from sysfs, the Run key elsewhere).
class CompositeRegistry : public IRegistry {
 public:
  // The backend sees the full path; it is not owned and must outlive this.
  void Mount(RegistryRoot root, const std::string& prefix, IRegistry& backend);

  std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, const std::string& path, RegistryAccess access,
                                       bool create) override;

 private:
  struct MountPoint {
    RegistryRoot root;
    std::vector<std::string> prefix;
    IRegistry* backend;
  };
  std::vector<MountPoint> mounts_;
};

}  // namespace kestrune::platform
