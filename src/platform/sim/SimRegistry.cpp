#include "platform/sim/SimRegistry.h"

#include <algorithm>
#include <cctype>
#include <functional>

namespace kestrune::platform {

namespace {

struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
  }
};

}  // namespace

struct SimRegistry::Node {
  std::map<std::string, std::shared_ptr<Node>, CaseLess> children;
  std::map<std::string, RegistryValue, CaseLess> values;
  bool readOnly = false;
  bool denyRead = false;
  bool denyFull = false;
  std::set<std::string, CaseLess> failingReads;
};

struct SimRegistry::State {
  mutable std::mutex mutex;
  std::map<RegistryRoot, std::shared_ptr<Node>> roots;
  int openKeys = 0;
  int openCalls = 0;

  std::shared_ptr<Node> Find(RegistryRoot root, const std::string& path, bool create) {
    auto& top = roots[root];
    if (!top) top = std::make_shared<Node>();
    std::shared_ptr<Node> node = top;
    for (const auto& part : SplitRegistryPath(path)) {
      auto it = node->children.find(part);
      if (it == node->children.end()) {
        if (!create) return nullptr;
        it = node->children.emplace(part, std::make_shared<Node>()).first;
      }
      node = it->second;
    }
    return node;
  }
};

namespace {

class SimKey final : public RegistryKey {
 public:
  SimKey(std::shared_ptr<SimRegistry::State> state, std::shared_ptr<SimRegistry::Node> node, RegistryAccess access)
      : state_(std::move(state)), node_(std::move(node)), access_(access) {}

  ~SimKey() override {
    std::lock_guard lock(state_->mutex);
    --state_->openKeys;
  }

  Query QueryValue(const std::string& name, RegistryValue& out) const override {
    std::lock_guard lock(state_->mutex);
    const auto it = node_->values.find(name);
    if (it == node_->values.end()) return Query::Missing;
    if (node_->failingReads.count(name) != 0) return Query::Failed;
    out = it->second;
    return Query::Found;
  }

  bool SetValue(const std::string& name, const RegistryValue& value) override {
    std::lock_guard lock(state_->mutex);
    if (access_ != RegistryAccess::Full || node_->readOnly) return false;
    const auto it = node_->values.find(name);
    if (it != node_->values.end())
      it->second = value;  // keeps the name's original case, as the platform does
    else
      node_->values.emplace(name, value);
    return true;
  }

  bool RemoveValue(const std::string& name) override {
    std::lock_guard lock(state_->mutex);
    if (access_ != RegistryAccess::Full || node_->readOnly) return false;
    return node_->values.erase(name) != 0;
  }

  std::vector<std::string> SubKeyNames() const override {
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> names;
    for (const auto& [name, child] : node_->children) names.push_back(name);
    return names;
  }

  std::vector<std::string> ValueNames() const override {
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> names;
    for (const auto& [name, value] : node_->values) names.push_back(name);
    return names;
  }

 private:
  std::shared_ptr<SimRegistry::State> state_;
  std::shared_ptr<SimRegistry::Node> node_;
  RegistryAccess access_;
};

}  // namespace

SimRegistry::SimRegistry() : state_(std::make_shared<State>()) {}

SimRegistry::~SimRegistry() = default;

std::unique_ptr<RegistryKey> SimRegistry::OpenKey(RegistryRoot root, const std::string& path, RegistryAccess access,
                                                  bool create) {
  std::lock_guard lock(state_->mutex);
  ++state_->openCalls;
  auto existing = state_->Find(root, path, false);
  if (existing) {
    if (existing->denyRead || (access == RegistryAccess::Full && existing->denyFull)) return nullptr;
  } else {
    // Creating needs write access to the parent chain; a denied or read-only
    // ancestor refuses it.
    if (!create || access != RegistryAccess::Full) return nullptr;
    auto parts = SplitRegistryPath(path);
    auto node = state_->Find(root, {}, false);
    for (const auto& part : parts) {
      if (node->denyRead || node->denyFull || node->readOnly) return nullptr;
      auto it = node->children.find(part);
      if (it == node->children.end()) break;
      node = it->second;
    }
    existing = state_->Find(root, path, true);
  }
  ++state_->openKeys;
  return std::make_unique<SimKey>(state_, existing, access);
}

void SimRegistry::SetValue(RegistryRoot root, const std::string& path, const std::string& name,
                           RegistryValue value) {
  std::lock_guard lock(state_->mutex);
  state_->Find(root, path, true)->values[name] = std::move(value);
}

void SimRegistry::SetString(RegistryRoot root, const std::string& path, const std::string& name,
                            const std::string& value) {
  SetValue(root, path, name, RegistryValue::String(value));
}

void SimRegistry::SetDWord(RegistryRoot root, const std::string& path, const std::string& name,
                           std::uint32_t value) {
  SetValue(root, path, name, RegistryValue::DWord(value));
}

void SimRegistry::CreateKey(RegistryRoot root, const std::string& path) {
  std::lock_guard lock(state_->mutex);
  state_->Find(root, path, true);
}

bool SimRegistry::DeleteKey(RegistryRoot root, const std::string& path) {
  std::lock_guard lock(state_->mutex);
  auto parts = SplitRegistryPath(path);
  if (parts.empty()) return false;
  const std::string last = parts.back();
  parts.pop_back();
  auto parent = state_->Find(root, JoinRegistryPath(parts), false);
  return parent && parent->children.erase(last) != 0;
}

bool SimRegistry::KeyExists(RegistryRoot root, const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  return state_->Find(root, path, false) != nullptr;
}

bool SimRegistry::HasValue(RegistryRoot root, const std::string& path, const std::string& name) const {
  std::lock_guard lock(state_->mutex);
  const auto node = state_->Find(root, path, false);
  return node && node->values.count(name) != 0;
}

RegistryValue SimRegistry::GetValue(RegistryRoot root, const std::string& path, const std::string& name) const {
  std::lock_guard lock(state_->mutex);
  const auto node = state_->Find(root, path, false);
  if (!node) return {};
  const auto it = node->values.find(name);
  return it == node->values.end() ? RegistryValue{} : it->second;
}

int SimRegistry::OpenKeyCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->openKeys;
}

int SimRegistry::OpenKeyCalls() const {
  std::lock_guard lock(state_->mutex);
  return state_->openCalls;
}

void SimRegistry::DenyAccess(RegistryRoot root, const std::string& path, RegistryAccess access) {
  std::lock_guard lock(state_->mutex);
  auto node = state_->Find(root, path, true);
  if (access == RegistryAccess::Read)
    node->denyRead = true;
  else
    node->denyFull = true;
}

void SimRegistry::SetReadOnly(RegistryRoot root, const std::string& path, bool readOnly) {
  std::lock_guard lock(state_->mutex);
  state_->Find(root, path, true)->readOnly = readOnly;
}

void SimRegistry::FailRead(RegistryRoot root, const std::string& path, const std::string& name) {
  std::lock_guard lock(state_->mutex);
  state_->Find(root, path, true)->failingReads.insert(name);
}

void SimRegistry::ClearFaults() {
  std::lock_guard lock(state_->mutex);
  std::function<void(Node&)> clear = [&](Node& n) {
    n.readOnly = n.denyRead = n.denyFull = false;
    n.failingReads.clear();
    for (auto& [name, child] : n.children) clear(*child);
  };
  for (auto& [root, node] : state_->roots)
    if (node) clear(*node);
}

}  // namespace kestrune::platform
