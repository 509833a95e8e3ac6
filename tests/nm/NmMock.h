#pragma once
// A NetworkManager of the test's own: a private dbus-daemon with the D-Bus
// mock's NetworkManager template on it, named to the code under test as the
// system bus. Every test gets its own bus and so starts from nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/NmDbus.h"

namespace nmtest {

namespace nm = kestrune::platform::nm;

inline constexpr const char* kPython = "/usr/bin/python3";
inline constexpr const char* kMockIface = "org.freedesktop.DBus.Mock";
inline constexpr const char* kMockPath = "/org/freedesktop";
inline constexpr auto kWait = std::chrono::seconds(10);

inline std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  dirs += ":/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

// Starts a helper whose output goes to outFd (or nowhere), and who is told to
// end when the test process does, so that a crashed test leaves none behind.
inline pid_t Spawn(const std::vector<std::string>& argv, int outFd = -1, int errFd = -1) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int devnull = ::open("/dev/null", O_RDWR);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(devnull, STDIN_FILENO);
    dup2(outFd >= 0 ? outFd : devnull, STDOUT_FILENO);
    dup2(errFd >= 0 ? errFd : devnull, STDERR_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  ::close(devnull);
  return pid;
}

inline int RunQuietly(const std::vector<std::string>& argv) {
  const pid_t pid = Spawn(argv);
  if (pid < 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Why the mock cannot run here; empty when it can.
inline std::string MissingTools() {
  if (FindProgram("dbus-daemon").empty()) return "dbus-daemon is not installed (Debian: dbus)";
  if (access(kPython, X_OK) != 0) return std::string(kPython) + " is missing";
  if (RunQuietly({kPython, "-c", "import dbusmock"}) != 0) return "python3-dbusmock is not installed";
  return {};
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds timeout = kWait) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class NmMock {
 public:
  // withService false: the bus alone, with nobody answering for NetworkManager.
  explicit NmMock(bool withService = true) {
    char pattern[] = "/tmp/kestrune-nm-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    const auto config = dir_ / "bus.conf";
    std::ofstream(config) << "<busconfig><type>session</type><listen>unix:dir=" << dir_.string()
                          << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                             "<allow own=\"*\"/></policy></busconfig>\n";
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const int log = ::open((dir_ / "bus.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    daemon_ = Spawn({FindProgram("dbus-daemon"), "--config-file=" + config.string(), "--nofork", "--print-address=1"},
                    fds[1], log);
    ::close(fds[1]);
    ::close(log);
    std::string line;
    char c;
    while (daemon_ > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(fds[0]);
    if (daemon_ <= 0 || line.empty()) throw std::runtime_error("dbus-daemon did not start");
    address_ = line;

    const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (old != nullptr) oldAddress_ = old;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    // Never the real system bus: everything below must reach ours.
    const char* now = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (now == nullptr || address_ != now) throw std::runtime_error("DBUS_SYSTEM_BUS_ADDRESS is not ours");

    bus_ = nm::Bus::ConnectSystem();
    if (!withService) return;
    const int mockLog = ::open((dir_ / "mock.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    mock_ = Spawn({kPython, "-m", "dbusmock", "--template", "networkmanager"}, mockLog, mockLog);
    ::close(mockLog);
    if (mock_ <= 0 || !WaitFor([&] { return bus_->NameHasOwner(nm::kService); }))
      throw std::runtime_error("the NetworkManager mock did not come up");
  }

  ~NmMock() {
    bus_.reset();
    for (pid_t pid : {mock_, daemon_}) {
      if (pid <= 0) continue;
      kill(pid, SIGTERM);
      int status = 0;
      waitpid(pid, &status, 0);
    }
    if (oldAddress_)
      setenv("DBUS_SYSTEM_BUS_ADDRESS", oldAddress_->c_str(), 1);
    else
      unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  NmMock(const NmMock&) = delete;
  NmMock& operator=(const NmMock&) = delete;

  nm::Bus& Bus() { return *bus_; }
  const std::string& Address() const { return address_; }

  std::string AddEthernet(const std::string& name, const std::string& iface, int state) {
    return Mock("AddEthernetDevice", g_variant_new("(ssi)", name.c_str(), iface.c_str(), state));
  }

  // A Wi-Fi device that can also be told to disconnect, as the real one can.
  std::string AddWifi(const std::string& name, const std::string& iface, int state) {
    const std::string path = Mock("AddWiFiDevice", g_variant_new("(ssi)", name.c_str(), iface.c_str(), state));
    const char* code =
        "ac = self.Get('org.freedesktop.NetworkManager.Device', 'ActiveConnection')\n"
        "if ac != '/':\n"
        "    self.RemoveActiveConnection(self.path, ac)\n"
        "else:\n"
        "    self.SetDeviceDisconnected(self.path)\n";
    bus_->Call(path, kMockIface, "AddMethod",
               g_variant_new("(sssss)", nm::kDeviceIface, "Disconnect", "", "", code));
    return path;
  }

  std::string AddAccessPoint(const std::string& device, const std::string& name, const std::string& ssid,
                             const std::string& bssid, std::uint32_t mode, std::uint8_t strength,
                             std::uint32_t security) {
    return Mock("AddAccessPoint", g_variant_new("(ssssuuuyu)", device.c_str(), name.c_str(), ssid.c_str(),
                                                bssid.c_str(), mode, 2412u, 54000u, strength, security));
  }

  void SetProperty(const std::string& path, const char* iface, const char* name, GVariant* value) {
    bus_->Call(kMockPath, kMockIface, "SetProperty", g_variant_new("(sssv)", path.c_str(), iface, name, value));
  }

  // A saved profile, activated on the device when one is given.
  std::string AddProfile(const nm::Settings& settings, const std::string& device = {}) {
    const nm::Variant reply = bus_->Call(nm::kSettingsPath, nm::kSettingsIface, "AddConnection",
                                         g_variant_new("(@a{sa{sv}})", nm::BuildSettings(settings)), "(o)");
    const gchar* path = nullptr;
    g_variant_get(reply.get(), "(&o)", &path);
    const std::string profile = path;
    if (!device.empty())
      bus_->Call(nm::kManagerPath, nm::kManagerIface, "ActivateConnection",
                 g_variant_new("(ooo)", profile.c_str(), device.c_str(), "/"));
    return profile;
  }

  std::uint32_t DeviceState(const std::string& device) {
    return nm::AsUint32(bus_->Get(device, nm::kDeviceIface, "State"));
  }

 private:
  std::string Mock(const char* method, GVariant* args) {
    const nm::Variant reply = bus_->Call(kMockPath, kMockIface, method, args, "(s)");
    const gchar* out = nullptr;
    g_variant_get(reply.get(), "(&s)", &out);
    return out;
  }

  std::filesystem::path dir_;
  std::string address_;
  std::optional<std::string> oldAddress_;
  pid_t daemon_ = -1;
  pid_t mock_ = -1;
  std::shared_ptr<nm::Bus> bus_;
};

// Skips when the tools are missing; each test gets a fresh bus and mock.
class NmFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = MissingTools();
    if (!missing.empty()) GTEST_SKIP() << "no NetworkManager mock here: " << missing;
    mock_ = std::make_unique<NmMock>();
    ASSERT_NE(std::getenv("DBUS_SYSTEM_BUS_ADDRESS"), nullptr);
  }
  void TearDown() override { mock_.reset(); }

  NmMock& Mock() { return *mock_; }

  std::unique_ptr<NmMock> mock_;
};

inline nm::Variant Str(const std::string& s) { return nm::Adopt(nm::StringValue(s)); }

}  // namespace nmtest
