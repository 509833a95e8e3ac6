#include "platform/linux/LinuxNetSysfs.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "platform/IpHelper.h"

namespace kestrune::platform::linuxnet {

namespace fs = std::filesystem;

namespace {

// --- SHA-1, for name-based UUIDs ---------------------------------------------

std::array<std::uint8_t, 20> Sha1(std::string_view data) {
  std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::string msg(data);
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  msg.push_back(static_cast<char>(0x80));
  while (msg.size() % 64 != 56) msg.push_back('\0');
  for (int i = 7; i >= 0; --i) msg.push_back(static_cast<char>((bits >> (i * 8)) & 0xFF));
  auto rol = [](std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); };
  for (std::size_t off = 0; off < msg.size(); off += 64) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
      const auto* p = reinterpret_cast<const unsigned char*>(msg.data() + off + i * 4);
      w[i] = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
    }
    for (int i = 16; i < 80; ++i) w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
      std::uint32_t f, k;
      if (i < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      const std::uint32_t t = rol(a, 5) + f + e + k + w[i];
      e = d;
      d = c;
      c = rol(b, 30);
      b = a;
      a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
  }
  std::array<std::uint8_t, 20> out{};
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 4; ++j) out[static_cast<std::size_t>(i * 4 + j)] = static_cast<std::uint8_t>(h[i] >> (24 - 8 * j));
  return out;
}

// Our namespace for interface identities: {3F0C9E5B-7A14-4D2E-9B61-C8E2A4F07D39}.
constexpr std::array<std::uint8_t, 16> kNamespace = {0x3F, 0x0C, 0x9E, 0x5B, 0x7A, 0x14, 0x4D, 0x2E,
                                                     0x9B, 0x61, 0xC8, 0xE2, 0xA4, 0xF0, 0x7D, 0x39};

// --- sysfs files -------------------------------------------------------------

std::optional<std::string> ReadLine(const fs::path& p) {
  std::ifstream in(p);
  if (!in) return std::nullopt;
  std::string line;
  if (!std::getline(in, line)) return std::string();  // empty file
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

std::optional<long long> ReadNumber(const fs::path& p) {
  const auto text = ReadLine(p);
  if (!text || text->empty()) return std::nullopt;
  try {
    std::size_t used = 0;
    const long long v = std::stoll(*text, &used, 0);  // decimal or 0x-hex
    if (used != text->size()) return std::nullopt;
    return v;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

std::string SubsystemOf(const fs::path& dir) {
  std::error_code ec;
  const auto target = fs::read_symlink(dir / "subsystem", ec);
  return ec ? std::string() : target.filename().string();
}

std::string Hex(long long v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*llX", width, v);
  return buf;
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The instance text of the device behind an interface, named after its bus.
// A function of a device on another bus (virtio on PCI, say) takes its bus
// from the nearest ancestor on PCI, USB or PCMCIA.
std::string InstanceIdOf(const fs::path& root, const fs::path& ifdir, const std::string& ifname, bool& hasDevice) {
  std::error_code ec;
  hasDevice = false;
  if (!fs::is_symlink(ifdir / "device", ec) && !fs::is_directory(ifdir / "device", ec)) return "ROOT\\NET\\" + Upper(ifname);
  fs::path dev = fs::canonical(ifdir / "device", ec);
  if (ec) return "ROOT\\NET\\" + Upper(ifname);
  hasDevice = true;
  const fs::path devicesRoot = fs::weakly_canonical(root / "devices", ec);
  std::string firstBus;
  fs::path firstDir;
  for (int depth = 0; depth < 16 && !dev.empty() && dev != dev.root_path(); ++depth) {
    if (!devicesRoot.empty() && dev == devicesRoot) break;
    const std::string bus = SubsystemOf(dev);
    if (bus == "pci") {
      const auto vendor = ReadNumber(dev / "vendor").value_or(0);
      const auto device = ReadNumber(dev / "device").value_or(0);
      const auto subVendor = ReadNumber(dev / "subsystem_vendor").value_or(0);
      const auto subDevice = ReadNumber(dev / "subsystem_device").value_or(0);
      const auto revision = ReadNumber(dev / "revision").value_or(0);
      return "PCI\\VEN_" + Hex(vendor, 4) + "&DEV_" + Hex(device, 4) + "&SUBSYS_" + Hex(subDevice, 4) +
             Hex(subVendor, 4) + "&REV_" + Hex(revision, 2) + "\\" + Upper(dev.filename().string());
    }
    if (bus == "usb") {
      // Interfaces sit below the USB device that carries the identifiers.
      fs::path usbDevice = dev;
      if (!Exists(usbDevice / "idVendor") && Exists(dev.parent_path() / "idVendor")) usbDevice = dev.parent_path();
      const std::string vid = ReadLine(usbDevice / "idVendor").value_or("0000");
      const std::string pid = ReadLine(usbDevice / "idProduct").value_or("0000");
      const std::string serial = ReadLine(usbDevice / "serial").value_or(usbDevice.filename().string());
      return "USB\\VID_" + Upper(vid) + "&PID_" + Upper(pid) + "\\" + Upper(serial.empty() ? usbDevice.filename().string() : serial);
    }
    if (bus == "pcmcia") return "PCMCIA\\" + Upper(dev.filename().string());
    if (firstBus.empty() && !bus.empty()) {
      firstBus = bus;
      firstDir = dev;
    }
    dev = dev.parent_path();
  }
  if (firstBus.empty()) return "ROOT\\NET\\" + Upper(ifname);
  return Upper(firstBus) + "\\" + Upper(firstDir.filename().string());
}

// The factory address of an interface, which survives a changed or random
// current address. Only the kernel knows it for wired devices.
std::vector<std::uint8_t> KernelPermanentAddress(const std::string& ifname) {
  if (ifname.size() >= IFNAMSIZ) return {};
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {};
  constexpr std::uint32_t kMaxAddrLen = 32;
  alignas(ethtool_perm_addr) unsigned char buffer[sizeof(ethtool_perm_addr) + kMaxAddrLen] = {};
  auto* request = reinterpret_cast<ethtool_perm_addr*>(buffer);
  request->cmd = ETHTOOL_GPERMADDR;
  request->size = kMaxAddrLen;
  ifreq ifr{};
  std::memcpy(ifr.ifr_name, ifname.c_str(), ifname.size());
  ifr.ifr_data = reinterpret_cast<char*>(buffer);
  std::vector<std::uint8_t> out;
  if (::ioctl(fd, SIOCETHTOOL, &ifr) == 0 && request->size <= kMaxAddrLen) {
    const unsigned char* data = buffer + sizeof(ethtool_perm_addr);
    out.assign(data, data + request->size);
  }
  ::close(fd);
  return out;
}

bool AllZero(const std::vector<std::uint8_t>& mac) {
  return std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b == 0; });
}

std::string MacText(const std::vector<std::uint8_t>& mac) {
  std::string out;
  char buf[4];
  for (auto b : mac) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    if (!out.empty()) out += ':';
    out += buf;
  }
  return out;
}

}  // namespace

std::string NameBasedGuid(std::string_view name) { return NameBasedGuid(kNamespace, name); }

std::string NameBasedGuid(const std::array<std::uint8_t, 16>& nameSpace, std::string_view name) {
  std::string data(nameSpace.begin(), nameSpace.end());
  data.append(name);
  const auto hash = Sha1(data);
  std::uint8_t u[16];
  std::copy_n(hash.begin(), 16, u);
  u[6] = static_cast<std::uint8_t>((u[6] & 0x0F) | 0x50);
  u[8] = static_cast<std::uint8_t>((u[8] & 0x3F) | 0x80);
  char buf[39];
  std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", u[0], u[1],
                u[2], u[3], u[4], u[5], u[6], u[7], u[8], u[9], u[10], u[11], u[12], u[13], u[14], u[15]);
  return buf;
}

std::vector<std::uint8_t> ParseMac(std::string_view text) {
  std::vector<std::uint8_t> out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + 2 > text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
      return {};
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    i += 2;
    if (i == text.size()) break;
    if (text[i] != ':') return {};
    ++i;
    if (i == text.size()) return {};
  }
  return out;
}

SysfsNet::SysfsNet(fs::path root) : root_(std::move(root)), real_(root_ == fs::path("/sys")) {}

std::optional<SysfsInterface> SysfsNet::Read(const std::string& name) const {
  const fs::path dir = root_ / "class" / "net" / name;
  const auto ifindex = ReadNumber(dir / "ifindex");
  if (!ifindex || *ifindex <= 0) return std::nullopt;
  SysfsInterface i;
  i.name = name;
  i.ifindex = static_cast<std::uint32_t>(*ifindex);
  i.type = static_cast<int>(ReadNumber(dir / "type").value_or(0));
  i.mac = ParseMac(ReadLine(dir / "address").value_or(""));
  i.addrAssignType = static_cast<int>(ReadNumber(dir / "addr_assign_type").value_or(-1));
  i.operstate = ReadLine(dir / "operstate").value_or("unknown");
  i.flags = static_cast<std::uint32_t>(ReadNumber(dir / "flags").value_or(0));
  i.carrier = static_cast<int>(ReadNumber(dir / "carrier").value_or(-1));
  i.wireless = Exists(dir / "wireless") || Exists(dir / "phy80211");
  if (i.wireless) i.permanentMac = ParseMac(ReadLine(dir / "phy80211" / "macaddress").value_or(""));
  if (i.permanentMac.empty() && real_ && !IsLoopback(i)) i.permanentMac = KernelPermanentAddress(name);
  i.pnpInstanceId = InstanceIdOf(root_, dir, name, i.hasDevice);
  return i;
}

std::vector<SysfsInterface> SysfsNet::ReadAll() const {
  std::vector<SysfsInterface> out;
  std::error_code ec;
  for (fs::directory_iterator it(root_ / "class" / "net", ec), end; !ec && it != end; it.increment(ec)) {
    if (auto i = Read(it->path().filename().string())) out.push_back(std::move(*i));
  }
  std::sort(out.begin(), out.end(), [](const SysfsInterface& a, const SysfsInterface& b) { return a.ifindex < b.ifindex; });
  AssignGuids(out);
  return out;
}

void AssignGuids(std::vector<SysfsInterface>& interfaces) {
  // The hardware address an interface may be named by, if any.
  auto ownAddress = [](const SysfsInterface& i) -> std::vector<std::uint8_t> {
    if (i.permanentMac.size() == 6 && !AllZero(i.permanentMac)) return i.permanentMac;
    const bool assignedByHardware = i.addrAssignType == 0 || i.addrAssignType == 3 || i.addrAssignType == -1;
    if (assignedByHardware && i.mac.size() == 6 && !AllZero(i.mac) && !IsLoopback(i)) return i.mac;
    return {};
  };
  // A hardware address shared by several interfaces (VLANs, bonds) names only
  // the one that owns it: backed by a device, else the lowest index.
  std::map<std::string, std::size_t> owner;
  std::vector<std::string> macs(interfaces.size());
  for (std::size_t n = 0; n < interfaces.size(); ++n) {
    const auto mac = ownAddress(interfaces[n]);
    if (mac.empty()) continue;
    macs[n] = MacText(mac);
    const auto [it, inserted] = owner.emplace(macs[n], n);
    if (!inserted && interfaces[n].hasDevice && !interfaces[it->second].hasDevice) it->second = n;
  }
  for (std::size_t n = 0; n < interfaces.size(); ++n) {
    auto& i = interfaces[n];
    if (!macs[n].empty() && owner.at(macs[n]) == n)
      i.guid = NameBasedGuid("mac:" + macs[n]);
    else
      i.guid = NameBasedGuid("ifname:" + i.name);
  }
}

bool IsLoopback(const SysfsInterface& i) { return i.type == ARPHRD_LOOPBACK_; }

std::uint32_t MibTypeOf(const SysfsInterface& i) {
  switch (i.type) {
    case ARPHRD_ETHER_: return i.wireless ? IF_TYPE_IEEE80211 : MIB_IF_TYPE_ETHERNET;
    case 6: return MIB_IF_TYPE_TOKENRING;  // ARPHRD_IEEE802
    case ARPHRD_PPP_: return MIB_IF_TYPE_PPP;
    case 256: return MIB_IF_TYPE_SLIP;  // ARPHRD_SLIP
    case ARPHRD_LOOPBACK_: return MIB_IF_TYPE_LOOPBACK;
    case 768:  // ARPHRD_TUNNEL
    case 769:  // ARPHRD_TUNNEL6
    case 776:  // ARPHRD_SIT
    case 778:  // ARPHRD_IPGRE
    case 823:  // ARPHRD_IP6GRE
      return IF_TYPE_TUNNEL;
    case 801:  // ARPHRD_IEEE80211 and its radiotap forms
    case 802:
    case 803:
      return IF_TYPE_IEEE80211;
    case 65534:  // ARPHRD_NONE (tun)
      return IF_TYPE_PROP_VIRTUAL;
    default:
      return MIB_IF_TYPE_OTHER;
  }
}

std::uint32_t OperStatusOf(const SysfsInterface& i) {
  const bool adminUp = (i.flags & IFF_UP) != 0;
  if (i.operstate == "up") return MIB_IF_OPER_STATUS_OPERATIONAL;
  if (i.operstate == "dormant") return MIB_IF_OPER_STATUS_CONNECTING;
  if (i.operstate == "unknown") {
    // Drivers that report no state (loopback, tun): judge by the link.
    if (adminUp && i.carrier != 0) return MIB_IF_OPER_STATUS_OPERATIONAL;
    return adminUp ? MIB_IF_OPER_STATUS_DISCONNECTED : MIB_IF_OPER_STATUS_NON_OPERATIONAL;
  }
  if (i.operstate == "down" || i.operstate == "lowerlayerdown")
    return adminUp ? MIB_IF_OPER_STATUS_DISCONNECTED : MIB_IF_OPER_STATUS_NON_OPERATIONAL;
  return MIB_IF_OPER_STATUS_NON_OPERATIONAL;  // notpresent, testing
}

std::string UdevModel(std::uint32_t ifindex) {
  std::ifstream in("/run/udev/data/n" + std::to_string(ifindex));
  std::string line;
  constexpr std::string_view kKey = "E:ID_MODEL_FROM_DATABASE=";
  while (std::getline(in, line))
    if (line.compare(0, kKey.size(), kKey) == 0) return line.substr(kKey.size());
  return {};
}

}  // namespace kestrune::platform::linuxnet
