#include "platform/linux/LinuxInternet.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

namespace kestrune::platform {

namespace {

constexpr std::uint32_t kRtfUp = 0x0001;
constexpr std::uint32_t kRtfReject = 0x0200;
constexpr unsigned long kIffUp = 0x1;
// Far beyond any real routing table; a runaway file is not read to the end.
constexpr std::size_t kMaxTableBytes = 16u << 20;

std::optional<std::string> ReadFile(const std::string& path, std::size_t limit = kMaxTableBytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char buf[4096];
  while (text.size() < limit) {
    in.read(buf, sizeof buf);
    if (in.gcount() <= 0) break;
    text.append(buf, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return text;
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const std::size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

template <typename F>
void ForEachLine(std::string_view text, F&& f) {
  while (!text.empty()) {
    const auto end = text.find('\n');
    f(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

// Exactly `digits` hex digits (0 = any count up to 8).
std::optional<std::uint32_t> Hex32(std::string_view s, std::size_t digits = 0) {
  if (s.empty() || (digits != 0 && s.size() != digits) || (digits == 0 && s.size() > 8))
    return std::nullopt;
  std::uint32_t value = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

bool AllHexZeros(std::string_view s, std::size_t digits) {
  return s.size() == digits && std::all_of(s.begin(), s.end(), [](char c) { return c == '0'; });
}

// The name becomes part of a sysfs path, so it must be a plain interface name.
bool UsableInterfaceName(std::string_view name) {
  if (name.empty() || name.size() > 15 || name == "." || name == ".." || name == "lo")
    return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

void AddUnique(std::vector<std::string>& names, std::string_view name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
}

bool IsLoopbackHost(std::string_view host) {
  return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0;
}

std::optional<std::string> HostOf(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), &curl_url_cleanup);
  if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return std::nullopt;
  char* host = nullptr;
  if (curl_url_get(u.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || host == nullptr)
    return std::nullopt;
  std::string out(host);
  curl_free(host);
  return out;
}

bool CurlReady() {
  // Thread-safe once-only start of libcurl; never undone, it lives as long as the process.
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

}  // namespace

LinuxInternet::LinuxInternet(std::string procRoot, std::string sysRoot)
    : procRoot_(std::move(procRoot)), sysRoot_(std::move(sysRoot)) {}

void LinuxInternet::SetTimeouts(std::chrono::milliseconds connect,
                                std::chrono::milliseconds total) {
  connectTimeout_ = connect;
  totalTimeout_ = total;
}

std::vector<std::string> LinuxInternet::Ipv4DefaultRouteInterfaces(std::string_view table) {
  std::vector<std::string> names;
  ForEachLine(table, [&](std::string_view line) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT
    const auto f = Fields(line);
    if (f.size() < 4 || f[0] == "Iface") return;
    const auto dest = Hex32(f[1], 8);
    const auto flags = Hex32(f[3]);
    if (!dest || !flags || *dest != 0) return;
    if ((*flags & kRtfUp) == 0 || (*flags & kRtfReject) != 0) return;
    if (UsableInterfaceName(f[0])) AddUnique(names, f[0]);
  });
  return names;
}

std::vector<std::string> LinuxInternet::Ipv6DefaultRouteInterfaces(std::string_view table) {
  std::vector<std::string> names;
  ForEachLine(table, [&](std::string_view line) {
    // dest plen src splen nexthop metric refcnt use flags iface
    const auto f = Fields(line);
    if (f.size() < 10) return;
    const auto plen = Hex32(f[1], 2);
    const auto flags = Hex32(f[8], 8);
    if (!plen || !flags || *plen != 0 || !AllHexZeros(f[0], 32)) return;
    if ((*flags & kRtfUp) == 0 || (*flags & kRtfReject) != 0) return;
    if (UsableInterfaceName(f[9])) AddUnique(names, f[9]);
  });
  return names;
}

bool LinuxInternet::InterfaceIsUp(const std::string& name) const {
  if (!UsableInterfaceName(name)) return false;
  const std::string dir = sysRoot_ + "/class/net/" + name + "/";
  std::optional<bool> flagUp;
  if (const auto text = ReadFile(dir + "flags", 64)) {
    const std::string_view v = TrimView(*text);
    std::string_view digits = v;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) digits.remove_prefix(2);
    unsigned long bits = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), bits, 16);
    if (!digits.empty() && ec == std::errc() && ptr == digits.data() + digits.size())
      flagUp = (bits & kIffUp) != 0;
  }
  if (const auto text = ReadFile(dir + "operstate", 64)) {
    const std::string_view state = TrimView(*text);
    if (state == "up") return true;
    // Drivers that do not track the link say "unknown"; their admin flag decides.
    if (state == "unknown") return flagUp.value_or(true);
    if (!state.empty()) return false;
  }
  return flagUp.value_or(false);
}

LinuxInternet::Route LinuxInternet::DefaultRoute() const {
  const auto v4 = ReadFile(procRoot_ + "/net/route");
  const auto v6 = ReadFile(procRoot_ + "/net/ipv6_route");
  if (!v4 && !v6) return Route::Unknown;
  std::vector<std::string> names;
  if (v4) names = Ipv4DefaultRouteInterfaces(*v4);
  if (v6)
    for (const auto& n : Ipv6DefaultRouteInterfaces(*v6)) AddUnique(names, n);
  for (const auto& n : names)
    if (InterfaceIsUp(n)) return Route::Up;
  return Route::None;
}

bool LinuxInternet::QueryConnectedState(std::uint32_t& state) {
  switch (DefaultRoute()) {
    case Route::Unknown:
      return false;
    case Route::Up:
      state = INTERNET_STATE_CONNECTED;
      return true;
    case Route::None:
      break;
  }
  state = INTERNET_STATE_DISCONNECTED;
  return true;
}

bool LinuxInternet::GetConnectedState(std::uint32_t& flags) {
  const bool connected = DefaultRoute() == Route::Up;
  flags = connected ? kConnectionLan : 0;
  return connected;
}

bool LinuxInternet::CheckConnection(const std::string& url, std::uint32_t /*flags*/) {
  // Every check goes out to the server; there is no cached answer to skip it for.
  if (url.empty() || !CurlReady()) return false;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> h(curl_easy_init(), &curl_easy_cleanup);
  if (!h) return false;
  CURL* c = h.get();
  if (curl_easy_setopt(c, CURLOPT_URL, url.c_str()) != CURLE_OK) return false;
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  // Signals would reach whichever thread libcurl runs on; time-outs work without them.
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout_.count()));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(totalTimeout_.count()));
  curl_easy_setopt(c, CURLOPT_USERAGENT, "KESTRUNE");
  // A proxy cannot tell us whether this machine reaches its own loopback.
  if (const auto host = HostOf(url); host && IsLoopbackHost(*host))
    curl_easy_setopt(c, CURLOPT_PROXY, "");
  if (curl_easy_perform(c) != CURLE_OK) return false;
  long code = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
  return code > 0;
}

}  // namespace kestrune::platform
