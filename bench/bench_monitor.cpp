// The connectivity monitor's idle cost and wake-up latency.
//
// Idle cost: context switches of the monitor thread over 10 s of idling, set
// against a loop of 1000 sleeps of 5 ms measured at the same time.
// Latency: from WakeUp() to the start of the next test.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Internet.h"
#include "wireless/CheckInternetThread.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kIdleSpan = 10s;
constexpr int kWakeUps = 200;
constexpr double kIdleTargetPerSecond = 1.0;
constexpr double kLatencyTargetMs = 1.0;

std::optional<long> ContextSwitches(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/status");
  if (!in) return std::nullopt;
  long total = 0;
  int found = 0;
  std::string line;
  while (std::getline(in, line)) {
    for (const char* key : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"}) {
      const std::string k(key);
      if (line.rfind(k, 0) == 0) {
        total += std::stol(line.substr(k.size()));
        ++found;
      }
    }
  }
  if (found != 2) return std::nullopt;
  return total;
}

// Always reachable; remembers the thread that asks and when each test starts.
class BenchInternet : public kestrune::platform::IInternet {
 public:
  bool QueryConnectedState(std::uint32_t& state) override {
    state = kestrune::platform::INTERNET_STATE_CONNECTED;
    return true;
  }
  bool CheckConnection(const std::string&, std::uint32_t) override {
    const auto now = Clock::now();
    {
      std::lock_guard lock(mutex_);
      if (tid_ == 0) tid_ = gettid();
      starts_.push_back(now);
    }
    cv_.notify_all();
    return true;
  }
  bool GetConnectedState(std::uint32_t& flags) override {
    flags = 0;
    return true;
  }

  // Waits until at least n tests have started; returns the start of the n-th.
  std::optional<Clock::time_point> WaitForStart(std::size_t n, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, limit, [&] { return starts_.size() >= n; })) return std::nullopt;
    return starts_[n - 1];
  }
  std::size_t Starts() {
    std::lock_guard lock(mutex_);
    return starts_.size();
  }
  pid_t Tid() {
    std::lock_guard lock(mutex_);
    return tid_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  pid_t tid_ = 0;
  std::vector<Clock::time_point> starts_;
};

// The wait as a loop of 1000 sleeps of 5 ms, for comparison.
void PollingWait(const std::atomic<bool>& stop, std::atomic<bool>& wake) {
  for (int i = 0; i < 1000; ++i) {
    if (stop.load()) return;
    if (wake.exchange(false)) return;
    std::this_thread::sleep_for(5ms);
  }
}

struct IdleResult {
  double monitorPerSecond = -1;
  double pollingPerSecond = -1;
  std::size_t monitorTests = 0;
};

IdleResult MeasureIdle() {
  IdleResult r;
  BenchInternet internet;
  TThreadCheckInternet monitor(internet);  // the real default wait
  monitor.Start();

  std::atomic<bool> stop{false};
  std::atomic<bool> wake{false};
  std::atomic<pid_t> pollTid{0};
  std::thread polling([&] {
    pollTid = gettid();
    while (!stop.load()) PollingWait(stop, wake);
  });

  if (!internet.WaitForStart(1, 5s)) {
    std::fprintf(stderr, "monitor never tested\n");
    stop = true;
    polling.join();
    return r;
  }
  while (pollTid.load() == 0) std::this_thread::yield();
  // Let the first test finish and the monitor settle into its wait.
  std::this_thread::sleep_for(50ms);

  const pid_t mtid = internet.Tid();
  const pid_t ptid = pollTid.load();
  const auto m0 = ContextSwitches(mtid);
  const auto p0 = ContextSwitches(ptid);
  const std::size_t tests0 = internet.Starts();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(kIdleSpan);
  const auto m1 = ContextSwitches(mtid);
  const auto p1 = ContextSwitches(ptid);
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  r.monitorTests = internet.Starts() - tests0;

  stop = true;
  polling.join();
  monitor.Terminate();
  monitor.WaitFor();

  if (m0 && m1) r.monitorPerSecond = static_cast<double>(*m1 - *m0) / seconds;
  if (p0 && p1) r.pollingPerSecond = static_cast<double>(*p1 - *p0) / seconds;
  return r;
}

struct LatencyResult {
  double medianMs = -1;
  double maxMs = -1;
  int samples = 0;
};

LatencyResult MeasureWakeUp() {
  LatencyResult r;
  BenchInternet internet;
  TThreadCheckInternet monitor(internet, 60s);
  monitor.Start();
  std::vector<double> ms;
  if (internet.WaitForStart(1, 5s)) {
    for (int i = 0; i < kWakeUps; ++i) {
      // Give the monitor time to finish its test and block in the wait.
      std::this_thread::sleep_for(2ms);
      const std::size_t next = internet.Starts() + 1;
      const auto t0 = Clock::now();
      monitor.WakeUp();
      const auto started = internet.WaitForStart(next, 5s);
      if (!started) break;
      ms.push_back(std::chrono::duration<double, std::milli>(*started - t0).count());
    }
  }
  monitor.Terminate();
  monitor.WaitFor();
  if (ms.empty()) return r;
  std::sort(ms.begin(), ms.end());
  r.samples = static_cast<int>(ms.size());
  r.medianMs = ms[ms.size() / 2];
  r.maxMs = ms.back();
  return r;
}

}  // namespace

int main() {
  std::printf("Connectivity monitor: idle cost over %lld s (default wait %lld ms)\n",
              static_cast<long long>(kIdleSpan.count()),
              static_cast<long long>(TThreadCheckInternet::kDefaultWait.count()));
  const IdleResult idle = MeasureIdle();
  const bool idleOk = idle.monitorPerSecond >= 0 && idle.monitorPerSecond <= kIdleTargetPerSecond;
  std::printf("  monitor thread:       %8.2f context switches/s  (%zu tests in the span)  "
              "target <= %.0f/s  %s\n",
              idle.monitorPerSecond, idle.monitorTests, kIdleTargetPerSecond,
              idleOk ? "OK" : "MISSED");
  std::printf("  5 ms polling loop:    %8.2f context switches/s  (for comparison)\n",
              idle.pollingPerSecond);

  std::printf("Connectivity monitor: wake-up latency over %d wake-ups\n", kWakeUps);
  const LatencyResult lat = MeasureWakeUp();
  const bool latOk = lat.samples == kWakeUps && lat.medianMs < kLatencyTargetMs;
  std::printf("  WakeUp -> next test:  median %.3f ms, max %.3f ms (%d samples)  "
              "target median < %.0f ms  %s\n",
              lat.medianMs, lat.maxMs, lat.samples, kLatencyTargetMs, latOk ? "OK" : "MISSED");
  return idleOk && latOk ? 0 : 1;
}
