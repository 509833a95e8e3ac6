// Any bytes as the simulated library's scenario file and as a hosted-network
// file of the air folder. A host file that reads must write and read back the same.
// The parsers explain each rejection on stderr: run with -close_fd_mask=2.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "../wirelesslib/sim/SimAir.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = fuzz::WriteTempFile("input", bytes);

  setenv("KESTRUNE_SIM_WIFI", path.c_str(), 1);
  simair::Scenario scenario;
  if (simair::LoadScenario(scenario) == simair::kOk) {
    for (const auto& n : scenario.neighbours) {
      std::string ssid;
      if (n.ssid.empty() || !simair::Utf16ToUtf8(n.ssid, ssid) || ssid.size() > simair::kMaxSsidBytes)
        __builtin_trap();
      if (n.key.size() > simair::kMaxKeyUnits) __builtin_trap();
    }
  } else if (!scenario.interfaces.empty() || !scenario.neighbours.empty()) {
    __builtin_trap();  // a rejected file must not leave half a scenario
  }

  const auto host = simair::ReadHostFile(path);
  if (!host) return 0;
  simair::HostedNetwork copy = *host;
  copy.path = fuzz::TempDir() + "/host-copy.net";
  if (!simair::WriteHostFile(copy)) __builtin_trap();
  const auto back = simair::ReadHostFile(copy.path);
  if (!back || back->ssid != host->ssid || back->key != host->key || back->security != host->security ||
      back->pid != host->pid || back->started != host->started || back->interfaceId != host->interfaceId)
    __builtin_trap();
  return 0;
}
