#include "platform/linux/NmNetSharing.h"

#include <NetworkManager.h>

#include <fstream>
#include <map>
#include <mutex>
#include <vector>

#include "core/Strings.h"
#include "platform/linux/LinuxNetSysfs.h"
#include "platform/linux/NmDbus.h"

namespace kestrune::platform {

namespace {

// {00000000-0000-0000-C000-000000000046}

HRESULT FromError(const nm::NmError& e) {
  const std::string& name = e.DbusName();
  if (name.find("PermissionDenied") != std::string::npos || name.find("AccessDenied") != std::string::npos)
    return E_ACCESSDENIED;
  return E_FAIL;
}

NETCON_STATUS StatusOf(std::uint32_t state) {
  switch (state) {
    case NM_DEVICE_STATE_UNKNOWN: return NCS_DISCONNECTED;
    case NM_DEVICE_STATE_UNMANAGED: return NCS_HARDWARE_DISABLED;
    case NM_DEVICE_STATE_UNAVAILABLE:
    case NM_DEVICE_STATE_DISCONNECTED:
    case NM_DEVICE_STATE_FAILED: return NCS_MEDIA_DISCONNECTED;
    case NM_DEVICE_STATE_NEED_AUTH: return NCS_CREDENTIALS_REQUIRED;
    case NM_DEVICE_STATE_ACTIVATED: return NCS_CONNECTED;
    case NM_DEVICE_STATE_DEACTIVATING: return NCS_DISCONNECTING;
    default: return NCS_CONNECTING;  // prepare, config, ip-config, ip-check, secondaries
  }
}

NETCON_MEDIATYPE MediaTypeOf(std::uint32_t type) {
  switch (type) {
    case NM_DEVICE_TYPE_ETHERNET:
    case NM_DEVICE_TYPE_WIFI:
    case NM_DEVICE_TYPE_INFINIBAND:
    case NM_DEVICE_TYPE_BOND:
    case NM_DEVICE_TYPE_VLAN:
    case NM_DEVICE_TYPE_TEAM:
    case NM_DEVICE_TYPE_MACVLAN:
    case NM_DEVICE_TYPE_VETH: return NCM_LAN;
    case NM_DEVICE_TYPE_BRIDGE: return NCM_BRIDGE;
    case NM_DEVICE_TYPE_MODEM:
    case NM_DEVICE_TYPE_ADSL:
    case NM_DEVICE_TYPE_BT:
    case NM_DEVICE_TYPE_PPP: return NCM_PHONE;
    case NM_DEVICE_TYPE_TUN:
    case NM_DEVICE_TYPE_IP_TUNNEL:
    case NM_DEVICE_TYPE_VXLAN:
    case NM_DEVICE_TYPE_WIREGUARD: return NCM_TUNNEL;
    default: return NCM_NONE;
  }
}

// The hardware address NetworkManager reports for a device, either interface.
std::string DeviceAddress(nm::Bus& bus, const std::string& path, const char* property) {
  for (const char* iface : {nm::kDeviceIface, "org.freedesktop.NetworkManager.Device.Wired", nm::kWirelessIface}) {
    try {
      const std::string text = nm::AsString(bus.Get(path, iface, property));
      if (!text.empty()) return text;
    } catch (const nm::NmError&) {
    }
  }
  return {};
}

std::map<std::string, std::string> UserData(const nm::Settings& settings) {
  std::map<std::string, std::string> out;
  const nm::Variant data = nm::SettingValue(settings, "user", "data");
  if (!data || !g_variant_is_of_type(data.get(), G_VARIANT_TYPE("a{ss}"))) return out;
  GVariantIter iter;
  g_variant_iter_init(&iter, data.get());
  const gchar* key = nullptr;
  const gchar* value = nullptr;
  while (g_variant_iter_next(&iter, "{&s&s}", &key, &value)) out[key] = value;
  return out;
}

void SetUserData(nm::Settings& settings, const std::map<std::string, std::string>& data) {
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("a{ss}"));
  for (const auto& [k, v] : data) g_variant_builder_add(&b, "{ss}", k.c_str(), v.c_str());
  settings["user"]["data"] = nm::Adopt(g_variant_builder_end(&b));
}

}  // namespace

struct NmNetSharing::State {
  std::filesystem::path sysfsRoot;
  mutable std::mutex mutex;
  std::map<std::string, SHARINGCONNECTIONTYPE> roles;  // by GUID text
};

namespace {

using State = NmNetSharing::State;

// What one manager object and everything it hands out share.
struct Context {
  std::shared_ptr<nm::Bus> bus;
  std::shared_ptr<State> state;
  std::map<std::string, std::string> guids;  // interface name → GUID text
  std::map<std::string, std::uint32_t> ifindex;

  // The GUIDs of every interface sysfs shows, and of NetworkManager's devices
  // that it does not, derived the same way from what NetworkManager reports.
  void DeriveGuids(const std::vector<std::string>& devices) {
    auto interfaces = linuxnet::SysfsNet(state->sysfsRoot).ReadAll();
    std::map<std::string, bool> known;
    for (const auto& i : interfaces) known[i.name] = true;
    for (const auto& path : devices) {
      const std::string name = InterfaceOf(path);
      if (name.empty() || known.count(name) != 0) continue;
      known[name] = true;
      linuxnet::SysfsInterface i;
      i.name = name;
      i.type = linuxnet::ARPHRD_ETHER_;
      i.permanentMac = linuxnet::ParseMac(DeviceAddress(*bus, path, "PermHwAddress"));
      i.mac = linuxnet::ParseMac(DeviceAddress(*bus, path, "HwAddress"));
      interfaces.push_back(std::move(i));
    }
    // Appended interfaces own no address that sysfs already names, so the
    // inventory's GUIDs come out unchanged.
    linuxnet::AssignGuids(interfaces);
    for (const auto& i : interfaces) {
      guids[i.name] = i.guid;
      if (i.ifindex != 0) ifindex[i.name] = i.ifindex;
    }
  }

  std::string InterfaceOf(const std::string& devicePath) const {
    try {
      return nm::AsString(bus->Get(devicePath, nm::kDeviceIface, "Interface"));
    } catch (const nm::NmError&) {
      return {};
    }
  }

  // Saved profiles that we switched to shared on this interface.
  std::vector<std::pair<std::string, nm::Settings>> MarkedProfiles(const std::string& iface) const {
    std::vector<std::pair<std::string, nm::Settings>> out;
    for (const auto& path : nm::Connections(*bus)) {
      auto settings = nm::ConnectionSettings(*bus, path);
      if (!settings) continue;
      const auto data = UserData(*settings);
      const auto it = data.find(kNmSharedDeviceKey);
      if (it != data.end() && it->second == iface && data.count(kNmPreviousMethodKey) != 0)
        out.emplace_back(path, std::move(*settings));
    }
    return out;
  }

  // Makes a changed profile take effect where it is active; a device that
  // cannot reapply picks it up at its next activation.
  void Reapply(const std::string& devicePath, const std::string& profilePath) const {
    if (nm::ActiveSettingsPath(*bus, devicePath) != profilePath) return;
    try {
      bus->Call(devicePath, nm::kDeviceIface, "Reapply", g_variant_new("(a{sa{sv}}tu)", nullptr, static_cast<guint64>(0), static_cast<guint32>(0)));
    } catch (const nm::NmError&) {
    }
  }
};

class ConnectionObject final : public INetConnection, public std::enable_shared_from_this<ConnectionObject> {
 public:
  ConnectionObject(std::shared_ptr<Context> ctx, std::string path) : ctx_(std::move(ctx)), path_(std::move(path)) {}

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    return AnswerQuery<INetConnection>(iid, shared_from_this(), out);
  }

  HRESULT GetProperties(NETCON_PROPERTIES& p) override {
    const auto props = ctx_->bus->GetAll(path_, nm::kDeviceIface);
    const std::string iface = nm::AsString(nm::Lookup(props, "Interface"));
    if (iface.empty()) return E_FAIL;  // the device went away
    const auto guid = StringToGuid(Guid());
    if (!guid) return E_FAIL;
    p = NETCON_PROPERTIES{};
    p.guidId = *guid;

    std::string name = iface;
    const std::string active = nm::AsString(nm::Lookup(props, "ActiveConnection"));
    if (!active.empty() && active != "/") {
      try {
        const std::string id = nm::AsString(ctx_->bus->Get(active, nm::kActiveIface, "Id"));
        if (!id.empty()) name = id;
      } catch (const nm::NmError&) {
      }
    }
    std::string device;
    if (ctx_->state->sysfsRoot == std::filesystem::path("/sys")) {
      if (const auto it = ctx_->ifindex.find(iface); it != ctx_->ifindex.end()) device = linuxnet::UdevModel(it->second);
    }
    if (device.empty()) device = nm::AsString(nm::Lookup(props, "Driver"));
    if (device.empty()) device = iface;
    p.pszwName = kestrune::AnsiToWide(name);
    p.pszwDeviceName = kestrune::AnsiToWide(device);
    p.Status = StatusOf(nm::AsUint32(nm::Lookup(props, "State")));
    p.MediaType = MediaTypeOf(nm::AsUint32(nm::Lookup(props, "DeviceType")));
    return S_OK;
  }

  const std::string& Path() const { return path_; }
  std::string Interface() const { return ctx_->InterfaceOf(path_); }
  std::string Guid() const {
    const auto it = ctx_->guids.find(Interface());
    return it != ctx_->guids.end() ? it->second : std::string();
  }

 private:
  std::shared_ptr<Context> ctx_;
  std::string path_;
};

class ConfigurationObject final : public INetSharingConfiguration,
                                  public std::enable_shared_from_this<ConfigurationObject> {
 public:
  ConfigurationObject(std::shared_ptr<Context> ctx, std::string path, std::string iface, std::string guid)
      : ctx_(std::move(ctx)), path_(std::move(path)), iface_(std::move(iface)), guid_(std::move(guid)) {}

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    return AnswerQuery<INetSharingConfiguration>(iid, shared_from_this(), out);
  }

  HRESULT get_SharingEnabled(VARIANT_BOOL& enabled) override {
    {
      std::lock_guard lock(ctx_->state->mutex);
      if (ctx_->state->roles.count(guid_) != 0) {
        enabled = VARIANT_TRUE;
        return S_OK;
      }
    }
    try {
      // A profile still marked by an earlier run shares too, until switched off.
      enabled = ctx_->MarkedProfiles(iface_).empty() ? VARIANT_FALSE : VARIANT_TRUE;
      return S_OK;
    } catch (const nm::NmError& e) {
      return FromError(e);
    }
  }

  HRESULT DisableSharing() override {
    {
      std::lock_guard lock(ctx_->state->mutex);
      ctx_->state->roles.erase(guid_);
    }
    try {
      for (auto& [profile, settings] : ctx_->MarkedProfiles(iface_)) {
        auto data = UserData(settings);
        // A method the user changed since is theirs; only our mark goes.
        if (nm::AsString(nm::SettingValue(settings, "ipv4", "method")) == "shared")
          settings["ipv4"]["method"] = nm::Adopt(nm::StringValue(data[kNmPreviousMethodKey]));
        data.erase(kNmPreviousMethodKey);
        data.erase(kNmSharedDeviceKey);
        SetUserData(settings, data);
        ctx_->bus->Call(profile, nm::kConnectionIface, "Update", g_variant_new("(@a{sa{sv}})", nm::BuildSettings(settings)));
        ctx_->Reapply(path_, profile);
      }
      return S_OK;
    } catch (const nm::NmError& e) {
      return FromError(e);
    }
  }

  HRESULT EnableSharing(SHARINGCONNECTIONTYPE type) override {
    if (type != ICSSHARINGTYPE_PUBLIC && type != ICSSHARINGTYPE_PRIVATE) return E_INVALIDARG;
    if (type == ICSSHARINGTYPE_PRIVATE) {
      try {
        const std::string profile = nm::ActiveSettingsPath(*ctx_->bus, path_);
        if (!profile.empty()) {
          auto settings = nm::ConnectionSettings(*ctx_->bus, profile);
          if (!settings) return E_FAIL;
          const std::string method = nm::AsString(nm::SettingValue(*settings, "ipv4", "method"), "auto");
          auto data = UserData(*settings);
          // A Wi-Fi client profile is someone else's network: serving addresses
          // there would be wrong, and our own network replaces it anyway.
          const bool client =
              nm::AsString(nm::SettingValue(*settings, "connection", "type")) == "802-11-wireless" &&
              nm::AsString(nm::SettingValue(*settings, "802-11-wireless", "mode"), "infrastructure") == "infrastructure";
          // A profile that already shares by the user's own choice stays as it is.
          if (method != "shared" && !client) {
            data[kNmPreviousMethodKey] = method;
            data[kNmSharedDeviceKey] = iface_;
            SetUserData(*settings, data);
            (*settings)["ipv4"]["method"] = nm::Adopt(nm::StringValue("shared"));
            ctx_->bus->Call(profile, nm::kConnectionIface, "Update",
                            g_variant_new("(@a{sa{sv}})", nm::BuildSettings(*settings)));
            ctx_->Reapply(path_, profile);
          }
        }
      } catch (const nm::NmError& e) {
        return FromError(e);
      }
    }
    std::lock_guard lock(ctx_->state->mutex);
    ctx_->state->roles[guid_] = type;
    return S_OK;
  }

 private:
  std::shared_ptr<Context> ctx_;
  std::string path_;
  std::string iface_;
  std::string guid_;
};

class EnumObject final : public IEnumVARIANT, public std::enable_shared_from_this<EnumObject> {
 public:
  EnumObject(std::shared_ptr<Context> ctx, std::vector<std::string> devices)
      : ctx_(std::move(ctx)), devices_(std::move(devices)) {}

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    return AnswerQuery<IEnumVARIANT>(iid, shared_from_this(), out);
  }

  HRESULT Next(std::uint32_t celt, OleVariant& element, std::uint32_t* fetched) override {
    if (fetched) *fetched = 0;
    element.unknown.reset();
    if (celt != 1) return E_INVALIDARG;
    while (position_ < devices_.size()) {
      const std::string& path = devices_[position_++];
      std::uint32_t type = NM_DEVICE_TYPE_UNKNOWN;
      try {
        type = nm::AsUint32(ctx_->bus->Get(path, nm::kDeviceIface, "DeviceType"));
      } catch (const nm::NmError&) {
        continue;  // gone since the enumeration began
      }
      if (type == NM_DEVICE_TYPE_LOOPBACK) continue;
      element.unknown = std::make_shared<ConnectionObject>(ctx_, path);
      if (fetched) *fetched = 1;
      return S_OK;
    }
    return S_FALSE;
  }

 private:
  std::shared_ptr<Context> ctx_;
  std::vector<std::string> devices_;
  std::size_t position_ = 0;
};

class CollectionObject final : public INetSharingEveryConnectionCollection,
                               public std::enable_shared_from_this<CollectionObject> {
 public:
  explicit CollectionObject(std::shared_ptr<Context> ctx) : ctx_(std::move(ctx)) {}

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    return AnswerQuery<INetSharingEveryConnectionCollection>(iid, shared_from_this(), out);
  }

  HRESULT get__NewEnum(std::shared_ptr<IUnknown>& enumerator) override {
    enumerator.reset();
    try {
      auto devices = nm::Devices(*ctx_->bus);
      ctx_->DeriveGuids(devices);
      enumerator = std::make_shared<EnumObject>(ctx_, std::move(devices));
      return S_OK;
    } catch (const nm::NmError& e) {
      return FromError(e);
    }
  }

 private:
  std::shared_ptr<Context> ctx_;
};

class ManagerObject final : public INetSharingManager, public std::enable_shared_from_this<ManagerObject> {
 public:
  explicit ManagerObject(std::shared_ptr<Context> ctx) : ctx_(std::move(ctx)) {}

  HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) override {
    return AnswerQuery<INetSharingManager>(iid, shared_from_this(), out);
  }

  HRESULT get_INetSharingConfigurationForINetConnection(
      const std::shared_ptr<INetConnection>& connection,
      std::shared_ptr<INetSharingConfiguration>& configuration) override {
    configuration.reset();
    const auto own = std::dynamic_pointer_cast<ConnectionObject>(connection);
    if (!own) return E_INVALIDARG;  // not one of ours
    const std::string iface = own->Interface();
    const std::string guid = own->Guid();
    if (iface.empty() || guid.empty()) return E_FAIL;
    configuration = std::make_shared<ConfigurationObject>(ctx_, own->Path(), iface, guid);
    return S_OK;
  }

  HRESULT get_EnumEveryConnection(std::shared_ptr<INetSharingEveryConnectionCollection>& collection) override {
    collection = std::make_shared<CollectionObject>(ctx_);
    return S_OK;
  }

 private:
  std::shared_ptr<Context> ctx_;
};

}  // namespace

NmNetSharing::NmNetSharing(std::filesystem::path sysfsRoot) : state_(std::make_shared<State>()) {
  state_->sysfsRoot = std::move(sysfsRoot);
}

NmNetSharing::~NmNetSharing() = default;

HRESULT NmNetSharing::CoCreateInstance(const GUID& clsid, std::shared_ptr<IUnknown>& object) {
  object.reset();
  if (clsid != CLSID_NetSharingManager) return REGDB_E_CLASSNOTREG;
  auto ctx = std::make_shared<Context>();
  ctx->state = state_;
  try {
    ctx->bus = nm::Bus::ConnectSystem();
  } catch (const nm::NmError&) {
    return REGDB_E_CLASSNOTREG;
  }
  if (!ctx->bus->NameHasOwner(nm::kService)) return REGDB_E_CLASSNOTREG;
  object = std::make_shared<ManagerObject>(std::move(ctx));
  return S_OK;
}

std::optional<SHARINGCONNECTIONTYPE> NmNetSharing::SharingConnectionType(const std::string& guid) const {
  std::lock_guard lock(state_->mutex);
  const auto it = state_->roles.find(guid);
  if (it == state_->roles.end()) return std::nullopt;
  return it->second;
}

std::unique_ptr<INetSharingProvider> CreateLinuxNetSharing() { return std::make_unique<NmNetSharing>(); }

}  // namespace kestrune::platform
