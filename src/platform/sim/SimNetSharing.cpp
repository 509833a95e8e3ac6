#include "platform/sim/SimNetSharing.h"

#include <mutex>
#include <stdexcept>

#include "core/Strings.h"
#include "platform/sim/SimCom.h"

namespace kestrune::platform {

namespace {

// {00000000-0000-0000-C000-000000000046}

struct Entry {
  std::uint64_t id;
  GUID guid;
  SimConnection data;
};

}  // namespace

struct SimNetSharing::State {
  mutable std::mutex mutex;
  std::vector<Entry> connections;
  std::uint64_t nextId = 1;
  SimSharingFaults faults;
  SimCom* com = nullptr;
  std::function<std::optional<bool>(const std::string&)> linkQuery;
  int createCalls = 0;
  int liveObjects = 0;
  std::vector<SimSharingCall> calls;

  Entry* Find(std::uint64_t id) {
    for (auto& e : connections)
      if (e.id == id) return &e;
    return nullptr;
  }
};

namespace {

using State = SimNetSharing::State;

// Counts itself among the objects callers hold.
class SimObject {
 public:
  explicit SimObject(std::shared_ptr<State> state) : state_(std::move(state)) {
    std::lock_guard lock(state_->mutex);
    ++state_->liveObjects;
  }
  ~SimObject() {
    std::lock_guard lock(state_->mutex);
    --state_->liveObjects;
  }
  SimObject(const SimObject&) = delete;
  SimObject& operator=(const SimObject&) = delete;

 protected:
  std::shared_ptr<State> state_;
};

class SimConnectionObject final : public INetConnection,
                                  public SimObject,
                                  public std::enable_shared_from_this<SimConnectionObject> {
 public:
  SimConnectionObject(std::shared_ptr<State> state, std::uint64_t id) : SimObject(std::move(state)), id_(id) {}

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    std::lock_guard lock(state_->mutex);
    const Entry* e = state_->Find(id_);
    const bool lacks = e != nullptr && e->data.faults.lacksINetConnection;
    return AnswerQuery<INetConnection>(iid, shared_from_this(), out, !lacks);
  }

  HRESULT GetProperties(NETCON_PROPERTIES& p) override {
    std::function<std::optional<bool>(const std::string&)> linkQuery;
    std::string guid;
    {
      std::lock_guard lock(state_->mutex);
      const Entry* e = state_->Find(id_);
      if (e == nullptr) return E_FAIL;  // the connection went away
      if (FAILED(e->data.faults.getProperties)) return e->data.faults.getProperties;
      p = NETCON_PROPERTIES{};
      p.guidId = e->guid;
      p.pszwName = kestrune::AnsiToWide(e->data.name);
      p.pszwDeviceName = kestrune::AnsiToWide(e->data.deviceName);
      p.Status = e->data.status;
      p.MediaType = e->data.mediaType;
      linkQuery = state_->linkQuery;
      guid = e->data.guid;
    }
    // Asked outside the lock: the query calls into the wireless library.
    if (linkQuery) {
      if (const auto up = linkQuery(guid)) p.Status = *up ? NCS_CONNECTED : NCS_MEDIA_DISCONNECTED;
    }
    return S_OK;
  }

  std::uint64_t Id() const { return id_; }

 private:
  std::uint64_t id_;
};

class SimConfigurationObject final : public INetSharingConfiguration,
                                     public SimObject,
                                     public std::enable_shared_from_this<SimConfigurationObject> {
 public:
  SimConfigurationObject(std::shared_ptr<State> state, std::uint64_t id) : SimObject(std::move(state)), id_(id) {}

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    return AnswerQuery<INetSharingConfiguration>(iid, shared_from_this(), out);
  }

  HRESULT get_SharingEnabled(VARIANT_BOOL& enabled) override {
    std::lock_guard lock(state_->mutex);
    const Entry* e = state_->Find(id_);
    if (e == nullptr) return E_FAIL;
    if (FAILED(e->data.faults.getSharingEnabled)) return e->data.faults.getSharingEnabled;
    enabled = e->data.role == SimSharingRole::None ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
  }

  HRESULT DisableSharing() override {
    std::lock_guard lock(state_->mutex);
    Entry* e = state_->Find(id_);
    if (e == nullptr) return E_FAIL;
    state_->calls.push_back(SimSharingCall{SimSharingCall::Disable, e->data.guid, ICSSHARINGTYPE_PUBLIC});
    if (FAILED(e->data.faults.disable)) return e->data.faults.disable;
    e->data.role = SimSharingRole::None;
    return S_OK;
  }

  HRESULT EnableSharing(SHARINGCONNECTIONTYPE type) override {
    std::lock_guard lock(state_->mutex);
    Entry* e = state_->Find(id_);
    if (e == nullptr) return E_FAIL;
    if (type != ICSSHARINGTYPE_PUBLIC && type != ICSSHARINGTYPE_PRIVATE) return E_INVALIDARG;
    state_->calls.push_back(SimSharingCall{SimSharingCall::Enable, e->data.guid, type});
    const bool isPublic = type == ICSSHARINGTYPE_PUBLIC;
    const HRESULT global = isPublic ? state_->faults.enablePublic : state_->faults.enablePrivate;
    if (FAILED(global)) return global;
    const HRESULT own = isPublic ? e->data.faults.enablePublic : e->data.faults.enablePrivate;
    if (FAILED(own)) return own;
    const SimSharingRole role = isPublic ? SimSharingRole::Public : SimSharingRole::Private;
    for (const auto& other : state_->connections)
      if (other.id != id_ && other.data.role == role) return SimNetSharing::kRoleTaken;
    e->data.role = role;
    return S_OK;
  }

 private:
  std::uint64_t id_;
};

class SimEnumObject final : public IEnumVARIANT, public SimObject, public std::enable_shared_from_this<SimEnumObject> {
 public:
  SimEnumObject(std::shared_ptr<State> state, std::vector<std::uint64_t> ids)
      : SimObject(std::move(state)), ids_(std::move(ids)) {}

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    bool lacks = false;
    {
      std::lock_guard lock(state_->mutex);
      lacks = state_->faults.enumLacksIEnumVARIANT;
    }
    return AnswerQuery<IEnumVARIANT>(iid, shared_from_this(), out, !lacks);
  }

  HRESULT Next(std::uint32_t celt, OleVariant& element, std::uint32_t* fetched) override {
    if (fetched) *fetched = 0;
    element.unknown.reset();
    if (celt != 1) return E_INVALIDARG;
    std::uint64_t id = 0;
    {
      std::lock_guard lock(state_->mutex);
      // Connections removed since the enumeration began are passed over.
      while (position_ < ids_.size() && state_->Find(ids_[position_]) == nullptr) ++position_;
      if (position_ >= ids_.size()) return S_FALSE;
      if (state_->faults.nextFailsAt >= 0 && position_ == static_cast<std::size_t>(state_->faults.nextFailsAt))
        return state_->faults.nextError;
      id = ids_[position_++];
    }
    element.unknown = std::make_shared<SimConnectionObject>(state_, id);
    if (fetched) *fetched = 1;
    return S_OK;
  }

 private:
  std::vector<std::uint64_t> ids_;
  std::size_t position_ = 0;
};

class SimCollectionObject final : public INetSharingEveryConnectionCollection,
                                  public SimObject,
                                  public std::enable_shared_from_this<SimCollectionObject> {
 public:
  using SimObject::SimObject;

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    return AnswerQuery<INetSharingEveryConnectionCollection>(iid, shared_from_this(), out);
  }

  HRESULT get__NewEnum(std::shared_ptr<IUnknown>& enumerator) override {
    std::vector<std::uint64_t> ids;
    {
      std::lock_guard lock(state_->mutex);
      if (FAILED(state_->faults.newEnum)) return state_->faults.newEnum;
      for (const auto& e : state_->connections) ids.push_back(e.id);
    }
    enumerator = std::make_shared<SimEnumObject>(state_, std::move(ids));
    return S_OK;
  }
};

class SimManagerObject final : public INetSharingManager,
                               public SimObject,
                               public std::enable_shared_from_this<SimManagerObject> {
 public:
  using SimObject::SimObject;

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    bool lacks = false;
    {
      std::lock_guard lock(state_->mutex);
      lacks = state_->faults.managerLacksInterface;
    }
    return AnswerQuery<INetSharingManager>(iid, shared_from_this(), out, !lacks);
  }

  HRESULT get_INetSharingConfigurationForINetConnection(
      const std::shared_ptr<INetConnection>& connection,
      std::shared_ptr<INetSharingConfiguration>& configuration) override {
    const auto own = std::dynamic_pointer_cast<SimConnectionObject>(connection);
    if (!own) return E_INVALIDARG;
    {
      std::lock_guard lock(state_->mutex);
      const Entry* e = state_->Find(own->Id());
      if (e == nullptr) return E_FAIL;
      if (FAILED(e->data.faults.getConfiguration)) return e->data.faults.getConfiguration;
    }
    configuration = std::make_shared<SimConfigurationObject>(state_, own->Id());
    return S_OK;
  }

  HRESULT get_EnumEveryConnection(std::shared_ptr<INetSharingEveryConnectionCollection>& collection) override {
    {
      std::lock_guard lock(state_->mutex);
      if (FAILED(state_->faults.enumEveryConnection)) return state_->faults.enumEveryConnection;
    }
    collection = std::make_shared<SimCollectionObject>(state_);
    return S_OK;
  }
};

}  // namespace

SimNetSharing::SimNetSharing() : state_(std::make_shared<State>()) {}

SimNetSharing::~SimNetSharing() = default;

HRESULT SimNetSharing::CoCreateInstance(const GUID& clsid, std::shared_ptr<IUnknown>& object) {
  SimCom* com = nullptr;
  {
    std::lock_guard lock(state_->mutex);
    ++state_->createCalls;
    com = state_->com;
    if (FAILED(state_->faults.create)) return state_->faults.create;
  }
  if (com != nullptr && !com->IsInitialized()) return CO_E_NOTINITIALIZED;
  if (!(clsid == CLSID_NetSharingManager)) return REGDB_E_CLASSNOTREG;
  object = std::make_shared<SimManagerObject>(state_);
  return S_OK;
}

void SimNetSharing::SetLinkQuery(std::function<std::optional<bool>(const std::string& guid)> query) {
  std::lock_guard lock(state_->mutex);
  state_->linkQuery = std::move(query);
}

void SimNetSharing::SetComRuntime(SimCom* com) {
  std::lock_guard lock(state_->mutex);
  state_->com = com;
}

void SimNetSharing::AddConnection(SimConnection connection) {
  const auto guid = StringToGuid(connection.guid);
  if (!guid) throw std::invalid_argument("not a GUID text: " + connection.guid);
  std::lock_guard lock(state_->mutex);
  state_->connections.push_back(Entry{state_->nextId++, *guid, std::move(connection)});
}

bool SimNetSharing::RemoveConnection(const std::string& guid) {
  std::lock_guard lock(state_->mutex);
  return std::erase_if(state_->connections, [&](const Entry& e) { return e.data.guid == guid; }) != 0;
}

void SimNetSharing::ClearConnections() {
  std::lock_guard lock(state_->mutex);
  state_->connections.clear();
}

bool SimNetSharing::UpdateConnection(const std::string& guid, const std::function<void(SimConnection&)>& change) {
  std::lock_guard lock(state_->mutex);
  for (auto& e : state_->connections)
    if (e.data.guid == guid) {
      change(e.data);
      if (const auto g = StringToGuid(e.data.guid)) e.guid = *g;
      return true;
    }
  return false;
}

bool SimNetSharing::UpdateConnectionAt(int position, const std::function<void(SimConnection&)>& change) {
  std::lock_guard lock(state_->mutex);
  if (position < 0 || static_cast<std::size_t>(position) >= state_->connections.size()) return false;
  auto& e = state_->connections[static_cast<std::size_t>(position)];
  change(e.data);
  if (const auto g = StringToGuid(e.data.guid)) e.guid = *g;
  return true;
}

std::vector<SimConnection> SimNetSharing::Connections() const {
  std::lock_guard lock(state_->mutex);
  std::vector<SimConnection> out;
  for (const auto& e : state_->connections) out.push_back(e.data);
  return out;
}

void SimNetSharing::SetFaults(const SimSharingFaults& faults) {
  std::lock_guard lock(state_->mutex);
  state_->faults = faults;
}

SimSharingFaults SimNetSharing::Faults() const {
  std::lock_guard lock(state_->mutex);
  return state_->faults;
}

void SimNetSharing::ClearFaults() {
  std::lock_guard lock(state_->mutex);
  state_->faults = SimSharingFaults{};
  for (auto& e : state_->connections) e.data.faults = SimConnectionFaults{};
}

SimSharingRole SimNetSharing::RoleOf(const std::string& guid) const {
  std::lock_guard lock(state_->mutex);
  for (const auto& e : state_->connections)
    if (e.data.guid == guid) return e.data.role;
  return SimSharingRole::None;
}

std::string SimNetSharing::PublicConnection() const {
  std::lock_guard lock(state_->mutex);
  for (const auto& e : state_->connections)
    if (e.data.role == SimSharingRole::Public) return e.data.guid;
  return {};
}

std::string SimNetSharing::PrivateConnection() const {
  std::lock_guard lock(state_->mutex);
  for (const auto& e : state_->connections)
    if (e.data.role == SimSharingRole::Private) return e.data.guid;
  return {};
}

int SimNetSharing::CreateCalls() const {
  std::lock_guard lock(state_->mutex);
  return state_->createCalls;
}

int SimNetSharing::LiveObjects() const {
  std::lock_guard lock(state_->mutex);
  return state_->liveObjects;
}

std::vector<SimSharingCall> SimNetSharing::Calls() const {
  std::lock_guard lock(state_->mutex);
  return state_->calls;
}

void SimNetSharing::ClearCalls() {
  std::lock_guard lock(state_->mutex);
  state_->calls.clear();
}

}  // namespace kestrune::platform
