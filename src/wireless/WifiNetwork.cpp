#include "wireless/WifiNetwork.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>

#include "core/Strings.h"
#include "core/Thread.h"

std::mutex WifiLock;
std::atomic<TWifiConnection*> WifiConnectionInstance{nullptr};

namespace {

// Callbacks under way, so a controller being destroyed can wait until none of
// them still holds it.
struct DispatchState {
  std::mutex mutex;
  std::condition_variable idle;
  int inFlight = 0;
};

DispatchState& Dispatch() {
  static DispatchState state;
  return state;
}

// Callbacks under way on this thread: a receiver that destroys the controller
// from inside its own callback must not wait for itself.
thread_local int tDispatchDepth = 0;

// A table filled by hand may leave a slot empty; say which instead of jumping to null.
const char* MissingFunction(const TWifiLibrary& library) {
  if (library.EnumInterface == nullptr) return "EnumInterface";
  if (library.GetVisibleNetworkList == nullptr) return "GetVisibleNetworkList";
  if (library.Connect == nullptr) return "Connect";
  if (library.Disconnect == nullptr) return "Disconnect";
  if (library.AddSsid == nullptr) return "AddSsid";
  if (library.DeleteSsid == nullptr) return "DeleteSsid";
  if (library.RegisterNotification == nullptr) return "RegisterNotification";
  if (library.UnRegisterNotification == nullptr) return "UnRegisterNotification";
  return nullptr;
}

const TWifiLibrary& CheckedLibrary(const TWifiLibrary& library) {
  if (const char* missing = MissingFunction(library))
    throw EWifiLibraryError(std::string("The wireless library has no function ") + missing + ".");
  return library;
}

std::u16string IdText(const char16_t* id) { return id != nullptr ? std::u16string(id) : std::u16string(); }

// The library does not promise a NUL inside the array.
std::string EntryName(const TWifiNetworkEntry& entry) {
  const char16_t* end = std::find(entry.SSID, entry.SSID + kWifiSSIDUnits, u'\0');
  return kestrune::WideToAnsi(std::u16string_view(entry.SSID, static_cast<std::size_t>(end - entry.SSID)));
}

// A 32-character name fills the field with no NUL after it.
std::string NotificationName(const TWifiConnectionData& data) {
  const char* end = std::find(data.Name, data.Name + kWifiConnectionDataNameSize, '\0');
  return std::string(data.Name, static_cast<std::size_t>(end - data.Name));
}

}  // namespace

extern "C" void KESTRUNE_WIFI_CALLBACK WifiNotificationCallback(const TWifiNotification* data, void* context) {
  (void)context;
  auto& d = Dispatch();
  TWifiConnection* instance = nullptr;
  {
    std::lock_guard lock(d.mutex);
    instance = WifiConnectionInstance.load();
    if (instance == nullptr) return;
    ++d.inFlight;
  }
  ++tDispatchDepth;
  struct Done {
    DispatchState& d;
    ~Done() {
      --tDispatchDepth;
      {
        std::lock_guard lock(d.mutex);
        --d.inFlight;
      }
      d.idle.notify_all();
    }
  } done{d};
  try {
    instance->HandleNotification(data);
  } catch (...) {
    // An exception must not unwind into the library's thread.
  }
}

// --- TWLanNetwork ------------------------------------------------------------

TWLanNetwork::TWLanNetwork(const TWifiLibrary& library) : library_(library) {}

bool TWLanNetwork::Connect() {
  const std::uint32_t security = (FSecurity >= 1 && FSecurity <= 3) ? FSecurity : 0;
  return library_.Connect(FInterfaceId.c_str(), FSSID.c_str(), FKey.c_str(), security, FConnectParamA,
                          FConnectParamB) == 0;
}

void TWLanNetwork::Disconnect() {
  library_.Disconnect(FInterfaceId.c_str());
  FState = 2;
}

// --- TWifiConnection ---------------------------------------------------------

TWifiConnection::TWifiConnection(const TWifiLibrary& library, kestrune::platform::IInternet& internet,
                                 std::chrono::milliseconds monitorWait)
    : library_(CheckedLibrary(library)) {
  FConnectedNetwork = nullptr;
  FSSID = kDefaultSSID;
  FKey = kDefaultKey;
  FNetworks = std::make_unique<kestrune::TStringList>();
  FInterfaceList = std::make_unique<TWifiInterfaceList>();
  FNetworkLists = std::make_unique<TWifiNetworkList[]>(kWifiMaxInterfaces);
  FInternetState.store(0);
  FCheckThread = std::make_unique<TThreadCheckInternet>(internet, monitorWait);
  FCheckThread->SetOwner(this);
  FCheckThread->SetFreeOnTerminate(false);
  FCheckThread->Start();
  WifiConnectionInstance.store(this);
  library_.RegisterNotification(WifiNotificationCallback);
}

TWifiConnection::~TWifiConnection() {
  library_.UnRegisterNotification();

  // A library that still calls back, or a call already under way, must not
  // reach this controller once it is being freed.
  {
    auto& d = Dispatch();
    std::unique_lock lock(d.mutex);
    TWifiConnection* self = this;
    WifiConnectionInstance.compare_exchange_strong(self, nullptr);
    while (d.inFlight > tDispatchDepth) {
      if (kestrune::TThread::IsMainThread()) {
        // A receiver may be waiting for the GUI thread; keep its hand-overs running.
        d.idle.wait_for(lock, std::chrono::milliseconds(5));
        lock.unlock();
        kestrune::TThread::CheckSynchronize();
        lock.lock();
      } else {
        d.idle.wait(lock);
      }
    }
  }

  FCheckThread->SetOwner(nullptr);
  FCheckThread->Terminate();
  FCheckThread->WaitFor();
  FCheckThread.reset();

  kestrune::FreeListObjects(FNetworks.get());
  FConnectedNetwork = nullptr;
  FNetworks.reset();
  FNetworkLists.reset();
  FInterfaceList.reset();
}

void TWifiConnection::Refresh() {
  OnBeforeRefresh(this);
  RebuildNetworkList();
}

std::uint32_t TWifiConnection::ScanNetworks() {
  std::lock_guard lock(WifiLock);
  std::memset(FInterfaceList.get(), 0, sizeof(TWifiInterfaceList));
  std::memset(FNetworkLists.get(), 0, sizeof(TWifiNetworkList) * kWifiMaxInterfaces);
  std::uint32_t r = library_.EnumInterface(FInterfaceList.get());
  if (r == 0) {
    const std::uint32_t count = std::min(FInterfaceList->Count, kWifiMaxInterfaces);
    for (std::uint32_t i = 0; i < count; ++i) {
      const char16_t* id = FInterfaceList->Entries[i].Id;
      if (id == nullptr) continue;  // nothing to ask about; its list stays empty
      r = library_.GetVisibleNetworkList(id, &FNetworkLists[i]);
    }
  }
  return r;
}

void TWifiConnection::RebuildNetworkList() {
  ScanNetworks();

  kestrune::FreeListObjects(FNetworks.get());
  FNetworks->Clear();
  FConnectedNetwork = nullptr;
  {
    std::lock_guard lock(connectedMutex_);
    FConnectedSSID.clear();
  }
  FNetworkCount = 0;

  const std::u16string ownSSID = kestrune::AnsiToWide(FSSID);
  const std::u16string ownKey = kestrune::AnsiToWide(FKey);

  const std::uint32_t interfaces = std::min(FInterfaceList->Count, kWifiMaxInterfaces);
  for (std::uint32_t i = 0; i < interfaces; ++i) {
    const TWifiNetworkList& list = FNetworkLists[i];
    const std::uint32_t networks = std::min(list.Count, kWifiMaxNetworks);
    for (std::uint32_t j = 0; j < networks; ++j) {
      const TWifiNetworkEntry& entry = list.Entries[j];
      std::string name = EntryName(entry);
      if (kestrune::Trim(name).empty()) continue;

      auto record = std::make_unique<TWLanNetwork>(library_);
      record->FSSID = kestrune::AnsiToWide(name);
      record->FInterfaceId = IdText(FInterfaceList->Entries[i].Id);
      record->FAuxByte = static_cast<std::uint8_t>(entry.AuxByte & 0xFF);
      record->FSecurity = static_cast<std::uint8_t>(entry.Security & 0xFF);
      record->FState = static_cast<std::uint8_t>(entry.State & 0xFF);
      record->FAuxValue = entry.AuxValue;
      record->FConnectParamA = entry.ConnectParamA;
      record->FConnectParamB = entry.ConnectParamB;

      TWLanNetwork* network = record.get();
      FNetworks->AddObject(name, std::move(record));
      ++FNetworkCount;

      if (network->FState == 0) {
        FConnectedNetwork = network;
        std::lock_guard lock(connectedMutex_);
        FConnectedSSID = name;
      }
      if (network->FSSID == ownSSID && network->FSecurity == 1) network->FKey = ownKey;

      OnNetworkFound(network->FSSID, network->FState, network->FSecurity);
    }
  }
}

bool TWifiConnection::ConnectOwnNetwork() {
  TWLanNetwork* own = nullptr;
  const std::u16string ownSSID = kestrune::AnsiToWide(FSSID);
  for (int i = 0; i < FNetworks->Count(); ++i) {
    TWLanNetwork* network = Network(i);
    if (network == nullptr) continue;
    if (network->FSSID == ownSSID && network->FSecurity == 1) {
      own = network;
      own->FKey = kestrune::AnsiToWide(FKey);
    } else if (network->FState == 0) {
      network->Disconnect();
    }
  }
  if (own != nullptr) return own->Connect();
  return CreateProfile();
}

bool TWifiConnection::CreateProfile() {
  std::uint32_t r = kNoInterface;
  const char16_t* id = FInterfaceList->Count > 0 ? FInterfaceList->Entries[0].Id : nullptr;
  if (id != nullptr) {
    const std::u16string ssid = kestrune::AnsiToWide(FSSID);
    const std::u16string key = kestrune::AnsiToWide(FKey);
    r = library_.AddSsid(id, ssid.c_str(), key.c_str());
  }
  return r == 0;
}

bool TWifiConnection::DeleteProfile() {
  std::uint32_t r = kNoInterface;
  const char16_t* id = FInterfaceList->Count > 0 ? FInterfaceList->Entries[0].Id : nullptr;
  if (id != nullptr) {
    const std::u16string ssid = kestrune::AnsiToWide(FSSID);
    r = library_.DeleteSsid(id, ssid.c_str());
  }
  return r == 0;
}

void TWifiConnection::WakeInternetCheck() {
  if (FCheckThread) FCheckThread->WakeUp();
}

void TWifiConnection::SetSSID(const std::string& value) {
  if (value != FSSID) FSSID = value;
}

void TWifiConnection::SetKey(const std::string& value) {
  if (value == FKey) return;
  // Counted in the units the library receives.
  const std::size_t length = kestrune::AnsiToWide(kestrune::Trim(value)).size();
  if (length == 5 || length == 13) FKey = value;
}

void TWifiConnection::SetInternetState(std::uint8_t value) {
  // Only the monitor writes, so the exchange cannot race another writer.
  if (FInternetState.exchange(value) == value) return;
  OnInternetStateChange(value);
}

std::string TWifiConnection::ConnectedSSID() const {
  std::lock_guard lock(connectedMutex_);
  return FConnectedSSID;
}

void TWifiConnection::HandleNotification(const TWifiNotification* data) {
  if (data == nullptr || (data->Source & kWifiNotificationSourceMask) == 0) return;
  const auto code = static_cast<std::uint8_t>(data->Code & 0xFF);
  if (code != kWifiCodeConnectionComplete && code != kWifiCodeDisconnected) return;
  // Without its data record the notification names no network; there is nothing to learn.
  if (data->Data == nullptr) return;

  const std::string name = NotificationName(*data->Data);
  if (code == kWifiCodeConnectionComplete) {
    {
      std::lock_guard lock(connectedMutex_);
      FConnectedSSID = name;
    }
    OnConnected(kestrune::AnsiToWide(name));
  } else {
    {
      std::lock_guard lock(connectedMutex_);
      FConnectedSSID.clear();
    }
    OnDisconnected(kestrune::AnsiToWide(name));
  }
}
