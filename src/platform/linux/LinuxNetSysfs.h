#pragma once
// What the kernel's sysfs says about each network interface, and the facts the
// adapter inventory and the registry derive from it the same way (the
// connection GUID, the device's instance text, the medium).
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform::linuxnet {

constexpr int ARPHRD_ETHER_ = 1;
constexpr int ARPHRD_PPP_ = 512;
constexpr int ARPHRD_LOOPBACK_ = 772;

struct SysfsInterface {
  std::string name;
  std::uint32_t ifindex = 0;
  int type = 0;                     // ARPHRD_*
  std::vector<std::uint8_t> mac;    // current address
  int addrAssignType = -1;          // 0 permanent, 1 random, 2 stolen, 3 set; -1 unknown
  std::vector<std::uint8_t> permanentMac;  // empty when unknown
  std::string operstate;            // "up", "down", "dormant", "unknown", ...
  std::uint32_t flags = 0;          // IFF_*
  int carrier = -1;                 // 1, 0, or -1 when unreadable (interface down)
  bool wireless = false;
  bool hasDevice = false;           // backed by a device (not purely virtual)
  std::string pnpInstanceId;        // "PCI\\VEN_...", "USB\\VID_...", "ROOT\\NET\\<name>", ...
  std::string guid;                 // braced upper-case GUID text
};

class SysfsNet {
 public:
  // root is the sysfs mount ("/sys"; a fake tree in tests). Only the real one
  // is also asked for permanent hardware addresses through the kernel.
  explicit SysfsNet(std::filesystem::path root = "/sys");

  // Every interface under class/net, by interface index, GUIDs assigned.
  std::vector<SysfsInterface> ReadAll() const;

  const std::filesystem::path& Root() const { return root_; }

 private:
  std::optional<SysfsInterface> Read(const std::string& name) const;

  std::filesystem::path root_;
  bool real_;
};

bool IsLoopback(const SysfsInterface& i);
// MIB interface type of the IP helper's records.
std::uint32_t MibTypeOf(const SysfsInterface& i);
// MIB operational status of the interface-table rows.
std::uint32_t OperStatusOf(const SysfsInterface& i);

// Name-based (version 5) UUID of name in a namespace, braced, upper case;
// without a namespace, in the one of our interface identities.
std::string NameBasedGuid(const std::array<std::uint8_t, 16>& nameSpace, std::string_view name);
std::string NameBasedGuid(std::string_view name);
// "00:1a:2b:..." → bytes; empty for anything else.
std::vector<std::uint8_t> ParseMac(std::string_view text);

// The stable GUID of each interface: from its permanent hardware address, or
// its name when it has none that is its own (random, stolen, all zero, or
// shared with an interface that owns it).
void AssignGuids(std::vector<SysfsInterface>& interfaces);

// The device's model as the hardware database names it, when udev knows it.
std::string UdevModel(std::uint32_t ifindex);

}  // namespace kestrune::platform::linuxnet
