// The Wi-Fi controller on a library whose records are fuzz bytes: the lists'
// counts, names and fields come from the input, identity pointers point at
// texts this target owns (or are null), and a notification with or without
// its data record follows the scans.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "core/Strings.h"
#include "platform/Internet.h"
#include "wireless/WifiNetwork.h"

namespace {

class NoInternet : public kestrune::platform::IInternet {
 public:
  bool QueryConnectedState(std::uint32_t& state) override {
    state = kestrune::platform::INTERNET_STATE_DISCONNECTED;
    return true;
  }
  bool CheckConnection(const std::string&, std::uint32_t) override { return false; }
  bool GetConnectedState(std::uint32_t& flags) override {
    flags = 0;
    return false;
  }
};

// What the current input gives the library functions.
fuzz::Input* gInput = nullptr;
std::vector<std::u16string> gIds;  // identity texts handed out by EnumInterface

std::uint32_t Result() { return gInput->Byte() % 4 == 0 ? 1 : 0; }

std::uint32_t EnumInterface(TWifiInterfaceList* list) {
  const std::uint32_t r = Result();
  gInput->Copy(&list->Count, sizeof list->Count);
  gIds.clear();
  gIds.reserve(kWifiMaxInterfaces);
  for (auto& entry : list->Entries) {
    const std::uint8_t how = gInput->Byte();
    if (how % 3 == 0) {
      entry.Id = nullptr;
    } else {
      std::string bytes = gInput->Text(24);
      std::u16string id(bytes.size() / 2, u'\0');
      std::memcpy(id.data(), bytes.data(), id.size() * 2);
      gIds.push_back(std::move(id));
      entry.Id = gIds.back().c_str();
    }
    gInput->Copy(entry.Reserved, sizeof entry.Reserved);
  }
  return r;
}

std::u16string gOwnSSID;  // the controller's own network name, as the library would list it

std::uint32_t GetVisibleNetworkList(const char16_t*, TWifiNetworkList* list) {
  const std::uint32_t r = Result();
  gInput->Copy(&list->Count, sizeof list->Count);
  const std::uint8_t how = gInput->Byte();
  const std::size_t entries = how % (kWifiMaxNetworks + 1);
  for (std::size_t i = 0; i < entries; ++i) gInput->Copy(&list->Entries[i], sizeof list->Entries[i]);
  // Now and then the own network is on the air, so joining it gets its turn.
  if (how & 0x80) {
    TWifiNetworkEntry& e = list->Entries[how % kWifiMaxNetworks];
    std::memset(e.SSID, 0, sizeof e.SSID);
    std::memcpy(e.SSID, gOwnSSID.data(), std::min(gOwnSSID.size(), kWifiSSIDUnits) * sizeof(char16_t));
    e.Security = 1;
  }
  return r;
}

std::uint32_t Connect(const char16_t*, const char16_t*, const char16_t*, std::uint32_t, std::uint32_t,
                      std::uint32_t) {
  return Result();
}
std::uint32_t Disconnect(const char16_t*) { return Result(); }
std::uint32_t AddSsid(const char16_t*, const char16_t*, const char16_t*) { return Result(); }
std::uint32_t DeleteSsid(const char16_t*, const char16_t*) { return Result(); }
std::uint32_t RegisterNotification(TWifiNotificationCallback) { return 0; }
std::uint32_t UnRegisterNotification() { return 0; }

TWifiConnection& Controller() {
  static TWifiLibrary library = [] {
    TWifiLibrary l;
    l.EnumInterface = EnumInterface;
    l.GetVisibleNetworkList = GetVisibleNetworkList;
    l.Connect = Connect;
    l.Disconnect = Disconnect;
    l.AddSsid = AddSsid;
    l.DeleteSsid = DeleteSsid;
    l.RegisterNotification = RegisterNotification;
    l.UnRegisterNotification = UnRegisterNotification;
    return l;
  }();
  static NoInternet internet;
  // The monitor checks once at its start and then sleeps for the whole run.
  static TWifiConnection* connection = new TWifiConnection(library, internet, std::chrono::hours(24));
  return *connection;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  gInput = &in;
  TWifiConnection& wifi = Controller();
  wifi.SetSSID(in.Text(40));
  gOwnSSID = kestrune::AnsiToWide(wifi.GetSSID());
  wifi.SetKey(in.Text(16));

  wifi.Refresh();
  for (int i = 0; i < wifi.Networks().Count(); ++i)
    if (wifi.Network(i) == nullptr || wifi.Network(i)->FSSID.empty()) __builtin_trap();
  if (wifi.NetworkCount() != wifi.Networks().Count()) __builtin_trap();
  (void)wifi.ConnectOwnNetwork();
  (void)wifi.DeleteProfile();

  TWifiNotification note{};
  in.Copy(&note, offsetof(TWifiNotification, Data));
  auto record = std::make_unique<TWifiConnectionData>();
  const bool withData = in.Byte() & 1;
  in.Copy(record.get(), sizeof *record);
  note.Data = withData ? record.get() : nullptr;
  WifiNotificationCallback(&note, nullptr);
  if (withData && (note.Source & kWifiNotificationSourceMask) != 0 &&
      static_cast<std::uint8_t>(note.Code) == kWifiCodeConnectionComplete &&
      wifi.ConnectedSSID().size() > kWifiConnectionDataNameSize)
    __builtin_trap();

  wifi.Refresh();
  if (TWLanNetwork* c = wifi.ConnectedNetwork(); c != nullptr && c->FState != 0) __builtin_trap();
  gInput = nullptr;
  return 0;
}
