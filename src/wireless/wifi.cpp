#include "wireless/wifi.h"

#include <dlfcn.h>

#include <cstdlib>

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

std::unique_ptr<TWifiLibrary> LoadWirelessLibrary(const std::string& appDir) {
  return LoadWifiLibrary(WirelessLibraryPath(appDir));
}
