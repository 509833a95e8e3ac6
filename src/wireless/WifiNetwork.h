#pragma once
// The Wi-Fi controller: the only gateway to the wireless library. It lists the
// visible networks, hosts or joins the own network, and carries the Internet
// state the connectivity monitor finds.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "core/StringList.h"
#include "wireless/CheckInternetThread.h"
#include "wireless/wifi.h"

namespace kestrune::platform {
class IInternet;
}

class TWifiConnection;

using TWifiSSIDEvent = std::function<void(const std::u16string& ssid)>;
using TWifiNetworkEvent = std::function<void(const std::u16string& ssid, std::uint8_t state, std::uint8_t security)>;
using TInternetStateEvent = std::function<void(std::uint8_t state)>;
using TNotifyEvent = std::function<void(TWifiConnection* sender)>;

// An event slot that the window may attach on its thread while the monitor or
// the library's thread raises it: the handler is copied under a lock and then
// called outside it, so a receiver may re-attach without deadlocking.
template <typename F>
class TEventSlot {
 public:
  using Handler = F;

  TEventSlot() = default;
  TEventSlot(const TEventSlot&) = delete;
  TEventSlot& operator=(const TEventSlot&) = delete;

  TEventSlot& operator=(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
    return *this;
  }
  explicit operator bool() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(handler_);
  }
  Handler Get() const {
    std::lock_guard lock(mutex_);
    return handler_;
  }
  // Calls the handler only when one is attached.
  template <typename... Args>
  void operator()(Args&&... args) const {
    const Handler handler = Get();
    if (handler) handler(std::forward<Args>(args)...);
  }

 private:
  mutable std::mutex mutex_;
  Handler handler_;
};

// One visible network; the controller's list owns it.
class TWLanNetwork : public kestrune::TObject {
 public:
  explicit TWLanNetwork(const TWifiLibrary& library);

  bool Connect();
  // FState becomes 2 whatever the library answers.
  void Disconnect();

  std::u16string FInterfaceId;
  std::u16string FSSID;
  std::uint8_t FSecurity = 3;
  std::uint8_t FState = 1;
  std::uint8_t FAuxByte = 0;
  std::u16string FKey;
  std::uint32_t FAuxValue = 0;
  std::uint32_t FConnectParamA = 0;
  std::uint32_t FConnectParamB = 0;

 private:
  const TWifiLibrary& library_;
};

class TWifiConnection : public IInternetStateOwner {
 public:
  static constexpr char kDefaultSSID[] = "Ostrelay";
  static constexpr char kDefaultKey[] = "73914";
  // Internal result of CreateProfile/DeleteProfile when no interface is listed.
  static constexpr std::uint32_t kNoInterface = 999;

  // The library table must outlive the controller. monitorWait is the
  // connectivity monitor's wait between checks.
  TWifiConnection(const TWifiLibrary& library, kestrune::platform::IInternet& internet,
                  std::chrono::milliseconds monitorWait = TThreadCheckInternet::kDefaultWait);
  ~TWifiConnection() override;
  TWifiConnection(const TWifiConnection&) = delete;
  TWifiConnection& operator=(const TWifiConnection&) = delete;

  void Refresh();
  bool ConnectOwnNetwork();
  bool CreateProfile();
  bool DeleteProfile();
  void WakeInternetCheck();

  std::string GetSSID() const { return FSSID; }
  void SetSSID(const std::string& value);
  std::string GetKey() const { return FKey; }
  void SetKey(const std::string& value);
  std::uint8_t GetInternetState() const { return FInternetState.load(); }
  void SetInternetState(std::uint8_t value) override;

  std::uint32_t ScanNetworks();
  void RebuildNetworkList();
  void HandleNotification(const TWifiNotification* data);

  // Read access for the window and for tests.
  int NetworkCount() const { return FNetworkCount; }
  std::string ConnectedSSID() const;
  TWLanNetwork* ConnectedNetwork() const { return FConnectedNetwork; }
  const kestrune::TStringList& Networks() const { return *FNetworks; }
  TWLanNetwork* Network(int i) const { return FNetworks->ObjectAs<TWLanNetwork>(i); }
  const TWifiInterfaceList& InterfaceList() const { return *FInterfaceList; }
  TThreadCheckInternet* CheckThread() const { return FCheckThread.get(); }

  TEventSlot<TWifiSSIDEvent> OnConnected;
  TEventSlot<TWifiSSIDEvent> OnDisconnected;
  TEventSlot<TWifiNetworkEvent> OnNetworkFound;
  TEventSlot<TInternetStateEvent> OnInternetStateChange;
  TEventSlot<TNotifyEvent> OnBeforeRefresh;

 private:
  const TWifiLibrary& library_;
  int FNetworkCount = 0;
  // Written by rebuilds on the UI thread and by notifications on the library's thread.
  mutable std::mutex connectedMutex_;
  std::string FConnectedSSID;
  TWLanNetwork* FConnectedNetwork = nullptr;
  std::string FSSID;
  std::string FKey;
  std::unique_ptr<TWifiInterfaceList> FInterfaceList;
  std::unique_ptr<TWifiNetworkList[]> FNetworkLists;
  std::atomic<std::uint8_t> FInternetState{0};
  std::unique_ptr<TThreadCheckInternet> FCheckThread;
  std::unique_ptr<kestrune::TStringList> FNetworks;
};

// Taken only by ScanNetworks.
extern std::mutex WifiLock;
// The controller the notification callback serves.
extern std::atomic<TWifiConnection*> WifiConnectionInstance;

extern "C" void KESTRUNE_WIFI_CALLBACK WifiNotificationCallback(const TWifiNotification* data, void* context);
