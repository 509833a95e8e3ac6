#pragma once
// The simulated radio environment: the scenario file (this machine's interfaces
// and the networks of its neighbours) and the "air", a folder shared by every
// process of the machine with one small file per hosted network.
//
// Scenario file (env KESTRUNE_SIM_WIFI), UTF-8, one setting a line; blank lines
// and lines starting with '#' are skipped:
//   interface=<identity text>            one wireless interface (0 to 4 are used)
//   neighbour=<ssid>;<security>;<key>    a network nearby; security is 0..255,
//                                        the key is the rest of the line (may hold
//                                        ';'), empty for an open network
// Without the env: one interface kDefaultInterface and one neighbour
// "CoffeeShop" with security 2 and key kDefaultNeighbourKey.
//
// Air folder (env KESTRUNE_SIM_AIR, default /tmp/kestrune-air-<uid>, made 0700).
// A hosted network is the file host-<pid>-<tag>.net, written as .tmp-<pid>-<n>
// and renamed into place, holding lines
//   ssid=  key=  security=  pid=  started=  interface=
// where text values escape bytes below 0x20, '%' and 0x7F as %XX. A file whose
// process is gone (or whose pid now belongs to a younger process) is ignored
// and removed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace simair {

// Windows-like result codes.
constexpr std::uint32_t kOk = 0;
constexpr std::uint32_t kErrFileNotFound = 2;
constexpr std::uint32_t kErrAccessDenied = 5;
constexpr std::uint32_t kErrInvalidData = 13;
constexpr std::uint32_t kErrInvalidPassword = 86;
constexpr std::uint32_t kErrInvalidParameter = 87;
constexpr std::uint32_t kErrNotFound = 1168;

constexpr std::uint8_t kSecurityHosted = 1;
constexpr std::size_t kMaxSsidBytes = 32;
constexpr std::size_t kMaxKeyUnits = 64;

inline constexpr char16_t kDefaultInterface[] = u"{6B29FC40-CA47-1067-B31D-00DD010662DA}";
inline constexpr char16_t kDefaultNeighbour[] = u"CoffeeShop";
inline constexpr char16_t kDefaultNeighbourKey[] = u"espresso42";
constexpr std::uint8_t kDefaultNeighbourSecurity = 2;

// Strict conversions: false on unpaired surrogates or invalid UTF-8.
bool Utf16ToUtf8(const std::u16string& in, std::string& out);
bool Utf8ToUtf16(const std::string& in, std::u16string& out);

struct Neighbour {
  std::u16string ssid;
  std::uint8_t security = 0;
  std::u16string key;
};

struct Scenario {
  std::vector<std::u16string> interfaces;
  std::vector<Neighbour> neighbours;
  bool HasInterface(const std::u16string& id) const;
};

// Reads the scenario the env names (or the default); on failure returns an
// error code and writes the reason to stderr.
std::uint32_t LoadScenario(Scenario& scenario);

// The air folder for this call; creates it when missing. Empty on failure (the
// reason goes to stderr).
std::string AirDir();

struct HostedNetwork {
  std::string path;  // full path of the air file
  std::u16string ssid;
  std::u16string key;
  std::uint8_t security = kSecurityHosted;
  pid_t pid = 0;
  unsigned long long started = 0;  // process start time, 0 when unknown
  std::u16string interfaceId;
};

// A stable file tag for an interface identity.
std::uint32_t InterfaceTag(const std::u16string& interfaceId);
std::string HostFilePath(const std::string& airDir, pid_t pid, const std::u16string& interfaceId);

// Start time of a process in clock ticks since boot, 0 when unknown.
unsigned long long ProcessStartTime(pid_t pid);
bool ProcessAlive(pid_t pid, unsigned long long started);

// Writes the file atomically; false on failure (errno-based text on stderr).
bool WriteHostFile(const HostedNetwork& network);
// Reads one file; nullopt when it is not a valid hosted-network file.
std::optional<HostedNetwork> ReadHostFile(const std::string& path);
// Every live hosted network in the folder, by file name; removes dead ones.
std::vector<HostedNetwork> ListHostedNetworks(const std::string& airDir);
// True while the file exists, is valid, its host lives and still offers ssid/key.
bool HostStillOffers(const std::string& path, const std::u16string& ssid, const std::u16string& key);

}  // namespace simair
