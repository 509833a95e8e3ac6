// A second computer on the simulated air: hosts the own network "KESTRUNE"
// through a real controller, says "hosting", and removes the network again
// when its standard input closes.
//   kestrune_wifi_peer [path of libwireless.so]
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>

#include "platform/SystemInfo.h"
#include "platform/sim/SimInternet.h"
#include "wireless/WifiNetwork.h"
#include "wireless/wifi.h"

namespace {

std::string BesideMe() {
  const std::string exe = kestrune::platform::RunningExecutablePath();
  if (exe.empty()) return kWirelessLibraryFileName;
  return kestrune::platform::DirectoryOf(exe) + kWirelessLibraryFileName;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const auto library = LoadWifiLibrary(argc > 1 ? argv[1] : BesideMe());
    kestrune::platform::SimInternet internet;
    TWifiConnection wifi(*library, internet);
    wifi.SetSSID("KESTRUNE");
    wifi.SetKey("24680");
    wifi.Refresh();
    if (!wifi.ConnectOwnNetwork()) {
      std::printf("failed\n");
      std::fflush(stdout);
      return 2;
    }
    std::printf("hosting\n");
    std::fflush(stdout);
    char buffer[256];
    for (;;) {
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EINTR)) break;
    }
    return wifi.DeleteProfile() ? 0 : 3;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrune_wifi_peer: %s\n", e.what());
    return 4;
  }
}
