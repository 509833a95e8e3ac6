#include "wireless/CheckInternetThread.h"

#include "platform/Internet.h"
#include "wireless/Reachability.h"

TThreadCheckInternet::TThreadCheckInternet(kestrune::platform::IInternet& internet,
                                           std::chrono::milliseconds wait)
    : kestrune::TThread(true), internet_(internet), wait_(wait) {}

TThreadCheckInternet::~TThreadCheckInternet() {
  // The base class would stop the thread only after our wait's mutex and
  // condition are gone; stop it while they still exist.
  Terminate();
  WaitFor();
}

void TThreadCheckInternet::SetOwner(IInternetStateOwner* owner) { FOwner.store(owner); }

IInternetStateOwner* TThreadCheckInternet::Owner() const { return FOwner.load(); }

void TThreadCheckInternet::WakeUp() {
  {
    std::lock_guard lock(mutex_);
    FWakeUp = true;
  }
  wakeCv_.notify_all();
}

std::uint8_t TThreadCheckInternet::State() const { return FState.load(); }

void TThreadCheckInternet::OnTerminateRequested() {
  // Taking the lock orders the termination flag before the waiter's next
  // look at it, so a request made just as the wait begins is not missed.
  { std::lock_guard lock(mutex_); }
  wakeCv_.notify_all();
}

void TThreadCheckInternet::NotifyOwner() {
  IInternetStateOwner* owner = FOwner.load();
  if (owner == nullptr) return;
  try {
    owner->SetInternetState(FState.load());
  } catch (...) {
    // The owner's receivers are not ours to judge; the monitor carries on.
  }
}

void TThreadCheckInternet::Execute() {
  while (!Terminated()) {
    try {
      const std::uint8_t s = CheckInternet(internet_) ? 1 : 2;
      if (s != FState.load()) {
        // Recorded first, so a failure while telling is not told again.
        FState.store(s);
        NotifyOwner();
      }
    } catch (...) {
      // A test that throws changes nothing; the next cycle tries again.
    }

    std::unique_lock lock(mutex_);
    const bool endedEarly =
        wakeCv_.wait_for(lock, wait_, [this] { return Terminated() || FWakeUp; });
    if (endedEarly && !Terminated()) FWakeUp = false;
  }
}
