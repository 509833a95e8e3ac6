#pragma once
// A wireless library table made of plain functions over one process-wide
// script: which interfaces and networks it lists, what each call answers, and
// a log of every call with its arguments.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "wireless/wifi.h"

namespace testsupport {

struct ScriptedNetwork {
  std::u16string ssid;
  std::uint8_t state = 1;     // 0: connected
  std::uint8_t security = 2;  // 1: the own kind
};

class ScriptedWireless {
 public:
  static constexpr std::uint32_t kNotFound = 1168;

  // Clears the script and the log; installs one interface u"sim-wlan0".
  static ScriptedWireless& Reset();
  static ScriptedWireless& Get();

  TWifiLibrary Table() const;

  void SetInterfaces(std::vector<std::u16string> ids);
  void SetNetworks(std::vector<ScriptedNetwork> networks);
  // A non-zero result makes the call fail; AddSsid then hosts nothing.
  void FailAddSsid(std::uint32_t result);
  void FailDeleteSsid(std::uint32_t result);

  // Networks hosted through AddSsid and not deleted since.
  std::vector<std::u16string> Hosted() const;
  // Every call as "Name(arg,arg)", in order.
  std::vector<std::string> Calls() const;
  // Index of the first call starting with prefix, or -1.
  int IndexOf(const std::string& prefix) const;
  // Runs on the calling thread for every call, after it is logged.
  void OnCall(std::function<void(const std::string&)> hook);

  // Library side.
  std::uint32_t EnumInterface(TWifiInterfaceList* list);
  std::uint32_t GetVisibleNetworkList(const char16_t* id, TWifiNetworkList* list);
  std::uint32_t Connect(const char16_t* id, const char16_t* ssid, const char16_t* key, std::uint32_t security);
  std::uint32_t Disconnect(const char16_t* id);
  std::uint32_t AddSsid(const char16_t* id, const char16_t* ssid, const char16_t* key);
  std::uint32_t DeleteSsid(const char16_t* id, const char16_t* ssid);
  std::uint32_t RegisterNotification(TWifiNotificationCallback cb);
  std::uint32_t UnRegisterNotification();

 private:
  void Log(const std::string& call);

  mutable std::mutex mutex_;
  std::vector<std::u16string> interfaces_;
  std::vector<ScriptedNetwork> networks_;
  std::vector<std::u16string> hosted_;
  std::vector<std::u16string> joined_;
  std::uint32_t addResult_ = 0;
  std::uint32_t deleteResult_ = 0;
  std::vector<std::string> calls_;
  std::function<void(const std::string&)> hook_;
  TWifiNotificationCallback callback_ = nullptr;
};

}  // namespace testsupport
