#include "wireless/wifi.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>

#include "core/Strings.h"

namespace {

template <typename F>
void Resolve(void* handle, const std::string& path, const char* name, F& slot) {
  dlerror();
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr)
    throw EWifiLibraryError("The wireless library " + path + " has no function " + name + ".");
  slot = reinterpret_cast<F>(symbol);
}

}  // namespace

std::unique_ptr<TWifiLibrary> LoadWifiLibrary(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    throw EWifiLibraryError("The wireless library " + path + " could not be loaded: " +
                            (why != nullptr ? why : "unknown error") + ".");
  }
  auto library = std::make_unique<TWifiLibrary>();
  library->Handle = std::shared_ptr<void>(handle, [](void* h) { dlclose(h); });
  Resolve(handle, path, "EnumInterface", library->EnumInterface);
  Resolve(handle, path, "GetVisibleNetworkList", library->GetVisibleNetworkList);
  Resolve(handle, path, "Connect", library->Connect);
  Resolve(handle, path, "Disconnect", library->Disconnect);
  Resolve(handle, path, "AddSsid", library->AddSsid);
  Resolve(handle, path, "DeleteSsid", library->DeleteSsid);
  Resolve(handle, path, "RegisterNotification", library->RegisterNotification);
  Resolve(handle, path, "UnRegisterNotification", library->UnRegisterNotification);
  return library;
}

std::string WirelessLibraryPath(const std::string& appDir) {
  const char* chosen = std::getenv("KESTRUNE_WIRELESS_LIBRARY");
  if (chosen != nullptr && *chosen != '\0') return chosen;
  return appDir + kWirelessLibraryFileName;
}

std::optional<bool> WirelessLinkUp(const TWifiLibrary& library, const std::u16string& interfaceId) {
  if (library.GetVisibleNetworkList == nullptr) return std::nullopt;
  // Too large for the stack of every caller; the identity text is our own copy,
  // which the library recognises as well as its own pointer.
  auto list = std::make_unique<TWifiNetworkList>();
  if (library.GetVisibleNetworkList(interfaceId.c_str(), list.get()) != 0) return std::nullopt;
  const std::uint32_t count = std::min(list->Count, kWifiMaxNetworks);
  for (std::uint32_t i = 0; i < count; ++i)
    if ((list->Entries[i].State & 0xFF) == 0) return true;
  return false;
}

std::function<std::optional<bool>(const std::string& guid)> WirelessLinkQueryOver(TWifiLibrary library) {
  return [library = std::move(library)](const std::string& guid) {
    return WirelessLinkUp(library, kestrune::AnsiToWide(guid));
  };
}

std::unique_ptr<TWifiLibrary> LoadWirelessLibrary(const std::string& appDir) {
  return LoadWifiLibrary(WirelessLibraryPath(appDir));
}
