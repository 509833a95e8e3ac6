// The wireless library over NetworkManager: the eight functions of the
// wireless boundary, talking to NetworkManager on the system bus.
//
// Interfaces are NetworkManager's Wi-Fi devices, named by their interface
// name. Networks are the device's access points, one entry per name, kind and
// mode (the strongest one stands for the rest). Security kinds:
//   1  WEP, or an open ad hoc network: how our own network is broadcast, ad hoc
//      or as an access point (an access point reads as infrastructure to others)
//   2  WPA, WPA2 or WPA3 (any WPA or RSN flag)
//   3  an open infrastructure network
// ConnectParamA is a hash of the access point's hardware address, so that
// Connect picks the same access point again; ConnectParamB its 802.11 mode.
// Connect takes the security from the access point itself, and refuses a key
// that cannot be one for it.
//
// Every profile we add is named "KESTRUNE <ssid>": AddSsid's hosted network
// (ipv4.method "shared", so NetworkManager serves addresses and masquerades)
// and Connect's client profile. DeleteSsid removes those for the name, and
// nothing else. AddSsid and Connect wait, bounded, until the activation has
// come up, so that 0 means the network is there.
//
// Notifications (code 10 when a Wi-Fi device reaches "activated", 21 when it
// leaves it) come from a thread of the library's own that runs a GLib main
// context for the bus signals.
#include <NetworkManager.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/linux/NmDbus.h"
#include "wireless/wifi.h"


namespace nm = kestrune::platform::nm;

namespace {

constexpr std::uint32_t kOk = 0;
constexpr std::uint32_t kErrAccessDenied = 5;
constexpr std::uint32_t kErrNotSupported = 50;
constexpr std::uint32_t kErrInvalidPassword = 86;
constexpr std::uint32_t kErrInvalidParameter = 87;
constexpr std::uint32_t kErrServiceNotActive = 1062;
constexpr std::uint32_t kErrNotFound = 1168;
constexpr std::uint32_t kErrConnectionAborted = 1236;
constexpr std::uint32_t kErrTimeout = 1460;
constexpr std::uint32_t kErrFailure = 31;

constexpr std::uint32_t kSourceAcm = 0x8;
constexpr std::uint32_t kNotConnected = 1;
constexpr std::uint8_t kKindOwn = 1;
constexpr std::uint8_t kKindWpa = 2;
constexpr std::uint8_t kKindOpen = 3;
constexpr std::size_t kMaxSsidBytes = 32;
constexpr auto kActivationTimeout = std::chrono::seconds(30);
constexpr auto kActivationPoll = std::chrono::milliseconds(50);
const std::string kMarker = "KESTRUNE ";

thread_local bool tlsInWorker = false;

std::uint32_t ErrorOf(const nm::NmError& e) {
  const std::string& name = e.DbusName();
  if (name.find("PermissionDenied") != std::string::npos || name.find("AccessDenied") != std::string::npos)
    return kErrAccessDenied;
  if (name.empty() || name.find("ServiceUnknown") != std::string::npos ||
      name.find("NameHasNoOwner") != std::string::npos)
    return kErrServiceNotActive;
  return kErrFailure;
}

// Strict UTF-16 → UTF-8; nullopt for unpaired surrogates.
std::optional<std::string> ToUtf8(const char16_t* text) {
  glong length = 0;
  while (text[length] != 0) ++length;
  gchar* out = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(text), length, nullptr, nullptr, nullptr);
  if (out == nullptr) return std::nullopt;
  std::string s(out);
  g_free(out);
  return s;
}

std::u16string ToUtf16(const std::string& utf8) {
  gunichar2* out = g_utf8_to_utf16(utf8.c_str(), static_cast<glong>(utf8.size()), nullptr, nullptr, nullptr);
  if (out == nullptr) return {};
  std::u16string s(reinterpret_cast<const char16_t*>(out));
  g_free(out);
  return s;
}

// An SSID's octets as text for the user: UTF-8 when they are, else a guess.
std::u16string SsidText(const std::string& octets) {
  if (octets.empty()) return {};
  gchar* text = nm_utils_ssid_to_utf8(reinterpret_cast<const guint8*>(octets.data()), octets.size());
  std::u16string out = text != nullptr ? ToUtf16(text) : std::u16string();
  g_free(text);
  return out;
}

std::uint32_t HashText(const std::string& text) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

std::uint8_t KindOf(std::uint32_t flags, std::uint32_t wpa, std::uint32_t rsn, std::uint32_t mode) {
  if ((wpa | rsn) != 0) return kKindWpa;
  if ((flags & NM_802_11_AP_FLAGS_PRIVACY) != 0) return kKindOwn;
  if (mode == NM_802_11_MODE_ADHOC) return kKindOwn;
  return kKindOpen;
}

enum class KeyKind { Open, Wep, Psk, Invalid };

KeyKind KeyKindOf(const std::string& key) {
  if (key.empty()) return KeyKind::Open;
  if (nm_utils_wep_key_valid(key.c_str(), NM_WEP_KEY_TYPE_KEY)) return KeyKind::Wep;
  if (nm_utils_wpa_psk_valid(key.c_str())) return KeyKind::Psk;
  return KeyKind::Invalid;
}

void AddSecurity(nm::Settings& s, KeyKind kind, const std::string& key) {
  auto& sec = s["802-11-wireless-security"];
  if (kind == KeyKind::Wep) {
    sec["key-mgmt"] = nm::Adopt(nm::StringValue("none"));
    sec["auth-alg"] = nm::Adopt(nm::StringValue("open"));
    sec["wep-key0"] = nm::Adopt(nm::StringValue(key));
    sec["wep-key-type"] = nm::Adopt(g_variant_new_uint32(NM_WEP_KEY_TYPE_KEY));
  } else {
    sec["key-mgmt"] = nm::Adopt(nm::StringValue("wpa-psk"));
    sec["psk"] = nm::Adopt(nm::StringValue(key));
  }
}

struct AccessPoint {
  std::string path;
  std::string ssid;  // octets
  std::uint8_t kind = 0;
  std::uint32_t mode = 0;
  std::uint32_t flags = 0;
  std::uint32_t wpa = 0;
  std::uint32_t rsn = 0;
  std::uint8_t strength = 0;
  std::uint32_t frequency = 0;
  std::uint32_t hash = 0;
  bool connected = false;
};

// Our own profiles: their path and uuid, as NetworkManager may hand a path on.
struct OwnProfile {
  std::string path;
  std::string uuid;
};

struct Event {
  TWifiNotification notification{};
  TWifiConnectionData data{};
};

class Library {
 public:
  ~Library() {
    std::thread worker;
    {
      std::lock_guard lock(mutex_);
      callback_ = nullptr;
      stop_ = true;
      if (loop_ != nullptr) g_main_loop_quit(loop_);
      worker = std::move(thread_);
    }
    if (worker.joinable()) {
      if (tlsInWorker)
        worker.detach();
      else
        worker.join();
    }
  }

  std::uint32_t EnumInterface(TWifiInterfaceList* list) {
    if (list == nullptr) return kErrInvalidParameter;
    std::memset(list, 0, sizeof *list);
    try {
      auto bus = Bus();
      std::uint32_t n = 0;
      for (const auto& path : nm::Devices(*bus)) {
        if (n == kWifiMaxInterfaces) break;
        const auto props = bus->GetAll(path, nm::kDeviceIface);
        if (nm::AsUint32(nm::Lookup(props, "DeviceType")) != NM_DEVICE_TYPE_WIFI) continue;
        const std::string iface = nm::AsString(nm::Lookup(props, "Interface"));
        if (iface.empty()) continue;
        list->Entries[n++].Id = Intern(ToUtf16(iface));
      }
      list->Count = n;
      return kOk;
    } catch (const nm::NmError& e) {
      return ErrorOf(e);
    }
  }

  std::uint32_t GetVisibleNetworkList(const char16_t* id, TWifiNetworkList* list) {
    if (id == nullptr || list == nullptr) return kErrInvalidParameter;
    std::memset(list, 0, sizeof *list);
    try {
      auto bus = Bus();
      const std::string device = FindDevice(*bus, id);
      if (device.empty()) return kErrInvalidParameter;
      auto aps = Networks(*bus, device);
      // Crowded air: the connected network and the strongest others, in order.
      if (aps.size() > kWifiMaxNetworks) {
        std::vector<std::size_t> order(aps.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
          if (aps[a].connected != aps[b].connected) return aps[a].connected;
          return aps[a].strength > aps[b].strength;
        });
        order.resize(kWifiMaxNetworks);
        std::sort(order.begin(), order.end());
        std::vector<AccessPoint> kept;
        for (auto i : order) kept.push_back(aps[i]);
        aps = std::move(kept);
      }
      std::uint32_t n = 0;
      for (const auto& ap : aps) {
        TWifiNetworkEntry& e = list->Entries[n++];
        const std::u16string name = SsidText(ap.ssid).substr(0, kWifiSSIDUnits - 1);
        std::copy(name.begin(), name.end(), e.SSID);
        e.AuxByte = ap.strength;
        e.State = ap.connected ? 0 : kNotConnected;
        e.Security = ap.kind;
        e.AuxValue = ap.frequency;
        e.ConnectParamA = ap.hash;
        e.ConnectParamB = ap.mode;
      }
      list->Count = n;
      return kOk;
    } catch (const nm::NmError& e) {
      return ErrorOf(e);
    }
  }

  std::uint32_t Connect(const char16_t* id, const char16_t* ssid, const char16_t* key, std::uint32_t /*security*/,
                        std::uint32_t paramA, std::uint32_t paramB) {
    if (id == nullptr || ssid == nullptr || key == nullptr) return kErrInvalidParameter;
    const auto name = ToUtf8(ssid);
    const auto secret = ToUtf8(key);
    if (!name || name->empty() || name->size() > kMaxSsidBytes || !secret) return kErrInvalidParameter;
    try {
      auto bus = Bus();
      const std::string device = FindDevice(*bus, id);
      if (device.empty()) return kErrInvalidParameter;
      // The access point listed with these parameters, else the strongest of that name.
      const AccessPoint* chosen = nullptr;
      const auto aps = AccessPoints(*bus, device);
      for (const auto& ap : aps) {
        if (ap.ssid != *name) continue;
        if (ap.hash == paramA && ap.mode == paramB) {
          chosen = &ap;
          break;
        }
        if (chosen == nullptr || ap.strength > chosen->strength) chosen = &ap;
      }
      if (chosen == nullptr) return kErrNotFound;

      nm::Settings s;
      s["connection"]["id"] = nm::Adopt(nm::StringValue(kMarker + *name));
      s["connection"]["type"] = nm::Adopt(nm::StringValue("802-11-wireless"));
      s["connection"]["autoconnect"] = nm::Adopt(g_variant_new_boolean(FALSE));
      s["802-11-wireless"]["ssid"] = nm::Adopt(nm::BytesValue(*name));
      s["802-11-wireless"]["mode"] =
          nm::Adopt(nm::StringValue(chosen->mode == NM_802_11_MODE_ADHOC ? "adhoc" : "infrastructure"));
      if ((chosen->wpa | chosen->rsn) != 0) {
        // The network decides how the key reads: 13 characters are a WPA passphrase here.
        if (!nm_utils_wpa_psk_valid(secret->c_str())) return kErrInvalidPassword;
        AddSecurity(s, KeyKind::Psk, *secret);
      } else if ((chosen->flags & NM_802_11_AP_FLAGS_PRIVACY) != 0) {
        if (!nm_utils_wep_key_valid(secret->c_str(), NM_WEP_KEY_TYPE_KEY)) return kErrInvalidPassword;
        AddSecurity(s, KeyKind::Wep, *secret);
      }

      RemoveOwnProfiles(*bus, *name, Interface(id));
      NoteRequested(device, *name);
      const nm::Variant reply =
          bus->Call(nm::kManagerPath, nm::kManagerIface, "AddAndActivateConnection",
                    g_variant_new("(@a{sa{sv}}oo)", nm::BuildSettings(s), device.c_str(), chosen->path.c_str()), "(oo)");
      const gchar* profile = nullptr;
      const gchar* active = nullptr;
      g_variant_get(reply.get(), "(&o&o)", &profile, &active);
      Remember(*bus, *name, profile);
      return Settle(*bus, *name, profile, active);
    } catch (const nm::NmError& e) {
      return ErrorOf(e);
    }
  }

  std::uint32_t Disconnect(const char16_t* id) {
    if (id == nullptr) return kErrInvalidParameter;
    try {
      auto bus = Bus();
      const std::string device = FindDevice(*bus, id);
      if (device.empty()) return kErrInvalidParameter;
      bus->Call(device, nm::kDeviceIface, "Disconnect", nullptr);
      return kOk;
    } catch (const nm::NmError& e) {
      return ErrorOf(e);
    }
  }

  std::uint32_t AddSsid(const char16_t* id, const char16_t* ssid, const char16_t* key) {
    if (id == nullptr || ssid == nullptr || key == nullptr) return kErrInvalidParameter;
    const auto name = ToUtf8(ssid);
    const auto secret = ToUtf8(key);
    if (!name || name->empty() || name->size() > kMaxSsidBytes || !secret) return kErrInvalidParameter;
    const KeyKind keyKind = KeyKindOf(*secret);
    if (keyKind == KeyKind::Invalid) return kErrInvalidParameter;
    try {
      auto bus = Bus();
      const std::string device = FindDevice(*bus, id);
      if (device.empty()) return kErrInvalidParameter;
      std::uint32_t caps = 0;
      try {
        caps = nm::AsUint32(bus->Get(device, nm::kWirelessIface, "WirelessCapabilities"));
      } catch (const nm::NmError&) {
      }
      // Ad hoc as the network is meant to be; an access point where the
      // adapter cannot, and for WPA keys, which ad hoc does not carry.
      const bool adhoc = (caps & NM_WIFI_DEVICE_CAP_ADHOC) != 0 || caps == 0;
      const bool ap = (caps & NM_WIFI_DEVICE_CAP_AP) != 0;
      const char* mode = nullptr;
      if (keyKind == KeyKind::Psk)
        mode = ap ? "ap" : nullptr;
      else
        mode = adhoc ? "adhoc" : (ap ? "ap" : nullptr);
      if (mode == nullptr) return kErrNotSupported;

      const std::string iface = Interface(id);
      gchar* uuid = g_uuid_string_random();
      nm::Settings s;
      s["connection"]["id"] = nm::Adopt(nm::StringValue(kMarker + *name));
      s["connection"]["uuid"] = nm::Adopt(nm::StringValue(uuid));
      s["connection"]["type"] = nm::Adopt(nm::StringValue("802-11-wireless"));
      s["connection"]["autoconnect"] = nm::Adopt(g_variant_new_boolean(FALSE));
      s["connection"]["interface-name"] = nm::Adopt(nm::StringValue(iface));
      g_free(uuid);
      s["802-11-wireless"]["ssid"] = nm::Adopt(nm::BytesValue(*name));
      s["802-11-wireless"]["mode"] = nm::Adopt(nm::StringValue(mode));
      if (keyKind != KeyKind::Open) AddSecurity(s, keyKind, *secret);
      s["ipv4"]["method"] = nm::Adopt(nm::StringValue("shared"));
      s["ipv6"]["method"] = nm::Adopt(nm::StringValue("ignore"));

      RemoveOwnProfiles(*bus, *name, iface);
      const nm::Variant added = bus->Call(nm::kSettingsPath, nm::kSettingsIface, "AddConnection",
                                          g_variant_new("(@a{sa{sv}})", nm::BuildSettings(s)), "(o)");
      const gchar* profile = nullptr;
      g_variant_get(added.get(), "(&o)", &profile);
      const std::string profilePath = profile;
      Remember(*bus, *name, profilePath);
      std::string active;
      NoteRequested(device, *name);
      try {
        const nm::Variant reply = bus->Call(nm::kManagerPath, nm::kManagerIface, "ActivateConnection",
                                            g_variant_new("(ooo)", profilePath.c_str(), device.c_str(), "/"), "(o)");
        const gchar* a = nullptr;
        g_variant_get(reply.get(), "(&o)", &a);
        active = a;
      } catch (const nm::NmError& e) {
        DeleteProfile(*bus, *name, profilePath);
        return ErrorOf(e);
      }
      return Settle(*bus, *name, profilePath, active);
    } catch (const nm::NmError& e) {
      return ErrorOf(e);
    }
  }

  std::uint32_t DeleteSsid(const char16_t* id, const char16_t* ssid) {
    if (id == nullptr || ssid == nullptr) return kErrInvalidParameter;
    const auto name = ToUtf8(ssid);
    if (!name) return kErrInvalidParameter;
    try {
      auto bus = Bus();
      const auto removed = RemoveOwnProfiles(*bus, *name, Interface(id));
      if (!removed) return kErrFailure;
      return *removed == 0 ? kErrNotFound : kOk;
    } catch (const nm::NmError& e) {
      return ErrorOf(e);
    }
  }

  std::uint32_t RegisterNotification(TWifiNotificationCallback callback) {
    if (callback == nullptr) return kErrInvalidParameter;
    std::unique_lock lock(mutex_);
    for (;;) {
      if (!thread_.joinable()) break;
      if (!stop_ || tlsInWorker) {
        // Running, or re-registered from inside a callback: the same thread goes on.
        stop_ = false;
        callback_ = callback;
        return kOk;
      }
      // A worker told to stop from inside its callback is still winding down.
      std::thread old = std::move(thread_);
      lock.unlock();
      old.join();
      lock.lock();
    }
    std::shared_ptr<nm::Bus> bus;
    try {
      lock.unlock();
      bus = Bus();
      lock.lock();
    } catch (const nm::NmError& e) {
      return ErrorOf(e);
    }
    if (thread_.joinable()) {  // another caller started one meanwhile
      callback_ = callback;
      return kOk;
    }
    stop_ = false;
    started_ = false;
    callback_ = callback;
    thread_ = std::thread([this, bus] { Run(bus); });
    // The subscription exists before we return, so no event of a later call is missed.
    started_cv_.wait(lock, [this] { return started_; });
    return kOk;
  }

  std::uint32_t UnRegisterNotification() {
    std::thread worker;
    {
      std::lock_guard lock(mutex_);
      callback_ = nullptr;
      stop_ = true;
      if (loop_ != nullptr) g_main_loop_quit(loop_);
      // From inside a callback the worker cannot wait for itself; it ends when
      // the callback returns, and a later register or unload joins it.
      if (tlsInWorker) return kOk;
      worker = std::move(thread_);
    }
    if (worker.joinable()) worker.join();
    // Another caller may be joining the worker: wait out a callback in flight.
    std::lock_guard quiet(callbackMutex_);
    return kOk;
  }

 private:
  // One connection for the calls, made again when the bus went away or the
  // system bus is now another one.
  std::shared_ptr<nm::Bus> Bus() {
    std::lock_guard lock(busMutex_);
    if (!bus_ || bus_->Closed() || bus_->Address() != nm::Bus::SystemAddress()) {
      bus_.reset();
      bus_ = nm::Bus::ConnectSystem();
    }
    return bus_;
  }

  const char16_t* Intern(const std::u16string& text) {
    // Identity strings live as long as the library, so no caller's pointer goes stale.
    std::lock_guard lock(internMutex_);
    for (const auto& s : interned_)
      if (s == text) return s.c_str();
    return interned_.emplace_back(text).c_str();
  }

  static std::string Interface(const char16_t* id) { return ToUtf8(id).value_or(std::string()); }

  static std::string FindDevice(nm::Bus& bus, const char16_t* id) {
    const std::string iface = Interface(id);
    if (iface.empty()) return {};
    for (const auto& path : nm::Devices(bus)) {
      const auto props = bus.GetAll(path, nm::kDeviceIface);
      if (nm::AsUint32(nm::Lookup(props, "DeviceType")) == NM_DEVICE_TYPE_WIFI &&
          nm::AsString(nm::Lookup(props, "Interface")) == iface)
        return path;
    }
    return {};
  }

  // The access point the device is connected to, or empty.
  static std::string ActiveAccessPoint(nm::Bus& bus, const std::string& device) {
    try {
      if (nm::AsUint32(bus.Get(device, nm::kDeviceIface, "State")) != NM_DEVICE_STATE_ACTIVATED) return {};
    } catch (const nm::NmError&) {
      return {};
    }
    try {
      const std::string ap = nm::AsString(bus.Get(device, nm::kWirelessIface, "ActiveAccessPoint"));
      if (!ap.empty() && ap != "/") return ap;
    } catch (const nm::NmError&) {
    }
    try {
      const std::string active = nm::AsString(bus.Get(device, nm::kDeviceIface, "ActiveConnection"));
      if (active.empty() || active == "/") return {};
      const std::string ap = nm::AsString(bus.Get(active, nm::kActiveIface, "SpecificObject"));
      return ap == "/" ? std::string() : ap;
    } catch (const nm::NmError&) {
      return {};
    }
  }

  static std::vector<AccessPoint> AccessPoints(nm::Bus& bus, const std::string& device) {
    std::vector<AccessPoint> out;
    const std::string active = ActiveAccessPoint(bus, device);
    for (const auto& path : nm::AsStrings(bus.Get(device, nm::kWirelessIface, "AccessPoints"))) {
      const auto props = bus.GetAll(path, nm::kAccessPointIface);
      if (props.empty()) continue;  // gone since the list was read
      AccessPoint ap;
      ap.path = path;
      ap.ssid = nm::AsBytes(nm::Lookup(props, "Ssid"));
      ap.flags = nm::AsUint32(nm::Lookup(props, "Flags"));
      ap.wpa = nm::AsUint32(nm::Lookup(props, "WpaFlags"));
      ap.rsn = nm::AsUint32(nm::Lookup(props, "RsnFlags"));
      ap.mode = nm::AsUint32(nm::Lookup(props, "Mode"));
      ap.strength = static_cast<std::uint8_t>(nm::AsUint32(nm::Lookup(props, "Strength")));
      ap.frequency = nm::AsUint32(nm::Lookup(props, "Frequency"));
      ap.hash = HashText(nm::AsString(nm::Lookup(props, "HwAddress")));
      ap.kind = KindOf(ap.flags, ap.wpa, ap.rsn, ap.mode);
      ap.connected = !active.empty() && path == active;
      out.push_back(std::move(ap));
    }
    return out;
  }

  // One entry per name, kind and mode; hidden networks have no name to list.
  static std::vector<AccessPoint> Networks(nm::Bus& bus, const std::string& device) {
    std::vector<AccessPoint> out;
    for (auto& ap : AccessPoints(bus, device)) {
      if (ap.ssid.empty()) continue;
      auto same = std::find_if(out.begin(), out.end(), [&](const AccessPoint& o) {
        return o.ssid == ap.ssid && o.kind == ap.kind && o.mode == ap.mode;
      });
      if (same == out.end()) {
        out.push_back(std::move(ap));
        continue;
      }
      const bool connected = same->connected || ap.connected;
      if (ap.connected || (!same->connected && ap.strength > same->strength)) *same = std::move(ap);
      same->connected = connected;
    }
    return out;
  }

  // The network this library last asked a device to bring up. The notification
  // thread reads a device's state late, when the profile may be gone already.
  void NoteRequested(const std::string& device, const std::string& ssid) {
    std::lock_guard lock(mutex_);
    requested_[device] = ssid;
  }

  std::string Requested(const std::string& device) {
    std::lock_guard lock(mutex_);
    const auto it = requested_.find(device);
    return it != requested_.end() ? it->second : std::string();
  }

  void Remember(nm::Bus& bus, const std::string& ssid, const std::string& profile) {
    OwnProfile own{profile, {}};
    if (const auto s = nm::ConnectionSettings(bus, profile))
      own.uuid = nm::AsString(nm::SettingValue(*s, "connection", "uuid"));
    std::lock_guard lock(mutex_);
    own_[ssid].push_back(std::move(own));
  }

  // Waits until the activation is up. A failed or stuck one is taken down
  // with its profile, so that a failure leaves nothing behind.
  std::uint32_t Settle(nm::Bus& bus, const std::string& ssid, const std::string& profile, const std::string& active) {
    const auto deadline = std::chrono::steady_clock::now() + kActivationTimeout;
    for (;;) {
      std::uint32_t state = NM_ACTIVE_CONNECTION_STATE_DEACTIVATED;
      try {
        state = nm::AsUint32(bus.Get(active, nm::kActiveIface, "State"), NM_ACTIVE_CONNECTION_STATE_DEACTIVATED);
      } catch (const nm::NmError&) {
      }
      if (state == NM_ACTIVE_CONNECTION_STATE_ACTIVATED) return kOk;
      if (state == NM_ACTIVE_CONNECTION_STATE_DEACTIVATED || state == NM_ACTIVE_CONNECTION_STATE_DEACTIVATING) {
        DeleteProfile(bus, ssid, profile);
        return kErrConnectionAborted;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        try {
          bus.Call(nm::kManagerPath, nm::kManagerIface, "DeactivateConnection", g_variant_new("(o)", active.c_str()));
        } catch (const nm::NmError&) {
        }
        DeleteProfile(bus, ssid, profile);
        return kErrTimeout;
      }
      std::this_thread::sleep_for(kActivationPoll);
    }
  }

  void DeleteProfile(nm::Bus& bus, const std::string& ssid, const std::string& profile) {
    try {
      bus.Call(profile, nm::kConnectionIface, "Delete", nullptr);
    } catch (const nm::NmError&) {
    }
    Forget(ssid, profile);
  }

  void Forget(const std::string& ssid, const std::string& profile) {
    std::lock_guard lock(mutex_);
    auto it = own_.find(ssid);
    if (it == own_.end()) return;
    auto& list = it->second;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const OwnProfile& p) { return p.path == profile; }),
               list.end());
    if (list.empty()) own_.erase(it);
  }

  // Deactivates and deletes our profiles for the name on this interface (or on
  // none); the count removed, nullopt when one could not be.
  std::optional<int> RemoveOwnProfiles(nm::Bus& bus, const std::string& ssid, const std::string& iface) {
    std::vector<OwnProfile> remembered;
    {
      std::lock_guard lock(mutex_);
      if (const auto it = own_.find(ssid); it != own_.end()) remembered = it->second;
    }
    std::vector<std::string> targets;
    for (const auto& path : nm::Connections(bus)) {
      const auto s = nm::ConnectionSettings(bus, path);
      if (!s) continue;
      const std::string id = nm::AsString(nm::SettingValue(*s, "connection", "id"));
      const std::string uuid = nm::AsString(nm::SettingValue(*s, "connection", "uuid"));
      const std::string bound = nm::AsString(nm::SettingValue(*s, "connection", "interface-name"));
      const bool marked = id == kMarker + ssid && (bound.empty() || bound == iface);
      const bool ours = std::any_of(remembered.begin(), remembered.end(), [&](const OwnProfile& p) {
        return p.path == path && !p.uuid.empty() && p.uuid == uuid;
      });
      if (marked || ours) targets.push_back(path);
    }
    std::vector<std::string> actives;
    try {
      actives = nm::AsStrings(bus.Get(nm::kManagerPath, nm::kManagerIface, "ActiveConnections"));
    } catch (const nm::NmError&) {
    }
    int removed = 0;
    bool failed = false;
    for (const auto& path : targets) {
      for (const auto& active : actives) {
        try {
          if (nm::AsString(bus.Get(active, nm::kActiveIface, "Connection")) == path)
            bus.Call(nm::kManagerPath, nm::kManagerIface, "DeactivateConnection", g_variant_new("(o)", active.c_str()));
        } catch (const nm::NmError&) {
          // Gone already, or deleting the profile below takes it down.
        }
      }
      try {
        bus.Call(path, nm::kConnectionIface, "Delete", nullptr);
        ++removed;
      } catch (const nm::NmError&) {
        failed = true;
        continue;
      }
      Forget(ssid, path);
    }
    if (failed) return std::nullopt;
    return removed;
  }

  // --- the notification thread ---------------------------------------------

  static std::string SsidOf(nm::Bus& bus, const std::string& device) {
    const std::string profile = nm::ActiveSettingsPath(bus, device);
    if (!profile.empty())
      if (const auto s = nm::ConnectionSettings(bus, profile)) {
        const std::string ssid = nm::AsBytes(nm::SettingValue(*s, "802-11-wireless", "ssid"));
        if (!ssid.empty()) return ssid;
      }
    const std::string ap = ActiveAccessPoint(bus, device);
    if (ap.empty()) return {};
    try {
      return nm::AsBytes(bus.Get(ap, nm::kAccessPointIface, "Ssid"));
    } catch (const nm::NmError&) {
      return {};
    }
  }

  static bool IsWifi(nm::Bus& bus, const std::string& device) {
    try {
      return nm::AsUint32(bus.Get(device, nm::kDeviceIface, "DeviceType")) == NM_DEVICE_TYPE_WIFI;
    } catch (const nm::NmError&) {
      return false;
    }
  }

  static void OnStateChanged(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
                             GVariant* parameters, gpointer self) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uuu)"))) return;
    guint32 now = 0, before = 0, reason = 0;
    g_variant_get(parameters, "(uuu)", &now, &before, &reason);
    static_cast<Library*>(self)->StateChanged(path, now, before);
  }

  void StateChanged(const std::string& device, std::uint32_t now, std::uint32_t before) {
    nm::Bus& bus = *workerBus_;
    if (now == NM_DEVICE_STATE_ACTIVATED) {
      if (!IsWifi(bus, device)) return;
      std::string ssid = SsidOf(bus, device);
      if (ssid.empty()) ssid = Requested(device);
      const auto it = activeSsid_.find(device);
      if (it != activeSsid_.end() && it->second != ssid) Post(kWifiCodeDisconnected, it->second);
      activeSsid_[device] = ssid;
      Post(kWifiCodeConnectionComplete, ssid);
    } else if (before == NM_DEVICE_STATE_ACTIVATED) {
      const auto it = activeSsid_.find(device);
      if (it == activeSsid_.end()) {
        if (IsWifi(bus, device)) Post(kWifiCodeDisconnected, std::string());
        return;
      }
      const std::string ssid = it->second;
      activeSsid_.erase(it);
      Post(kWifiCodeDisconnected, ssid);
    }
  }

  void Post(std::uint8_t code, const std::string& ssid) {
    Event event;
    event.notification.Source = kSourceAcm;
    event.notification.Code = code;
    const std::uint32_t dataSize = sizeof(TWifiConnectionData);
    std::memcpy(event.notification.Reserved + 16, &dataSize, sizeof dataSize);
    event.notification.Data = &event.data;
    // The profile name (UTF-16 from byte 4), the SSID length, then the SSID octets.
    const std::u16string profile = ToUtf16(ssid);
    const std::size_t units = std::min<std::size_t>(profile.size(), 255);
    std::memcpy(event.data.Reserved + 4, profile.data(), units * sizeof(char16_t));
    const std::size_t n = std::min(ssid.size(), kWifiConnectionDataNameSize);
    const auto length = static_cast<std::uint32_t>(n);
    std::memcpy(event.data.Reserved + 516, &length, sizeof length);
    std::memcpy(event.data.Name, ssid.data(), n);

    std::lock_guard calling(callbackMutex_);
    TWifiNotificationCallback callback;
    {
      std::lock_guard lock(mutex_);
      callback = stop_ ? nullptr : callback_;
    }
    if (callback == nullptr) return;
    try {
      callback(&event.notification, nullptr);
    } catch (...) {
      // A failing receiver must not take the notification thread down.
    }
  }

  void Run(std::shared_ptr<nm::Bus> bus) {
    tlsInWorker = true;
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    workerBus_ = bus;
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus->Raw(), nm::kService, nm::kDeviceIface, "StateChanged", nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        &Library::OnStateChanged, this, nullptr);
    // What is up already, so that leaving it can be told with its name.
    try {
      for (const auto& device : nm::Devices(*bus))
        if (IsWifi(*bus, device)) {
          const std::string ssid = SsidOf(*bus, device);
          if (!ssid.empty()) activeSsid_[device] = ssid;
        }
    } catch (const nm::NmError&) {
    }
    {
      std::lock_guard lock(mutex_);
      loop_ = loop;
      started_ = true;
      if (stop_) g_main_loop_quit(loop);
    }
    started_cv_.notify_all();
    for (;;) {
      g_main_loop_run(loop);
      std::lock_guard lock(mutex_);
      if (stop_) {
        loop_ = nullptr;
        break;
      }
    }
    g_dbus_connection_signal_unsubscribe(bus->Raw(), subscription);
    // Signals already queued for us go with the context.
    while (g_main_context_pending(context)) g_main_context_iteration(context, FALSE);
    g_main_loop_unref(loop);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    activeSsid_.clear();
    workerBus_.reset();
  }

  std::mutex busMutex_;
  std::shared_ptr<nm::Bus> bus_;

  std::mutex internMutex_;
  std::list<std::u16string> interned_;

  std::mutex mutex_;
  std::condition_variable started_cv_;
  bool started_ = false;
  bool stop_ = false;
  TWifiNotificationCallback callback_ = nullptr;
  std::thread thread_;
  GMainLoop* loop_ = nullptr;
  std::map<std::string, std::vector<OwnProfile>> own_;  // by SSID octets
  // Held by the worker while it calls back, so an unregister can wait one out.
  std::mutex callbackMutex_;

  // Only the worker touches these.
  std::shared_ptr<nm::Bus> workerBus_;
  std::map<std::string, std::string> activeSsid_;  // device path → SSID octets
  std::map<std::string, std::string> requested_;   // device path → SSID octets; under mutex_
};

Library& Lib() {
  static Library library;
  return library;
}

}  // namespace

#include "wirelesslib/WirelessExports.inc"
