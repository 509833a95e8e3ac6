// The simulated wireless library: the eight functions of the wireless boundary
// over the simulated air (see SimAir.h for the scenario and air file formats).
//
// One interface is in one mode at a time: hosting one of its profiles, joined
// to a visible network, or idle. Notifications (code 10 when a connection
// completes, 21 when the interface leaves one) go to the registered callback
// from a dispatcher thread of the library's own, which also watches the hosts
// of joined networks.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

#include <unistd.h>

#include "SimAir.h"
#include "wireless/wifi.h"


using namespace simair;

namespace {

constexpr std::uint32_t kSourceAcm = 0x8;
constexpr auto kWatchInterval = std::chrono::milliseconds(150);
constexpr std::uint8_t kQualityNeighbour = 60;
constexpr std::uint8_t kQualityHosted = 100;
constexpr std::uint32_t kNotConnected = 1;

thread_local bool tlsInDispatcher = false;

std::uint32_t SecurityArgument(std::uint8_t kind) { return kind >= 1 && kind <= 3 ? kind : 0; }

struct Joined {
  std::u16string ssid;
  std::u16string key;
  std::string hostPath;  // empty for a neighbour network
  std::uint32_t paramA = 0;
  std::uint32_t paramB = 0;
};

struct Interface {
  std::map<std::u16string, std::u16string> profiles;  // ssid -> key
  std::optional<std::u16string> hosting;
  std::string hostPath;
  pid_t hostPid = 0;
  std::optional<Joined> joined;
};

struct Visible {
  std::u16string ssid;
  std::u16string key;
  std::uint8_t security = 0;
  std::uint8_t quality = 0;
  bool connected = false;
  std::string hostPath;
  std::uint32_t paramA = 0;
  std::uint32_t paramB = 0;
};

// The record and its data travel together so that Data stays valid for the call.
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
      stop_ = true;
      callback_ = nullptr;
      queue_.clear();
      worker = std::move(thread_);
      for (auto& [id, iface] : interfaces_)
        if (iface.hosting && iface.hostPid == getpid()) unlink(iface.hostPath.c_str());
    }
    wake_.notify_all();
    if (worker.joinable()) {
      if (tlsInDispatcher)
        worker.detach();
      else
        worker.join();
    }
  }

  std::uint32_t EnumInterface(TWifiInterfaceList* list) {
    if (list == nullptr) return kErrInvalidParameter;
    std::memset(list, 0, sizeof *list);
    Scenario scenario;
    if (const auto rc = LoadScenario(scenario); rc != kOk) return rc;
    std::lock_guard lock(mutex_);
    const std::size_t count = std::min<std::size_t>(scenario.interfaces.size(), kWifiMaxInterfaces);
    for (std::size_t i = 0; i < count; ++i) list->Entries[i].Id = InternLocked(scenario.interfaces[i]);
    list->Count = static_cast<std::uint32_t>(count);
    return kOk;
  }

  std::uint32_t GetVisibleNetworkList(const char16_t* id, TWifiNetworkList* list) {
    if (id == nullptr || list == nullptr) return kErrInvalidParameter;
    std::memset(list, 0, sizeof *list);
    const std::u16string interfaceId(id);
    Scenario scenario;
    if (const auto rc = LoadScenario(scenario); rc != kOk) return rc;
    if (!scenario.HasInterface(interfaceId)) return kErrInvalidParameter;
    const std::string air = AirDir();
    std::lock_guard lock(mutex_);
    const auto visible = VisibleLocked(interfaceId, scenario, air);

    // When the air is crowded, keep the connected networks and the first others, in order.
    const auto connected = static_cast<std::size_t>(
        std::count_if(visible.begin(), visible.end(), [](const Visible& v) { return v.connected; }));
    std::size_t othersLeft = kWifiMaxNetworks - std::min<std::size_t>(connected, kWifiMaxNetworks);
    std::uint32_t n = 0;
    for (const auto& v : visible) {
      if (n == kWifiMaxNetworks) break;
      if (!v.connected) {
        if (othersLeft == 0) continue;
        --othersLeft;
      }
      TWifiNetworkEntry& e = list->Entries[n++];
      std::copy(v.ssid.begin(), v.ssid.end(), e.SSID);
      e.AuxByte = v.quality;
      e.State = v.connected ? 0 : kNotConnected;
      e.Security = v.security;
      e.ConnectParamA = v.paramA;
      e.ConnectParamB = v.paramB;
    }
    list->Count = n;
    return kOk;
  }

  std::uint32_t Connect(const char16_t* id, const char16_t* ssid, const char16_t* key, std::uint32_t security,
                        std::uint32_t paramA, std::uint32_t paramB) {
    if (id == nullptr || ssid == nullptr || key == nullptr) return kErrInvalidParameter;
    const std::u16string interfaceId(id), name(ssid), secret(key);
    Scenario scenario;
    if (const auto rc = LoadScenario(scenario); rc != kOk) return rc;
    if (!scenario.HasInterface(interfaceId)) return kErrInvalidParameter;
    const std::string air = AirDir();
    std::lock_guard lock(mutex_);
    const auto visible = VisibleLocked(interfaceId, scenario, air);
    const auto it = std::find_if(visible.begin(), visible.end(), [&](const Visible& v) {
      return v.ssid == name && v.paramA == paramA && v.paramB == paramB;
    });
    if (it == visible.end()) return kErrNotFound;
    if (security != SecurityArgument(it->security)) return kErrInvalidParameter;
    // An open neighbour takes any key; everything else wants its own.
    const bool open = it->hostPath.empty() && it->key.empty();
    if (!open && secret != it->key) return kErrInvalidPassword;

    Interface& iface = interfaces_[interfaceId];
    if (!it->connected) {
      LeaveLocked(iface);
      iface.joined = Joined{it->ssid, it->key, it->hostPath, it->paramA, it->paramB};
    }
    // Joining keeps a profile, as hosting does, so DeleteSsid can take the joiner off again.
    iface.profiles[it->ssid] = it->key;
    PostLocked(kWifiCodeConnectionComplete, it->ssid);
    return kOk;
  }

  std::uint32_t Disconnect(const char16_t* id) {
    if (id == nullptr) return kErrInvalidParameter;
    const std::u16string interfaceId(id);
    {
      std::lock_guard lock(mutex_);
      if (const auto it = interfaces_.find(interfaceId); it != interfaces_.end()) {
        LeaveLocked(it->second);
        return kOk;
      }
    }
    return KnownInterface(interfaceId) ? kOk : kErrInvalidParameter;
  }

  std::uint32_t AddSsid(const char16_t* id, const char16_t* ssid, const char16_t* key) {
    if (id == nullptr || ssid == nullptr || key == nullptr) return kErrInvalidParameter;
    const std::u16string interfaceId(id), name(ssid), secret(key);
    std::string bytes;
    if (name.empty() || !Utf16ToUtf8(name, bytes) || bytes.size() > kMaxSsidBytes) return kErrInvalidParameter;
    if (secret.empty() || secret.size() > kMaxKeyUnits || !Utf16ToUtf8(secret, bytes)) return kErrInvalidParameter;
    Scenario scenario;
    if (const auto rc = LoadScenario(scenario); rc != kOk) return rc;
    if (!scenario.HasInterface(interfaceId)) return kErrInvalidParameter;
    const std::string air = AirDir();
    if (air.empty()) return kErrAccessDenied;

    HostedNetwork network;
    network.pid = getpid();
    network.started = ProcessStartTime(network.pid);
    network.path = HostFilePath(air, network.pid, interfaceId);
    network.ssid = name;
    network.key = secret;
    network.security = kSecurityHosted;
    network.interfaceId = interfaceId;

    std::lock_guard lock(mutex_);
    if (!WriteHostFile(network)) return kErrAccessDenied;
    Interface& iface = interfaces_[interfaceId];
    const bool sameNetwork = iface.hosting == name && iface.hostPath == network.path;
    if (!sameNetwork) {
      // The file under the new path already replaced an old one there; only a
      // file in another air folder is left to remove.
      if (iface.hosting && iface.hostPath != network.path && iface.hostPid == getpid())
        unlink(iface.hostPath.c_str());
      if (iface.hosting) {
        PostLocked(kWifiCodeDisconnected, *iface.hosting);
        iface.hosting.reset();
      }
      LeaveLocked(iface);
    }
    iface.profiles[name] = secret;
    iface.hosting = name;
    iface.hostPath = network.path;
    iface.hostPid = network.pid;
    if (!sameNetwork) PostLocked(kWifiCodeConnectionComplete, name);
    return kOk;
  }

  std::uint32_t DeleteSsid(const char16_t* id, const char16_t* ssid) {
    if (id == nullptr || ssid == nullptr) return kErrInvalidParameter;
    const std::u16string interfaceId(id), name(ssid);
    {
      std::lock_guard lock(mutex_);
      if (const auto it = interfaces_.find(interfaceId); it != interfaces_.end()) {
        Interface& iface = it->second;
        if (iface.profiles.erase(name) == 0) return kErrNotFound;
        if (iface.hosting == name || (iface.joined && iface.joined->ssid == name)) LeaveLocked(iface);
        return kOk;
      }
    }
    return KnownInterface(interfaceId) ? kErrNotFound : kErrInvalidParameter;
  }

  std::uint32_t RegisterNotification(TWifiNotificationCallback callback) {
    if (callback == nullptr) return kErrInvalidParameter;
    std::unique_lock lock(mutex_);
    for (;;) {
      if (!thread_.joinable()) {
        stop_ = false;
        callback_ = callback;
        thread_ = std::thread([this] { Run(); });
        return kOk;
      }
      if (!stop_ || tlsInDispatcher) {
        // Running already, or re-registered from inside a callback: the same thread goes on.
        stop_ = false;
        callback_ = callback;
        return kOk;
      }
      // A dispatcher that was told to stop from inside its callback is still winding down.
      std::thread old = std::move(thread_);
      lock.unlock();
      old.join();
      lock.lock();
    }
  }

  std::uint32_t UnRegisterNotification() {
    std::thread worker;
    {
      std::lock_guard lock(mutex_);
      callback_ = nullptr;
      stop_ = true;
      queue_.clear();
      // From inside a callback the dispatcher cannot wait for itself; it ends
      // when the callback returns, and a later register or unload joins it.
      if (tlsInDispatcher) return kOk;
      worker = std::move(thread_);
    }
    wake_.notify_all();
    if (worker.joinable()) worker.join();
    // Another caller may be joining the dispatcher: wait out a callback in flight.
    std::lock_guard quiet(callbackMutex_);
    return kOk;
  }

 private:
  const char16_t* InternLocked(const std::u16string& text) {
    // Identity strings live as long as the library, so no caller's pointer goes stale.
    for (const auto& s : interned_)
      if (s == text) return s.c_str();
    return interned_.emplace_back(text).c_str();
  }

  static bool KnownInterface(const std::u16string& id) {
    Scenario scenario;
    return LoadScenario(scenario) == kOk && scenario.HasInterface(id);
  }

  std::vector<Visible> VisibleLocked(const std::u16string& interfaceId, const Scenario& scenario,
                                     const std::string& air) {
    Interface* iface = nullptr;
    if (const auto it = interfaces_.find(interfaceId); it != interfaces_.end()) iface = &it->second;
    if (iface != nullptr) CheckJoinLocked(*iface);

    std::vector<Visible> visible;
    for (std::size_t i = 0; i < scenario.neighbours.size(); ++i) {
      const Neighbour& n = scenario.neighbours[i];
      Visible v;
      v.ssid = n.ssid;
      v.key = n.key;
      v.security = n.security;
      v.quality = kQualityNeighbour;
      v.paramA = 0;
      v.paramB = static_cast<std::uint32_t>(i + 1);
      v.connected = iface != nullptr && iface->joined && iface->joined->hostPath.empty() &&
                    iface->joined->ssid == v.ssid && iface->joined->paramB == v.paramB;
      visible.push_back(std::move(v));
    }
    if (air.empty()) return visible;
    for (auto& h : ListHostedNetworks(air)) {
      Visible v;
      v.ssid = std::move(h.ssid);
      v.key = std::move(h.key);
      v.security = h.security;
      v.quality = kQualityHosted;
      v.hostPath = h.path;
      v.paramA = static_cast<std::uint32_t>(h.pid);
      v.paramB = InterfaceTag(h.interfaceId);
      v.connected = iface != nullptr && ((iface->hosting && iface->hostPath == h.path) ||
                                         (iface->joined && iface->joined->hostPath == h.path));
      visible.push_back(std::move(v));
    }
    return visible;
  }

  // A joined host that deleted its network, changed it or died takes the joiner with it.
  void CheckJoinLocked(Interface& iface) {
    if (!iface.joined || iface.joined->hostPath.empty()) return;
    if (HostStillOffers(iface.joined->hostPath, iface.joined->ssid, iface.joined->key)) return;
    LeaveLocked(iface);
  }

  // Ends whatever the interface is connected to; the profiles stay.
  void LeaveLocked(Interface& iface) {
    if (iface.hosting) {
      if (iface.hostPid == getpid()) unlink(iface.hostPath.c_str());
      PostLocked(kWifiCodeDisconnected, *iface.hosting);
      iface.hosting.reset();
      iface.hostPath.clear();
    }
    if (iface.joined) {
      PostLocked(kWifiCodeDisconnected, iface.joined->ssid);
      iface.joined.reset();
    }
  }

  void PostLocked(std::uint8_t code, const std::u16string& ssid) {
    if (callback_ == nullptr || stop_) return;
    auto event = std::make_unique<Event>();
    event->notification.Source = kSourceAcm;
    event->notification.Code = code;
    const std::uint32_t dataSize = sizeof(TWifiConnectionData);
    std::memcpy(event->notification.Reserved + 16, &dataSize, sizeof dataSize);
    event->notification.Data = &event->data;

    // The profile name (UTF-16 from byte 4), the SSID length, then the SSID octets.
    const std::size_t units = std::min<std::size_t>(ssid.size(), 255);
    std::memcpy(event->data.Reserved + 4, ssid.data(), units * sizeof(char16_t));
    std::string octets;
    Utf16ToUtf8(ssid, octets);
    const std::size_t n = std::min(octets.size(), kWifiConnectionDataNameSize);
    const auto length = static_cast<std::uint32_t>(n);
    std::memcpy(event->data.Reserved + 516, &length, sizeof length);
    std::memcpy(event->data.Name, octets.data(), n);

    queue_.push_back(std::move(event));
    wake_.notify_all();
  }

  void Run() {
    tlsInDispatcher = true;
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (queue_.empty()) wake_.wait_for(lock, kWatchInterval, [this] { return stop_ || !queue_.empty(); });
      if (stop_) break;
      for (auto& [id, iface] : interfaces_) CheckJoinLocked(iface);
      if (queue_.empty()) continue;
      std::unique_ptr<Event> event = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      {
        std::lock_guard calling(callbackMutex_);
        TWifiNotificationCallback callback;
        {
          std::lock_guard again(mutex_);
          callback = stop_ ? nullptr : callback_;
        }
        if (callback != nullptr) {
          try {
            callback(&event->notification, nullptr);
          } catch (...) {
            // A failing receiver must not take the dispatcher down.
          }
        }
      }
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  // Held by the dispatcher while it calls back, so an unregister can wait one out.
  std::mutex callbackMutex_;
  TWifiNotificationCallback callback_ = nullptr;
  bool stop_ = false;
  std::thread thread_;
  std::deque<std::unique_ptr<Event>> queue_;
  std::map<std::u16string, Interface> interfaces_;
  std::list<std::u16string> interned_;
};

Library& Lib() {
  static Library library;
  return library;
}

}  // namespace

#include "wirelesslib/WirelessExports.inc"
