#include "ScriptedWireless.h"

#include <algorithm>
#include <cstring>

#include "core/Strings.h"

namespace testsupport {
namespace {

std::string Text(const char16_t* s) { return s ? kestrune::WideToAnsi(s) : std::string("(null)"); }

std::uint32_t CEnumInterface(TWifiInterfaceList* list) { return ScriptedWireless::Get().EnumInterface(list); }
std::uint32_t CGetVisibleNetworkList(const char16_t* id, TWifiNetworkList* list) {
  return ScriptedWireless::Get().GetVisibleNetworkList(id, list);
}
std::uint32_t CConnect(const char16_t* id, const char16_t* ssid, const char16_t* key, std::uint32_t security,
                       std::uint32_t, std::uint32_t) {
  return ScriptedWireless::Get().Connect(id, ssid, key, security);
}
std::uint32_t CDisconnect(const char16_t* id) { return ScriptedWireless::Get().Disconnect(id); }
std::uint32_t CAddSsid(const char16_t* id, const char16_t* ssid, const char16_t* key) {
  return ScriptedWireless::Get().AddSsid(id, ssid, key);
}
std::uint32_t CDeleteSsid(const char16_t* id, const char16_t* ssid) {
  return ScriptedWireless::Get().DeleteSsid(id, ssid);
}
std::uint32_t CRegisterNotification(TWifiNotificationCallback cb) {
  return ScriptedWireless::Get().RegisterNotification(cb);
}
std::uint32_t CUnRegisterNotification() { return ScriptedWireless::Get().UnRegisterNotification(); }

}  // namespace

ScriptedWireless& ScriptedWireless::Get() {
  static ScriptedWireless instance;
  return instance;
}

ScriptedWireless& ScriptedWireless::Reset() {
  ScriptedWireless& s = Get();
  std::lock_guard lock(s.mutex_);
  s.interfaces_ = {u"sim-wlan0"};
  s.networks_.clear();
  s.hosted_.clear();
  s.joined_.clear();
  s.addResult_ = 0;
  s.deleteResult_ = 0;
  s.calls_.clear();
  s.hook_ = nullptr;
  s.callback_ = nullptr;
  return s;
}

TWifiLibrary ScriptedWireless::Table() const {
  TWifiLibrary t;
  t.EnumInterface = &CEnumInterface;
  t.GetVisibleNetworkList = &CGetVisibleNetworkList;
  t.Connect = &CConnect;
  t.Disconnect = &CDisconnect;
  t.AddSsid = &CAddSsid;
  t.DeleteSsid = &CDeleteSsid;
  t.RegisterNotification = &CRegisterNotification;
  t.UnRegisterNotification = &CUnRegisterNotification;
  return t;
}

void ScriptedWireless::SetInterfaces(std::vector<std::u16string> ids) {
  std::lock_guard lock(mutex_);
  interfaces_ = std::move(ids);
}

void ScriptedWireless::SetNetworks(std::vector<ScriptedNetwork> networks) {
  std::lock_guard lock(mutex_);
  networks_ = std::move(networks);
}

void ScriptedWireless::FailAddSsid(std::uint32_t result) {
  std::lock_guard lock(mutex_);
  addResult_ = result;
}

void ScriptedWireless::FailDeleteSsid(std::uint32_t result) {
  std::lock_guard lock(mutex_);
  deleteResult_ = result;
}

std::vector<std::u16string> ScriptedWireless::Hosted() const {
  std::lock_guard lock(mutex_);
  return hosted_;
}

std::vector<std::string> ScriptedWireless::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

int ScriptedWireless::IndexOf(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < calls_.size(); ++i)
    if (calls_[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  return -1;
}

void ScriptedWireless::OnCall(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

void ScriptedWireless::Log(const std::string& call) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    hook = hook_;
  }
  if (hook) hook(call);
}

std::uint32_t ScriptedWireless::EnumInterface(TWifiInterfaceList* list) {
  Log("EnumInterface");
  std::lock_guard lock(mutex_);
  std::memset(list, 0, sizeof *list);
  const auto n = std::min<std::size_t>(interfaces_.size(), kWifiMaxInterfaces);
  list->Count = static_cast<std::uint32_t>(n);
  for (std::size_t i = 0; i < n; ++i) list->Entries[i].Id = interfaces_[i].c_str();
  return 0;
}

std::uint32_t ScriptedWireless::GetVisibleNetworkList(const char16_t* id, TWifiNetworkList* list) {
  Log("GetVisibleNetworkList(" + Text(id) + ")");
  std::lock_guard lock(mutex_);
  std::memset(list, 0, sizeof *list);
  std::vector<ScriptedNetwork> all = networks_;
  for (const auto& h : hosted_) all.push_back({h, 0, 1});
  const auto n = std::min<std::size_t>(all.size(), kWifiMaxNetworks);
  list->Count = static_cast<std::uint32_t>(n);
  for (std::size_t i = 0; i < n; ++i) {
    auto& e = list->Entries[i];
    const auto len = std::min<std::size_t>(all[i].ssid.size(), kWifiSSIDUnits - 1);
    std::copy_n(all[i].ssid.data(), len, e.SSID);
    e.State = all[i].state;
    e.Security = all[i].security;
  }
  return 0;
}

std::uint32_t ScriptedWireless::Connect(const char16_t* id, const char16_t* ssid, const char16_t* key,
                                        std::uint32_t security) {
  Log("Connect(" + Text(id) + "," + Text(ssid) + "," + Text(key) + "," + std::to_string(security) + ")");
  std::lock_guard lock(mutex_);
  joined_.push_back(ssid);
  return 0;
}

std::uint32_t ScriptedWireless::Disconnect(const char16_t* id) {
  Log("Disconnect(" + Text(id) + ")");
  return 0;
}

std::uint32_t ScriptedWireless::AddSsid(const char16_t* id, const char16_t* ssid, const char16_t* key) {
  Log("AddSsid(" + Text(id) + "," + Text(ssid) + "," + Text(key) + ")");
  std::lock_guard lock(mutex_);
  if (addResult_ != 0) return addResult_;
  hosted_.push_back(ssid);
  return 0;
}

std::uint32_t ScriptedWireless::DeleteSsid(const char16_t* id, const char16_t* ssid) {
  Log("DeleteSsid(" + Text(id) + "," + Text(ssid) + ")");
  std::lock_guard lock(mutex_);
  if (deleteResult_ != 0) return deleteResult_;
  // Hosting and joining both leave a profile behind.
  for (auto* profiles : {&hosted_, &joined_}) {
    const auto it = std::find(profiles->begin(), profiles->end(), std::u16string(ssid));
    if (it == profiles->end()) continue;
    profiles->erase(it);
    return 0;
  }
  return kNotFound;
}

std::uint32_t ScriptedWireless::RegisterNotification(TWifiNotificationCallback cb) {
  Log("RegisterNotification");
  std::lock_guard lock(mutex_);
  callback_ = cb;
  return 0;
}

std::uint32_t ScriptedWireless::UnRegisterNotification() {
  Log("UnRegisterNotification");
  std::lock_guard lock(mutex_);
  callback_ = nullptr;
  return 0;
}

}  // namespace testsupport
