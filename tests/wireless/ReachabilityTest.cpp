#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Internet.h"
#include "platform/sim/SimInternet.h"
#include "wireless/Reachability.h"

using namespace kestrune::platform;

namespace {

// Answers from fixed values and writes down which primitives were asked, in order:
// G = GetConnectedState, C = CheckConnection, Q = QueryConnectedState.
class RecordingInternet : public IInternet {
 public:
  bool getConnectedOk = true;
  bool probeOk = true;
  bool queryOk = true;
  std::uint32_t state = INTERNET_STATE_CONNECTED;

  std::string calls;
  std::string url;
  std::uint32_t checkFlags = 0;

  bool QueryConnectedState(std::uint32_t& out) override {
    calls += 'Q';
    if (queryOk) out = state;
    return queryOk;
  }
  bool CheckConnection(const std::string& u, std::uint32_t flags) override {
    calls += 'C';
    url = u;
    checkFlags = flags;
    return probeOk;
  }
  bool GetConnectedState(std::uint32_t& flags) override {
    calls += 'G';
    flags = 0;
    return getConnectedOk;
  }
};

using Test = std::function<bool(IInternet&)>;

struct Case {
  const char* name;
  Test test;
  bool getConnectedOk, probeOk, queryOk;
  std::uint32_t state;
  bool expected;
  const char* calls;
};

const Test kOnline = [](IInternet& i) { return IsConnectedStateOnline(i); };
const Test kCheck = [](IInternet& i) { return CheckInternet(i); };
const Test kStrict = [](IInternet& i) { return CheckInternetStrict(i); };
constexpr std::uint32_t kOn = INTERNET_STATE_CONNECTED;
constexpr std::uint32_t kOff = INTERNET_STATE_DISCONNECTED;

}  // namespace

TEST(Reachability, EachTestStopsAtFirstFailingStep) {
  const Case cases[] = {
      {"online: connected", kOnline, true, true, true, kOn, true, "Q"},
      {"online: disconnected bit", kOnline, true, true, true, kOff, false, "Q"},
      {"online: connected and disconnected bits", kOnline, true, true, true, kOn | kOff, false, "Q"},
      {"online: other bits only", kOnline, true, true, true, 0x10, true, "Q"},
      {"online: no bits", kOnline, true, true, true, 0, true, "Q"},
      {"online: query fails", kOnline, true, true, false, kOn, false, "Q"},

      {"check: reachable", kCheck, true, true, true, kOn, true, "CQ"},
      {"check: probe fails", kCheck, true, false, true, kOn, false, "C"},
      {"check: probe answers, disconnected bit", kCheck, true, true, true, kOff, false, "CQ"},
      {"check: probe answers, query fails", kCheck, true, true, false, kOn, false, "CQ"},
      {"check: ignores connected-state call", kCheck, false, true, true, kOn, true, "CQ"},

      {"strict: reachable", kStrict, true, true, true, kOn, true, "GCQ"},
      {"strict: no connection", kStrict, false, true, true, kOn, false, "G"},
      {"strict: probe fails", kStrict, true, false, true, kOn, false, "GC"},
      {"strict: disconnected bit", kStrict, true, true, true, kOff, false, "GCQ"},
      {"strict: query fails", kStrict, true, true, false, kOn, false, "GCQ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingInternet internet;
    internet.getConnectedOk = c.getConnectedOk;
    internet.probeOk = c.probeOk;
    internet.queryOk = c.queryOk;
    internet.state = c.state;
    EXPECT_EQ(c.test(internet), c.expected);
    EXPECT_EQ(internet.calls, c.calls);
    if (internet.calls.find('C') != std::string::npos) {
      EXPECT_EQ(internet.url, kProbeUrl);
      EXPECT_EQ(internet.checkFlags, FLAG_ICC_FORCE_CONNECTION);
    }
  }
}

TEST(Reachability, ProbeAddressIsPlainHttpHomePage) {
  const std::string url(kProbeUrl);
  const std::string scheme = "http://";
  ASSERT_EQ(url.rfind(scheme, 0), 0u);
  const std::string host = url.substr(scheme.size());
  EXPECT_FALSE(host.empty());
  EXPECT_EQ(host.find('/'), std::string::npos) << "no path";
  EXPECT_NE(host.find('.'), std::string::npos) << "a public host name";
}

TEST(Reachability, OverSimulatedInternet) {
  SimInternet internet;
  EXPECT_TRUE(CheckInternet(internet));
  EXPECT_TRUE(CheckInternetStrict(internet));
  EXPECT_EQ(internet.LastCheckedUrl(), kProbeUrl);

  // The server answers, yet the system says it is offline: not reachable.
  internet.SetConnectedState(INTERNET_STATE_DISCONNECTED);
  EXPECT_FALSE(IsConnectedStateOnline(internet));
  EXPECT_FALSE(CheckInternet(internet));
  EXPECT_FALSE(CheckInternetStrict(internet));

  internet.SetReachable(false);
  const int checks = internet.CheckConnectionCalls();
  const int queries = internet.QueryConnectedStateCalls();
  EXPECT_FALSE(CheckInternetStrict(internet));
  EXPECT_EQ(internet.GetConnectedStateCalls(), 3);
  EXPECT_EQ(internet.CheckConnectionCalls(), checks);
  EXPECT_EQ(internet.QueryConnectedStateCalls(), queries);

  internet.SetReachable(true);
  internet.SetConnectedStateQueryFails(true);
  EXPECT_FALSE(CheckInternet(internet));
}
