#pragma once
// The connectivity monitor: tests reachability about every five seconds and
// tells its owner when the result changes.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "core/Thread.h"

namespace kestrune::platform {
class IInternet;
}

// What the monitor tells; the Wi-Fi controller implements it.
class IInternetStateOwner {
 public:
  virtual ~IInternetStateOwner() = default;
  virtual void SetInternetState(std::uint8_t value) = 0;
};

class TThreadCheckInternet : public kestrune::TThread {
 public:
  static constexpr std::chrono::milliseconds kDefaultWait{5000};

  // Created suspended; the owner sets FOwner and calls Start().
  explicit TThreadCheckInternet(kestrune::platform::IInternet& internet,
                                std::chrono::milliseconds wait = kDefaultWait);
  ~TThreadCheckInternet() override;

  void SetOwner(IInternetStateOwner* owner);  // FOwner
  IInternetStateOwner* Owner() const;
  // FWakeUp: the current wait ends at once; set during a test, the next wait ends at its start.
  void WakeUp();
  std::uint8_t State() const;  // FState

 protected:
  void Execute() override;
  void OnTerminateRequested() override;
  void NotifyOwner();

 private:
  kestrune::platform::IInternet& internet_;
  const std::chrono::milliseconds wait_;
  std::atomic<std::uint8_t> FState{0};
  std::atomic<IInternetStateOwner*> FOwner{nullptr};
  // FWakeUp is guarded by the mutex so the wait cannot miss it.
  std::mutex mutex_;
  std::condition_variable wakeCv_;
  bool FWakeUp = false;
};
