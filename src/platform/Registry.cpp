#include "platform/Registry.h"

#include "core/Errors.h"
#include "core/Strings.h"

namespace kestrune::platform {

namespace {

[[noreturn]] void Raise(const char* pattern, const std::string& name) {
  throw kestrune::ERegistryException(kestrune::FormatWith(pattern, name));
}

constexpr const char* kInvalidType = "Invalid data type for '%s'";
constexpr const char* kGetFailed = "Failed to get data for '%s'";
constexpr const char* kSetFailed = "Failed to set data for '%s'";

}  // namespace

bool RegistryKey::ValueExists(const std::string& name) const {
  RegistryValue ignored;
  return QueryValue(name, ignored) == Query::Found;
}

std::string RegistryKey::ReadString(const std::string& name) const {
  RegistryValue value;
  switch (QueryValue(name, value)) {
    case Query::Missing:
      return {};
    case Query::Failed:
      Raise(kGetFailed, name);
    case Query::Found:
      break;
  }
  if (value.type != RegistryDataType::String && value.type != RegistryDataType::ExpandString)
    Raise(kInvalidType, name);
  // Stored strings may carry their terminator.
  const auto nul = value.text.find('\0');
  if (nul != std::string::npos) value.text.resize(nul);
  return value.text;
}

std::int32_t RegistryKey::ReadInteger(const std::string& name) const {
  RegistryValue value;
  if (QueryValue(name, value) != Query::Found) Raise(kGetFailed, name);
  if (value.type != RegistryDataType::DWord) Raise(kInvalidType, name);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value.number));
}

void RegistryKey::WriteString(const std::string& name, const std::string& value) {
  if (!SetValue(name, RegistryValue::String(value))) Raise(kSetFailed, name);
}

void RegistryKey::WriteInteger(const std::string& name, std::int32_t value) {
  if (!SetValue(name, RegistryValue::DWord(static_cast<std::uint32_t>(value)))) Raise(kSetFailed, name);
}

bool RegistryKey::DeleteValue(const std::string& name) { return RemoveValue(name); }

std::vector<std::string> RegistryKey::GetKeyNames() const { return SubKeyNames(); }

std::vector<std::string> RegistryKey::GetValueNames() const { return ValueNames(); }

std::string NetworkConnectionKeyPath(const std::string& guid) {
  return std::string(kNetworkClassKey) + "\\" + guid + "\\Connection";
}

std::vector<std::string> SplitRegistryPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto end = path.find('\\', start);
    const auto stop = end == std::string_view::npos ? path.size() : end;
    if (stop > start) parts.emplace_back(path.substr(start, stop - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

std::string JoinRegistryPath(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) {
    if (!out.empty()) out += '\\';
    out += p;
  }
  return out;
}

bool SameRegistryName(std::string_view a, std::string_view b) { return kestrune::SameText(a, b); }

void CompositeRegistry::Mount(RegistryRoot root, const std::string& prefix, IRegistry& backend) {
  mounts_.push_back(MountPoint{root, SplitRegistryPath(prefix), &backend});
}

std::unique_ptr<RegistryKey> CompositeRegistry::OpenKey(RegistryRoot root, const std::string& path,
                                                        RegistryAccess access, bool create) {
  const auto parts = SplitRegistryPath(path);
  const MountPoint* best = nullptr;
  for (const auto& m : mounts_) {
    if (m.root != root || m.prefix.size() > parts.size()) continue;
    bool match = true;
    for (std::size_t i = 0; i < m.prefix.size() && match; ++i) match = SameRegistryName(m.prefix[i], parts[i]);
    if (match && (best == nullptr || m.prefix.size() > best->prefix.size())) best = &m;
  }
  if (best == nullptr) return nullptr;
  return best->backend->OpenKey(root, path, access, create);
}

}  // namespace kestrune::platform
