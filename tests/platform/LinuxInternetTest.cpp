#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/TempDir.h"
#include "platform/linux/LinuxInternet.h"

using namespace std::chrono_literals;
using kestrune::platform::INTERNET_STATE_CONNECTED;
using kestrune::platform::INTERNET_STATE_DISCONNECTED;
using kestrune::platform::LinuxInternet;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

const std::string kRouteHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
const std::string kDefaultVia = "\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
const std::string kSubnet = "\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";

std::string DefaultRoute(const std::string& iface) { return iface + kDefaultVia; }

std::string Ipv6Default(const std::string& iface, const std::string& flags = "00000003") {
  return "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
         "fe800000000000000000000000000001 00000400 00000001 00000000 " +
         flags + "     " + iface + "\n";
}

struct Iface {
  std::string name;
  std::optional<std::string> operstate;
  std::optional<std::string> flags;
};

struct TreeCase {
  const char* name;
  std::optional<std::string> route;
  std::optional<std::string> route6;
  std::vector<Iface> ifaces;
  bool queryOk;
  std::uint32_t state;
};

}  // namespace

TEST(LinuxInternet, ConnectedStateFromRoutingTables) {
  const Iface ethUp{"eth0", "up\n", "0x1003\n"};
  const Iface ethDown{"eth0", "down\n", "0x1003\n"};
  const Iface wlanUp{"wlan0", "up\n", "0x1003\n"};
  const std::string header6;  // the IPv6 table has no header
  const TreeCase cases[] = {
      {"default route up", kRouteHeader + DefaultRoute("eth0") + "eth0" + kSubnet, header6,
       {ethUp}, true, INTERNET_STATE_CONNECTED},
      {"default route on a down interface", kRouteHeader + DefaultRoute("eth0"), header6,
       {ethDown}, true, INTERNET_STATE_DISCONNECTED},
      {"no default route", kRouteHeader + "eth0" + kSubnet, header6, {ethUp}, true,
       INTERNET_STATE_DISCONNECTED},
      {"malformed lines around a good one",
       kRouteHeader + "garbage\n\n\t\t\neth0\tzzzzzzzz\t0\t0003\n" + "eth0\t0000\t0\t0003\n" +
           "eth0\t00000000\t0\tnothex\n" + "eth0\t00000000\n" + DefaultRoute("wlan0"),
       header6, {ethUp, wlanUp}, true, INTERNET_STATE_CONNECTED},
      {"malformed lines only",
       kRouteHeader + "eth0\t000000000\t0\t0003\n" + "eth0 00000000 0 0x3\n" +
           "\xff\xfegarbage\n",
       header6, {ethUp}, true, INTERNET_STATE_DISCONNECTED},
      {"empty tables", std::string(), std::string(), {ethUp}, true, INTERNET_STATE_DISCONNECTED},
      {"both tables missing", std::nullopt, std::nullopt, {ethUp}, false, 0},
      {"IPv4 table missing, IPv6 default up", std::nullopt, Ipv6Default("eth0"), {ethUp}, true,
       INTERNET_STATE_CONNECTED},
      {"IPv6 default on a down interface", kRouteHeader, Ipv6Default("eth0"), {ethDown}, true,
       INTERNET_STATE_DISCONNECTED},
      {"IPv6 unreachable default on lo", kRouteHeader, Ipv6Default("lo", "00200200"),
       {{"lo", "unknown\n", "0x9\n"}}, true, INTERNET_STATE_DISCONNECTED},
      {"IPv6 rejecting default", kRouteHeader, Ipv6Default("eth0", "00000201"), {ethUp}, true,
       INTERNET_STATE_DISCONNECTED},
      {"default route not up", kRouteHeader + "eth0\t00000000\t0102A8C0\t0002\t0\t0\t0\t0\n",
       header6, {ethUp}, true, INTERNET_STATE_DISCONNECTED},
      {"rejecting default route", kRouteHeader + "eth0\t00000000\t0\t0201\t0\t0\t0\t0\n", header6,
       {ethUp}, true, INTERNET_STATE_DISCONNECTED},
      {"interface unknown to sysfs", kRouteHeader + DefaultRoute("ppp0"), header6, {ethUp}, true,
       INTERNET_STATE_DISCONNECTED},
      {"operstate unknown, admin up", kRouteHeader + DefaultRoute("tun0"), header6,
       {{"tun0", "unknown\n", "0x1091\n"}}, true, INTERNET_STATE_CONNECTED},
      {"operstate unknown, admin down", kRouteHeader + DefaultRoute("tun0"), header6,
       {{"tun0", "unknown\n", "0x1090\n"}}, true, INTERNET_STATE_DISCONNECTED},
      {"no operstate, admin up", kRouteHeader + DefaultRoute("eth0"), header6,
       {{"eth0", std::nullopt, "0x1003\n"}}, true, INTERNET_STATE_CONNECTED},
      {"no operstate, admin down", kRouteHeader + DefaultRoute("eth0"), header6,
       {{"eth0", std::nullopt, "0x1002\n"}}, true, INTERNET_STATE_DISCONNECTED},
      {"carrier lost despite admin up", kRouteHeader + DefaultRoute("eth0"), header6,
       {{"eth0", "lowerlayerdown\n", "0x1003\n"}}, true, INTERNET_STATE_DISCONNECTED},
      {"first default down, second up",
       kRouteHeader + DefaultRoute("eth0") + DefaultRoute("wlan0"), header6, {ethDown, wlanUp},
       true, INTERNET_STATE_CONNECTED},
      // A name from the table must not lead outside sysfs's interface folder.
      {"interface name escaping sysfs", kRouteHeader + DefaultRoute("../../evil"), header6,
       {{"../../evil", "up\n", "0x1003\n"}}, true, INTERNET_STATE_DISCONNECTED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path proc = dir.Path() / "proc";
    const fs::path sys = dir.Path() / "sys";
    fs::create_directories(proc / "net");
    fs::create_directories(sys / "class" / "net");
    if (c.route) WriteFile(proc / "net" / "route", *c.route);
    if (c.route6) WriteFile(proc / "net" / "ipv6_route", *c.route6);
    for (const auto& i : c.ifaces) {
      const fs::path d = sys / "class" / "net" / i.name;
      fs::create_directories(d);
      if (i.operstate) WriteFile(d / "operstate", *i.operstate);
      if (i.flags) WriteFile(d / "flags", *i.flags);
    }

    LinuxInternet internet(proc.string(), sys.string());
    std::uint32_t state = 0xdead;
    EXPECT_EQ(internet.QueryConnectedState(state), c.queryOk);
    if (c.queryOk) {
      EXPECT_EQ(state, c.state);
    }
    std::uint32_t flags = 0xdead;
    const bool connected = c.queryOk && c.state == INTERNET_STATE_CONNECTED;
    EXPECT_EQ(internet.GetConnectedState(flags), connected);
    EXPECT_EQ(flags, connected ? LinuxInternet::kConnectionLan : 0u);
  }
}

TEST(LinuxInternet, ParsersListEachUsableInterfaceOnce) {
  EXPECT_EQ(LinuxInternet::Ipv4DefaultRouteInterfaces(kRouteHeader + DefaultRoute("eth0") +
                                                      DefaultRoute("eth0") + "eth1" + kSubnet +
                                                      DefaultRoute("lo") + DefaultRoute("wlan0")),
            (std::vector<std::string>{"eth0", "wlan0"}));
  EXPECT_EQ(LinuxInternet::Ipv6DefaultRouteInterfaces(Ipv6Default("eth0") + Ipv6Default("eth0") +
                                                      Ipv6Default("wlan0")),
            (std::vector<std::string>{"eth0", "wlan0"}));
  // Not a default: a /64 prefix with an all-zero address part.
  EXPECT_TRUE(LinuxInternet::Ipv6DefaultRouteInterfaces(
                  "00000000000000000000000000000000 40 00000000000000000000000000000000 00 "
                  "00000000000000000000000000000000 00000100 00000001 00000000 00000001 eth0\n")
                  .empty());
  // A name too long to be an interface.
  EXPECT_TRUE(LinuxInternet::Ipv4DefaultRouteInterfaces(DefaultRoute("abcdefghijklmnop")).empty());
}

TEST(LinuxInternet, ReadsThisMachinesRoutingTables) {
  LinuxInternet internet;
  std::uint32_t state = 0;
  if (internet.QueryConnectedState(state)) {
    EXPECT_TRUE(state == INTERNET_STATE_CONNECTED || state == INTERNET_STATE_DISCONNECTED);
    std::uint32_t flags = 0;
    EXPECT_EQ(internet.GetConnectedState(flags), state == INTERNET_STATE_CONNECTED);
  }
}

namespace {

// An HTTP server on the loopback interface, for as long as the object lives.
class LoopbackServer {
 public:
  LoopbackServer() {
    server_.Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("home", "text/plain");
    });
    server_.Get("/gone", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
    server_.Get("/broken",
                [](const httplib::Request&, httplib::Response& res) { res.status = 500; });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind loopback");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!server_.is_running() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }
  std::string Url(const std::string& path = "") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  bool Running() const { return server_.is_running(); }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// A loopback socket bound to a free port; with `listening` the kernel accepts
// connections that nobody ever answers.
class LoopbackSocket {
 public:
  explicit LoopbackSocket(bool listening) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        (listening && listen(fd_, 8) != 0))
      throw std::runtime_error("cannot set up loopback socket");
    port_ = ntohs(addr.sin_port);
  }
  ~LoopbackSocket() {
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace

TEST(LinuxInternet, ForcedCheckCountsAnyHttpAnswer) {
  LoopbackServer server;
  ASSERT_TRUE(server.Running());
  LinuxInternet internet;
  for (const char* path : {"", "/", "/gone", "/broken"}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(internet.CheckConnection(server.Url(path), 1));
  }
}

TEST(LinuxInternet, ForcedCheckFailsWithoutAnAnswer) {
  LinuxInternet internet;
  internet.SetTimeouts(500ms, 700ms);

  // Bound but not listening: the connection is refused.
  const LoopbackSocket closed(/*listening=*/false);
  const std::string closedUrl = "http://127.0.0.1:" + std::to_string(closed.port());
  EXPECT_FALSE(internet.CheckConnection(closedUrl, 1));

  // Connected but never answered: the time-out ends it.
  const LoopbackSocket silent(/*listening=*/true);
  EXPECT_FALSE(internet.CheckConnection("http://127.0.0.1:" + std::to_string(silent.port()), 1));

  // Not something to probe.
  for (const std::string& url :
       {std::string(), "ftp://127.0.0.1:" + std::to_string(closed.port()) + "/",
        std::string("file:///proc/self/status"), std::string("http://")}) {
    SCOPED_TRACE(url);
    EXPECT_FALSE(internet.CheckConnection(url, 1));
  }
}

TEST(LinuxInternet, ForcedChecksFromSeveralThreads) {
  LoopbackServer server;
  ASSERT_TRUE(server.Running());
  LinuxInternet internet;
  std::atomic<int> answered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5; ++i)
        if (internet.CheckConnection(server.Url("/"), 1)) ++answered;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(answered.load(), 20);
}
