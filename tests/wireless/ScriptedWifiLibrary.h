#pragma once
// A wireless library made of plain functions over one process-wide recorder:
// the test scripts what the scans fill in and what every function answers, and
// reads back each call with its arguments copied at the time of the call.
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "wireless/wifi.h"

namespace scripted {

struct Call {
  std::string fn;
  std::u16string id{};                // text behind the identity argument
  const char16_t* idPtr = nullptr;    // the pointer itself
  std::u16string ssid{};
  std::u16string key{};
  std::uint32_t security = 0;
  std::uint32_t paramA = 0;
  std::uint32_t paramB = 0;
};

struct Network {
  std::u16string ssid;  // copied into the entry; up to 33 units, no NUL added when full
  std::uint32_t state = 1;
  std::uint32_t security = 3;
  std::uint32_t auxByte = 0;
  std::uint32_t auxValue = 0;
  std::uint32_t paramA = 0;
  std::uint32_t paramB = 0;
  std::uint16_t padding = 0;  // the two bytes after the name
};

struct Interface {
  Interface(std::u16string id_, std::vector<Network> networks_ = {}, std::optional<std::uint32_t> reportedCount_ = {},
            std::uint32_t result_ = 0)
      : id(std::move(id_)), networks(std::move(networks_)), reportedCount(reportedCount_), result(result_) {}

  std::u16string id;
  std::vector<Network> networks;
  std::optional<std::uint32_t> reportedCount;  // Count as written; defaults to networks.size()
  std::uint32_t result = 0;                    // GetVisibleNetworkList's answer
};

class Recorder {
 public:
  // Script.
  std::vector<Interface> interfaces;
  std::optional<std::uint32_t> reportedInterfaceCount;
  std::uint32_t enumResult = 0;
  bool enumWritesOnFailure = false;  // a failing EnumInterface leaves the list untouched unless set
  std::uint32_t connectResult = 0;
  std::uint32_t disconnectResult = 0;
  std::uint32_t addResult = 0;
  std::uint32_t deleteResult = 0;
  std::function<void()> onRegister;
  std::function<void()> onUnregister;

  // Observed.
  std::vector<Call> calls;
  TWifiNotificationCallback callback = nullptr;

  std::mutex mutex;

  void Reset() {
    std::lock_guard lock(mutex);
    interfaces.clear();
    reportedInterfaceCount.reset();
    enumResult = 0;
    enumWritesOnFailure = false;
    connectResult = disconnectResult = addResult = deleteResult = 0;
    onRegister = nullptr;
    onUnregister = nullptr;
    calls.clear();
    callback = nullptr;
    ids_.clear();
  }

  std::vector<Call> Calls() {
    std::lock_guard lock(mutex);
    return calls;
  }
  std::vector<std::string> CallNames() {
    std::lock_guard lock(mutex);
    std::vector<std::string> names;
    for (const auto& c : calls) names.push_back(c.fn);
    return names;
  }
  std::vector<Call> CallsOf(const std::string& fn) {
    std::lock_guard lock(mutex);
    std::vector<Call> out;
    for (const auto& c : calls)
      if (c.fn == fn) out.push_back(c);
    return out;
  }
  void ClearCalls() {
    std::lock_guard lock(mutex);
    calls.clear();
  }
  TWifiNotificationCallback Callback() {
    std::lock_guard lock(mutex);
    return callback;
  }
  // The library's own identity strings, stable until the next EnumInterface.
  const char16_t* IdPointer(std::size_t i) {
    std::lock_guard lock(mutex);
    return i < ids_.size() ? ids_[i].c_str() : nullptr;
  }
  void Mark(const std::string& what) {
    std::lock_guard lock(mutex);
    calls.push_back(Call{what});
  }

  // --- library side ---
  std::uint32_t EnumInterface(TWifiInterfaceList* list) {
    std::lock_guard lock(mutex);
    calls.push_back(Call{"EnumInterface"});
    if (enumResult != 0 && !enumWritesOnFailure) return enumResult;
    ids_.clear();
    for (const auto& itf : interfaces) ids_.push_back(itf.id);
    list->Count = reportedInterfaceCount.value_or(static_cast<std::uint32_t>(interfaces.size()));
    for (std::size_t i = 0; i < ids_.size() && i < kWifiMaxInterfaces; ++i) list->Entries[i].Id = ids_[i].c_str();
    return enumResult;
  }

  std::uint32_t GetVisibleNetworkList(const char16_t* id, TWifiNetworkList* list) {
    std::lock_guard lock(mutex);
    calls.push_back(Call{"GetVisibleNetworkList", Text(id), id});
    for (std::size_t i = 0; i < ids_.size(); ++i) {
      if (ids_[i].c_str() != id) continue;
      const Interface& itf = interfaces[i];
      list->Count = itf.reportedCount.value_or(static_cast<std::uint32_t>(itf.networks.size()));
      for (std::size_t j = 0; j < itf.networks.size() && j < kWifiMaxNetworks; ++j) Fill(list->Entries[j], itf.networks[j]);
      return itf.result;
    }
    return 87;  // an identity this library never gave out
  }

  std::uint32_t Connect(const char16_t* id, const char16_t* ssid, const char16_t* key, std::uint32_t security,
                        std::uint32_t a, std::uint32_t b) {
    std::lock_guard lock(mutex);
    calls.push_back(Call{"Connect", Text(id), id, Text(ssid), Text(key), security, a, b});
    return connectResult;
  }
  std::uint32_t Disconnect(const char16_t* id) {
    std::lock_guard lock(mutex);
    calls.push_back(Call{"Disconnect", Text(id), id});
    return disconnectResult;
  }
  std::uint32_t AddSsid(const char16_t* id, const char16_t* ssid, const char16_t* key) {
    std::lock_guard lock(mutex);
    calls.push_back(Call{"AddSsid", Text(id), id, Text(ssid), Text(key)});
    return addResult;
  }
  std::uint32_t DeleteSsid(const char16_t* id, const char16_t* ssid) {
    std::lock_guard lock(mutex);
    calls.push_back(Call{"DeleteSsid", Text(id), id, Text(ssid)});
    return deleteResult;
  }
  std::uint32_t RegisterNotification(TWifiNotificationCallback cb) {
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex);
      calls.push_back(Call{"RegisterNotification"});
      callback = cb;
      hook = onRegister;
    }
    if (hook) hook();
    return 0;
  }
  std::uint32_t UnRegisterNotification() {
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex);
      calls.push_back(Call{"UnRegisterNotification"});
      hook = onUnregister;
    }
    if (hook) hook();
    return 0;
  }

 private:
  static std::u16string Text(const char16_t* s) { return s != nullptr ? std::u16string(s) : u"<null>"; }

  static void Fill(TWifiNetworkEntry& e, const Network& n) {
    std::memset(&e, 0, sizeof e);
    for (std::size_t k = 0; k < n.ssid.size() && k < kWifiSSIDUnits; ++k) e.SSID[k] = n.ssid[k];
    e.Padding = n.padding;
    e.AuxByte = n.auxByte;
    e.State = n.state;
    e.Security = n.security;
    e.AuxValue = n.auxValue;
    e.ConnectParamA = n.paramA;
    e.ConnectParamB = n.paramB;
  }

  std::deque<std::u16string> ids_;
};

inline Recorder& R() {
  static Recorder recorder;
  return recorder;
}

inline TWifiLibrary Library() {
  TWifiLibrary lib;
  lib.EnumInterface = [](TWifiInterfaceList* l) { return R().EnumInterface(l); };
  lib.GetVisibleNetworkList = [](const char16_t* id, TWifiNetworkList* l) { return R().GetVisibleNetworkList(id, l); };
  lib.Connect = [](const char16_t* id, const char16_t* s, const char16_t* k, std::uint32_t sec, std::uint32_t a,
                   std::uint32_t b) { return R().Connect(id, s, k, sec, a, b); };
  lib.Disconnect = [](const char16_t* id) { return R().Disconnect(id); };
  lib.AddSsid = [](const char16_t* id, const char16_t* s, const char16_t* k) { return R().AddSsid(id, s, k); };
  lib.DeleteSsid = [](const char16_t* id, const char16_t* s) { return R().DeleteSsid(id, s); };
  lib.RegisterNotification = [](TWifiNotificationCallback cb) { return R().RegisterNotification(cb); };
  lib.UnRegisterNotification = [] { return R().UnRegisterNotification(); };
  return lib;
}

}  // namespace scripted
