#include "SimAir.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace simair {

namespace {

constexpr std::size_t kMaxAirFileBytes = 4096;

void Complain(const std::string& what) { std::fprintf(stderr, "simulated wireless: %s\n", what.c_str()); }

std::string ErrnoText() { return std::strerror(errno); }

std::string Escape(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == '%' || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(const std::string& text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hi = HexDigit(text[i + 1]);
    const int lo = HexDigit(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

bool ParseUnsigned(const std::string& text, unsigned long long max, unsigned long long& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const unsigned long long digit = static_cast<unsigned long long>(c - '0');
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

bool MakeDirs(const std::string& path) {
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string Utf8Of(const std::u16string& text) {
  std::string out;
  Utf16ToUtf8(text, out);
  return out;
}

bool SsidFits(const std::u16string& ssid) {
  std::string bytes;
  return !ssid.empty() && Utf16ToUtf8(ssid, bytes) && bytes.size() <= kMaxSsidBytes;
}

}  // namespace

bool Utf16ToUtf8(const std::u16string& in, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    std::uint32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return false;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return true;
}

bool Utf8ToUtf16(const std::string& in, std::u16string& out) {
  out.clear();
  std::size_t i = 0;
  while (i < in.size()) {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    std::uint32_t cp;
    std::size_t extra;
    if (c < 0x80) {
      cp = c;
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      return false;
    }
    if (i + extra >= in.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const unsigned char cc = static_cast<unsigned char>(in[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static const std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += extra + 1;
  }
  return true;
}

bool Scenario::HasInterface(const std::u16string& id) const {
  return std::find(interfaces.begin(), interfaces.end(), id) != interfaces.end();
}

std::uint32_t LoadScenario(Scenario& scenario) {
  scenario = Scenario{};
  const char* path = std::getenv("KESTRUNE_SIM_WIFI");
  if (path == nullptr || *path == '\0') {
    scenario.interfaces.emplace_back(kDefaultInterface);
    scenario.neighbours.push_back({kDefaultNeighbour, kDefaultNeighbourSecurity, kDefaultNeighbourKey});
    return kOk;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Complain(std::string("cannot read the scenario file ") + path + ": " + ErrnoText());
    return kErrFileNotFound;
  }
  std::string line;
  int number = 0;
  auto bad = [&](const std::string& why) {
    Complain(std::string("scenario file ") + path + " line " + std::to_string(number) + ": " + why);
    scenario = Scenario{};
    return kErrInvalidData;
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) return bad("expected name=value");
    const std::string name = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (name == "interface") {
      std::u16string id;
      if (value.empty() || !Utf8ToUtf16(value, id)) return bad("the interface needs a UTF-8 identity");
      if (scenario.HasInterface(id)) return bad("interface listed twice");
      scenario.interfaces.push_back(id);
    } else if (name == "neighbour") {
      const auto s1 = value.find(';');
      const auto s2 = s1 == std::string::npos ? s1 : value.find(';', s1 + 1);
      if (s2 == std::string::npos) return bad("expected neighbour=<ssid>;<security>;<key>");
      Neighbour n;
      unsigned long long security = 0;
      if (!Utf8ToUtf16(value.substr(0, s1), n.ssid) || !SsidFits(n.ssid))
        return bad("the SSID must be 1 to 32 bytes of UTF-8");
      if (!ParseUnsigned(value.substr(s1 + 1, s2 - s1 - 1), 255, security))
        return bad("the security kind must be 0 to 255");
      n.security = static_cast<std::uint8_t>(security);
      if (!Utf8ToUtf16(value.substr(s2 + 1), n.key) || n.key.size() > kMaxKeyUnits)
        return bad("the key must be UTF-8 of at most 64 characters");
      scenario.neighbours.push_back(n);
    } else {
      return bad("unknown setting '" + name + "'");
    }
  }
  if (in.bad()) {
    Complain(std::string("cannot read the scenario file ") + path);
    scenario = Scenario{};
    return kErrFileNotFound;
  }
  return kOk;
}

std::string AirDir() {
  const char* env = std::getenv("KESTRUNE_SIM_AIR");
  std::string dir;
  const bool fromEnv = env != nullptr && *env != '\0';
  if (fromEnv) {
    dir = env;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (!MakeDirs(dir)) {
      Complain("cannot create the air folder " + dir + ": " + ErrnoText());
      return {};
    }
  } else {
    dir = "/tmp/kestrune-air-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      Complain("cannot create the air folder " + dir + ": " + ErrnoText());
      return {};
    }
  }
  // In a shared /tmp someone else could have put a link or their own folder there.
  struct stat st {};
  const int rc = fromEnv ? stat(dir.c_str(), &st) : lstat(dir.c_str(), &st);
  if (rc != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
    Complain("the air folder " + dir + " is not a folder of this user");
    return {};
  }
  return dir;
}

std::uint32_t InterfaceTag(const std::u16string& interfaceId) {
  std::uint32_t h = 2166136261u;
  for (char16_t u : interfaceId) {
    h = (h ^ (u & 0xFF)) * 16777619u;
    h = (h ^ (u >> 8)) * 16777619u;
  }
  return h;
}

std::string HostFilePath(const std::string& airDir, pid_t pid, const std::u16string& interfaceId) {
  char tag[16];
  std::snprintf(tag, sizeof tag, "%08x", InterfaceTag(interfaceId));
  return airDir + "/host-" + std::to_string(pid) + "-" + tag + ".net";
}

unsigned long long ProcessStartTime(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!in || !std::getline(in, text)) return 0;
  // The command name may hold blanks and parentheses: fields start after the last ')'.
  const auto close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  // Field 3 is the state; the start time is field 22.
  for (int index = 3; index <= 22; ++index) {
    if (!(fields >> field)) return 0;
  }
  unsigned long long value = 0;
  return ParseUnsigned(field, ~0ull, value) ? value : 0;
}

bool ProcessAlive(pid_t pid, unsigned long long started) {
  if (pid <= 0) return false;
  if (kill(pid, 0) != 0 && errno == ESRCH) return false;
  if (started == 0) return true;
  const unsigned long long now = ProcessStartTime(pid);
  return now == 0 || now == started;
}

bool WriteHostFile(const HostedNetwork& network) {
  static std::atomic<unsigned> sequence{0};
  const auto slash = network.path.rfind('/');
  const std::string dir = network.path.substr(0, slash);
  const std::string temp =
      dir + "/.tmp-" + std::to_string(getpid()) + "-" + std::to_string(sequence.fetch_add(1));
  std::string text;
  text += "ssid=" + Escape(Utf8Of(network.ssid)) + "\n";
  text += "key=" + Escape(Utf8Of(network.key)) + "\n";
  text += "security=" + std::to_string(network.security) + "\n";
  text += "pid=" + std::to_string(network.pid) + "\n";
  text += "started=" + std::to_string(network.started) + "\n";
  text += "interface=" + Escape(Utf8Of(network.interfaceId)) + "\n";

  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    Complain("cannot write " + temp + ": " + ErrnoText());
    return false;
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Complain("cannot write " + temp + ": " + ErrnoText());
      close(fd);
      unlink(temp.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0 || rename(temp.c_str(), network.path.c_str()) != 0) {
    Complain("cannot publish " + network.path + ": " + ErrnoText());
    unlink(temp.c_str());
    return false;
  }
  return true;
}

std::optional<HostedNetwork> ReadHostFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[1024];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxAirFileBytes) break;
  }
  close(fd);
  if (text.size() > kMaxAirFileBytes) return std::nullopt;

  HostedNetwork network;
  network.path = path;
  bool haveSsid = false, haveKey = false, haveSecurity = false, havePid = false, haveInterface = false;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    std::string value;
    if (!Unescape(line.substr(eq + 1), value)) return std::nullopt;
    unsigned long long number = 0;
    if (name == "ssid") {
      if (!Utf8ToUtf16(value, network.ssid) || !SsidFits(network.ssid)) return std::nullopt;
      haveSsid = true;
    } else if (name == "key") {
      if (!Utf8ToUtf16(value, network.key) || network.key.size() > kMaxKeyUnits) return std::nullopt;
      haveKey = true;
    } else if (name == "security") {
      if (!ParseUnsigned(value, 255, number)) return std::nullopt;
      network.security = static_cast<std::uint8_t>(number);
      haveSecurity = true;
    } else if (name == "pid") {
      if (!ParseUnsigned(value, 0x7FFFFFFF, number) || number == 0) return std::nullopt;
      network.pid = static_cast<pid_t>(number);
      havePid = true;
    } else if (name == "started") {
      if (!ParseUnsigned(value, ~0ull, number)) return std::nullopt;
      network.started = number;
    } else if (name == "interface") {
      if (!Utf8ToUtf16(value, network.interfaceId)) return std::nullopt;
      haveInterface = true;
    }
  }
  if (!(haveSsid && haveKey && haveSecurity && havePid && haveInterface)) return std::nullopt;
  return network;
}

std::vector<HostedNetwork> ListHostedNetworks(const std::string& airDir) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(airDir.c_str())) {
    while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  std::vector<HostedNetwork> live;
  for (const auto& name : names) {
    const std::string path = airDir + "/" + name;
    if (name.rfind(".tmp-", 0) == 0) {
      // A writer that died between create and rename leaves its temporary behind.
      unsigned long long pid = 0;
      const auto dash = name.find('-', 5);
      if (dash != std::string::npos && ParseUnsigned(name.substr(5, dash - 5), 0x7FFFFFFF, pid) &&
          !ProcessAlive(static_cast<pid_t>(pid), 0))
        unlink(path.c_str());
      continue;
    }
    if (name.rfind("host-", 0) != 0 || name.size() < 4 || name.compare(name.size() - 4, 4, ".net") != 0) continue;
    auto network = ReadHostFile(path);
    if (!network) continue;
    if (!ProcessAlive(network->pid, network->started)) {
      unlink(path.c_str());
      continue;
    }
    live.push_back(std::move(*network));
  }
  return live;
}

bool HostStillOffers(const std::string& path, const std::u16string& ssid, const std::u16string& key) {
  const auto network = ReadHostFile(path);
  return network && network->ssid == ssid && network->key == key &&
         ProcessAlive(network->pid, network->started);
}

}  // namespace simair
