#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Internet.h"
#include "platform/sim/SimInternet.h"
#include "wireless/CheckInternetThread.h"

using namespace std::chrono_literals;
using kestrune::platform::SimInternet;

namespace {

constexpr auto kLimit = 5s;
// Long enough that only a wake-up or a termination can explain an early end.
constexpr auto kLongWait = std::chrono::milliseconds(60s);
constexpr auto kShortWait = 1ms;

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = kLimit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return pred();
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class RecordingOwner : public IInternetStateOwner {
 public:
  explicit RecordingOwner(bool throwAfterRecording = false) : throws_(throwAfterRecording) {}

  void SetInternetState(std::uint8_t value) override {
    {
      std::lock_guard lock(mutex_);
      states_.push_back(value);
    }
    if (throws_) throw std::runtime_error("receiver failed");
  }

  std::vector<std::uint8_t> States() const {
    std::lock_guard lock(mutex_);
    return states_;
  }

 private:
  const bool throws_;
  mutable std::mutex mutex_;
  std::vector<std::uint8_t> states_;
};

// Holds a test in progress until the test body lets it go.
class Gate {
 public:
  void Enter() {
    std::unique_lock lock(mutex_);
    entered_ = true;
    cv_.notify_all();
    // Bounded, so a broken monitor cannot hang the suite.
    cv_.wait_for(lock, 10s, [this] { return open_; });
  }
  bool WaitEntered() {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, kLimit, [this] { return entered_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool entered_ = false;
  bool open_ = false;
};

// Stops the monitor the way its owner does; false when it did not end in time.
bool StopWithin(std::unique_ptr<TThreadCheckInternet>& monitor, std::chrono::milliseconds limit) {
  monitor->SetOwner(nullptr);
  monitor->Terminate();
  auto done = std::async(std::launch::async, [&] { monitor->WaitFor(); });
  const bool inTime = done.wait_for(limit) == std::future_status::ready;
  done.wait();
  return inTime;
}

std::unique_ptr<TThreadCheckInternet> StartMonitor(SimInternet& internet, RecordingOwner& owner,
                                                   std::chrono::milliseconds wait) {
  auto monitor = std::make_unique<TThreadCheckInternet>(internet, wait);
  monitor->SetOwner(&owner);
  monitor->Start();
  return monitor;
}

}  // namespace

TEST(CheckInternetThread, FirstTestIsReportedExactlyOnceAndRepeatsReachNobody) {
  struct Case {
    const char* name;
    bool probeAnswers;
    std::uint32_t connectedState;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {"reachable", true, kestrune::platform::INTERNET_STATE_CONNECTED, 1},
      {"probe unanswered", false, kestrune::platform::INTERNET_STATE_CONNECTED, 2},
      {"disconnected bit set", true, kestrune::platform::INTERNET_STATE_DISCONNECTED, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimInternet internet;
    internet.SetProbeAnswers(c.probeAnswers);
    internet.SetConnectedState(c.connectedState);
    RecordingOwner owner;
    auto monitor = std::make_unique<TThreadCheckInternet>(internet, kShortWait);
    EXPECT_EQ(monitor->State(), 0);
    monitor->SetOwner(&owner);
    monitor->Start();

    // Several tests with the same answer have run; only the first was news.
    ASSERT_TRUE(WaitUntil([&] { return internet.CheckConnectionCalls() >= 5; }));
    ASSERT_TRUE(StopWithin(monitor, kLimit));
    EXPECT_EQ(owner.States(), std::vector<std::uint8_t>{c.expected});
    EXPECT_EQ(monitor->State(), c.expected);
  }
}

TEST(CheckInternetThread, ReportsEachChangeOnce) {
  SimInternet internet;
  RecordingOwner owner;
  auto monitor = StartMonitor(internet, owner, kShortWait);
  using States = std::vector<std::uint8_t>;

  ASSERT_TRUE(WaitUntil([&] { return owner.States() == States{1}; }));
  internet.SetReachable(false);
  ASSERT_TRUE(WaitUntil([&] { return owner.States() == States{1, 2}; }));
  const int after = internet.CheckConnectionCalls();
  ASSERT_TRUE(WaitUntil([&] { return internet.CheckConnectionCalls() >= after + 5; }));
  EXPECT_EQ(owner.States(), (States{1, 2}));
  internet.SetReachable(true);
  ASSERT_TRUE(WaitUntil([&] { return owner.States() == States{1, 2, 1}; }));
  EXPECT_EQ(monitor->State(), 1);
  ASSERT_TRUE(StopWithin(monitor, kLimit));
  EXPECT_EQ(owner.States(), (States{1, 2, 1}));
}

TEST(CheckInternetThread, WakeUpDuringWaitStartsNextTestAtOnce) {
  SimInternet internet;
  RecordingOwner owner;
  auto monitor = StartMonitor(internet, owner, kLongWait);
  ASSERT_TRUE(WaitUntil([&] { return owner.States().size() == 1; }));

  for (int round = 2; round <= 4; ++round) {
    monitor->WakeUp();
    ASSERT_TRUE(WaitUntil([&] { return internet.CheckConnectionCalls() == round; }))
        << "round " << round;
  }
  // The wake-up was used up: without another one the 60 s wait holds.
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(internet.CheckConnectionCalls(), 4);

  // Wake-ups from several threads at once wake one test, not a storm.
  std::vector<std::thread> wakers;
  for (int i = 0; i < 4; ++i) wakers.emplace_back([&] { monitor->WakeUp(); });
  for (auto& t : wakers) t.join();
  ASSERT_TRUE(WaitUntil([&] { return internet.CheckConnectionCalls() >= 5; }));
  EXPECT_TRUE(StopWithin(monitor, kLimit));
  EXPECT_EQ(owner.States(), std::vector<std::uint8_t>{1});
}

TEST(CheckInternetThread, WakeUpDuringTestEndsTheFollowingWait) {
  SimInternet internet;
  Gate gate;
  std::atomic<int> calls{0};
  internet.SetCheckHook([&](const std::string&, std::uint32_t) {
    if (++calls == 1) gate.Enter();
  });
  RecordingOwner owner;
  auto monitor = StartMonitor(internet, owner, kLongWait);

  ASSERT_TRUE(gate.WaitEntered());
  monitor->WakeUp();
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return calls.load() == 2; }));
  EXPECT_EQ(owner.States(), std::vector<std::uint8_t>{1});
  EXPECT_TRUE(StopWithin(monitor, kLimit));
}

TEST(CheckInternetThread, TerminationDuringWaitEndsThreadAtOnce) {
  SimInternet internet;
  RecordingOwner owner;
  auto monitor = StartMonitor(internet, owner, kLongWait);
  ASSERT_TRUE(WaitUntil([&] { return owner.States().size() == 1; }));
  EXPECT_TRUE(StopWithin(monitor, kLimit));
  EXPECT_TRUE(monitor->Finished());
  EXPECT_EQ(internet.CheckConnectionCalls(), 1);
}

TEST(CheckInternetThread, TerminationDuringTestWaitsForItAndTellsNobody) {
  SimInternet internet;
  Gate gate;
  internet.SetCheckHook([&](const std::string&, std::uint32_t) { gate.Enter(); });
  RecordingOwner owner;
  auto monitor = StartMonitor(internet, owner, kLongWait);

  ASSERT_TRUE(gate.WaitEntered());
  monitor->SetOwner(nullptr);
  monitor->Terminate();
  auto done = std::async(std::launch::async, [&] { monitor->WaitFor(); });
  // Termination is never noticed inside a test: the thread waits for it.
  EXPECT_EQ(done.wait_for(50ms), std::future_status::timeout);
  gate.Open();
  EXPECT_EQ(done.wait_for(kLimit), std::future_status::ready);
  done.wait();

  EXPECT_TRUE(owner.States().empty());
  EXPECT_EQ(monitor->State(), 1);  // found, just not told
  EXPECT_EQ(internet.CheckConnectionCalls(), 1);
}

TEST(CheckInternetThread, ThrowingReceiverDoesNotStopMonitorNorRepeatState) {
  SimInternet internet;
  RecordingOwner owner(/*throwAfterRecording=*/true);
  auto monitor = StartMonitor(internet, owner, kShortWait);
  using States = std::vector<std::uint8_t>;

  ASSERT_TRUE(WaitUntil([&] { return owner.States() == States{1}; }));
  const int after = internet.CheckConnectionCalls();
  ASSERT_TRUE(WaitUntil([&] { return internet.CheckConnectionCalls() >= after + 5; }));
  EXPECT_EQ(owner.States(), States{1});
  internet.SetReachable(false);
  ASSERT_TRUE(WaitUntil([&] { return owner.States() == States{1, 2}; }));
  EXPECT_EQ(monitor->State(), 2);
  ASSERT_TRUE(StopWithin(monitor, kLimit));
  EXPECT_FALSE(monitor->FatalException());
}

TEST(CheckInternetThread, ThrowingTestIsDiscardedAndKeepsState) {
  struct Case {
    const char* name;
    std::function<void()> raise;
  };
  const Case cases[] = {
      {"standard exception", [] { throw std::runtime_error("probe failed"); }},
      {"foreign exception", [] { throw 42; }},
  };
  using States = std::vector<std::uint8_t>;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimInternet internet;
    std::atomic<bool> raising{true};
    std::atomic<int> raised{0};
    internet.SetCheckHook([&](const std::string&, std::uint32_t) {
      if (raising.load()) {
        ++raised;
        c.raise();
      }
    });
    RecordingOwner owner;
    auto monitor = StartMonitor(internet, owner, kShortWait);

    // Failing tests before the first answer leave the state unknown.
    ASSERT_TRUE(WaitUntil([&] { return raised.load() >= 3; }));
    EXPECT_EQ(monitor->State(), 0);
    EXPECT_TRUE(owner.States().empty());
    raising = false;
    ASSERT_TRUE(WaitUntil([&] { return owner.States() == States{1}; }));

    // A failing test after an answer keeps that answer. The first raise
    // proves no test that ignores the hook is still under way.
    const int before = raised.load();
    raising = true;
    ASSERT_TRUE(WaitUntil([&] { return raised.load() > before; }));
    internet.SetReachable(false);
    ASSERT_TRUE(WaitUntil([&] { return raised.load() >= before + 4; }));
    EXPECT_EQ(monitor->State(), 1);
    raising = false;
    ASSERT_TRUE(WaitUntil([&] { return owner.States() == States{1, 2}; }));
    ASSERT_TRUE(StopWithin(monitor, kLimit));
    EXPECT_FALSE(monitor->FatalException());
  }
}

TEST(CheckInternetThread, NeverStartedOrOwnerlessMonitorIsHarmless) {
  SimInternet internet;
  {
    TThreadCheckInternet idle(internet, kLongWait);
    idle.WakeUp();
    EXPECT_EQ(idle.Owner(), nullptr);
  }  // destroying a thread that never ran must not hang
  EXPECT_EQ(internet.CheckConnectionCalls(), 0);

  // Without an owner the tests still run and record their result.
  auto monitor = std::make_unique<TThreadCheckInternet>(internet, kShortWait);
  monitor->Start();
  ASSERT_TRUE(WaitUntil([&] { return monitor->State() == 1; }));
  // Destruction alone stops a running monitor.
  auto done = std::async(std::launch::async, [&] { monitor.reset(); });
  EXPECT_EQ(done.wait_for(kLimit), std::future_status::ready);
}
