#include "platform/linux/LinuxIpHelper.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/linux/LinuxNetSysfs.h"

namespace kestrune::platform {

namespace {

std::string Dotted(const in_addr& a) {
  char buf[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

// An alias label "eth0:1" names an address of eth0.
std::string BaseName(const char* label) {
  std::string name(label);
  const auto colon = name.find(':');
  if (colon != std::string::npos) name.resize(colon);
  return name;
}

// Interfaces holding an address whose lifetime is limited, which is how DHCP
// clients install what they were leased; static addresses live forever.
std::set<std::string> LeasedInterfaces() {
  std::set<std::string> out;
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return out;
  // The kernel answers a dump at once; the timeout only guards against a hang.
  const timeval timeout{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  struct {
    nlmsghdr header;
    ifaddrmsg body;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETADDR;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = 1;
  request.body.ifa_family = AF_INET;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
    ::close(fd);
    return out;
  }
  alignas(nlmsghdr) char buffer[16384];
  bool done = false;
  while (!done) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    int left = static_cast<int>(n);
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
      if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
        done = true;
        break;
      }
      if (h->nlmsg_type != RTM_NEWADDR) continue;
      const auto* msg = static_cast<const ifaddrmsg*>(NLMSG_DATA(h));
      if (msg->ifa_family != AF_INET) continue;
      std::uint32_t flags = msg->ifa_flags;
      int attrLen = static_cast<int>(IFA_PAYLOAD(h));
      for (auto* a = IFA_RTA(msg); RTA_OK(a, attrLen); a = RTA_NEXT(a, attrLen))
        if (a->rta_type == IFA_FLAGS && RTA_PAYLOAD(a) >= sizeof(std::uint32_t))
          std::memcpy(&flags, RTA_DATA(a), sizeof flags);
      if ((flags & IFA_F_PERMANENT) != 0) continue;
      char name[IF_NAMESIZE] = {};
      if (::if_indextoname(msg->ifa_index, name) != nullptr) out.insert(name);
    }
  }
  ::close(fd);
  return out;
}

}  // namespace

std::map<std::string, std::vector<std::string>> ParseProcNetRoute(std::string_view text) {
  std::map<std::string, std::vector<std::string>> out;
  std::istringstream in{std::string(text)};
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags;
    if (!(fields >> iface >> destination >> gateway >> flags)) continue;
    unsigned long dst = 0, gw = 0, fl = 0;
    try {
      dst = std::stoul(destination, nullptr, 16);
      gw = std::stoul(gateway, nullptr, 16);
      fl = std::stoul(flags, nullptr, 16);
    } catch (const std::exception&) {
      continue;
    }
    constexpr unsigned long kUp = 0x1, kGateway = 0x2;
    if (dst != 0 || (fl & kUp) == 0 || (fl & kGateway) == 0 || gw == 0) continue;
    in_addr a{};
    a.s_addr = static_cast<in_addr_t>(gw);  // the file holds them in the kernel's byte order
    auto& list = out[iface];
    const std::string text = Dotted(a);
    if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
  }
  return out;
}

KernelIpv4 ReadKernelIpv4(const std::filesystem::path& procRoot) {
  KernelIpv4 out;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) == 0) {
    for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
      if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET || i->ifa_name == nullptr) continue;
      IpAddrString entry;
      entry.IpAddress = Dotted(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr);
      if (i->ifa_netmask != nullptr) entry.IpMask = Dotted(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr);
      out.addresses[BaseName(i->ifa_name)].push_back(std::move(entry));
    }
    ::freeifaddrs(list);
  }
  std::ifstream route(procRoot / "net" / "route");
  if (route) {
    std::stringstream text;
    text << route.rdbuf();
    out.gateways = ParseProcNetRoute(text.str());
  }
  out.dhcp = LeasedInterfaces();
  return out;
}

LinuxIpHelper::LinuxIpHelper(std::filesystem::path sysfsRoot, Ipv4Source source)
    : sysfsRoot_(std::move(sysfsRoot)), source_(std::move(source)) {
  if (!source_) source_ = [] { return ReadKernelIpv4(); };
}

std::uint32_t LinuxIpHelper::GetAdaptersInfo(std::vector<IpAdapterInfo>* adapters, std::uint32_t& size) {
  const auto interfaces = linuxnet::SysfsNet(sysfsRoot_).ReadAll();
  const KernelIpv4 ipv4 = source_();
  std::vector<IpAdapterInfo> records;
  for (const auto& i : interfaces) {
    if (linuxnet::IsLoopback(i)) continue;
    IpAdapterInfo r;
    r.AdapterName = i.guid;
    r.Description = sysfsRoot_ == std::filesystem::path("/sys") ? linuxnet::UdevModel(i.ifindex) : std::string();
    if (r.Description.empty()) r.Description = i.name;
    r.AddressLength = static_cast<std::uint32_t>(std::min<std::size_t>(i.mac.size(), MAX_ADAPTER_ADDRESS_LENGTH));
    std::copy_n(i.mac.begin(), r.AddressLength, r.Address.begin());
    r.Index = i.ifindex;
    r.Type = linuxnet::MibTypeOf(i);
    r.DhcpEnabled = ipv4.dhcp.count(i.name) != 0 ? 1 : 0;
    if (const auto it = ipv4.addresses.find(i.name); it != ipv4.addresses.end()) r.IpAddressList = it->second;
    if (const auto it = ipv4.gateways.find(i.name); it != ipv4.gateways.end())
      for (const auto& g : it->second) r.GatewayList.push_back(IpAddrString{g, {}});
    records.push_back(std::move(r));
  }
  if (records.empty()) return ERROR_NO_DATA;
  const std::uint32_t needed = AdapterInfoBufferSize(records);
  if (adapters == nullptr || size < needed) {
    size = needed;
    return ERROR_BUFFER_OVERFLOW;
  }
  *adapters = std::move(records);
  return NO_ERROR;
}

std::uint32_t LinuxIpHelper::GetIfTable(MibIfTable* table, std::uint32_t& size, bool order) {
  const auto interfaces = linuxnet::SysfsNet(sysfsRoot_).ReadAll();
  if (interfaces.empty()) return ERROR_NO_DATA;
  const std::uint32_t needed = IfTableBufferSize(interfaces.size());
  if (table == nullptr || size < needed) {
    size = needed;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  table->table.clear();
  for (const auto& i : interfaces)
    table->table.push_back(MibIfRow{i.ifindex, linuxnet::MibTypeOf(i), linuxnet::OperStatusOf(i)});
  (void)order;  // the interfaces come in index order already
  table->dwNumEntries = static_cast<std::uint32_t>(table->table.size());
  return NO_ERROR;
}

}  // namespace kestrune::platform
