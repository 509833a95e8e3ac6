#include "core/Thread.h"

#include <condition_variable>
#include <deque>
#include <memory>

namespace kestrune {

namespace {

struct SyncRequest {
  std::function<void()> fn;
  std::exception_ptr error;
  bool done = false;
};

struct SyncState {
  std::mutex mutex;
  std::condition_variable changed;  // a request queued, a request done, or a thread finished
  std::deque<std::shared_ptr<SyncRequest>> queue;
  std::function<void()> wakeHook;
  std::thread::id mainThread = std::this_thread::get_id();
};

SyncState& State() {
  static SyncState state;
  return state;
}

// Touch the state during static start-up so the process's first thread is the
// GUI thread unless told otherwise.
[[maybe_unused]] const bool kInitialised = (State(), true);

}  // namespace

TThread::TThread(bool createSuspended) {
  if (!createSuspended) Start();
}

TThread::~TThread() {
  if (thread_.joinable()) {
    Terminate();
    if (thread_.get_id() == std::this_thread::get_id())
      thread_.detach();
    else
      WaitFor();
  }
}

void TThread::Start() {
  if (started_.exchange(true)) return;
  // Held until the handle is settled, so a self-freeing thread cannot delete
  // this object while std::thread is still being assigned or detached.
  std::lock_guard lock(startMutex_);
  thread_ = std::thread([this] { Run(); });
  if (freeOnTerminate_) thread_.detach();
}

void TThread::Run() {
  try {
    Execute();
  } catch (...) {
    fatal_ = std::current_exception();
  }
  if (freeOnTerminate_) {
    { std::lock_guard lock(startMutex_); }
    delete this;
    return;
  }
  {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    finished_.store(true);
  }
  State().changed.notify_all();
}

void TThread::WaitFor() {
  if (!thread_.joinable()) return;
  if (IsMainThread()) {
    auto& s = State();
    for (;;) {
      {
        std::unique_lock lock(s.mutex);
        s.changed.wait(lock, [&] { return finished_.load() || !s.queue.empty(); });
        if (finished_.load() && s.queue.empty()) break;
      }
      CheckSynchronize();
    }
  }
  thread_.join();
}

void TThread::Synchronize(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  auto& s = State();
  auto request = std::make_shared<SyncRequest>();
  request->fn = fn;
  std::function<void()> hook;
  {
    std::lock_guard lock(s.mutex);
    s.queue.push_back(request);
    hook = s.wakeHook;
  }
  s.changed.notify_all();
  if (hook) hook();
  std::unique_lock lock(s.mutex);
  s.changed.wait(lock, [&] { return request->done; });
  if (request->error) std::rethrow_exception(request->error);
}

bool TThread::CheckSynchronize() {
  auto& s = State();
  bool ran = false;
  for (;;) {
    std::shared_ptr<SyncRequest> request;
    {
      std::lock_guard lock(s.mutex);
      if (s.queue.empty()) break;
      request = s.queue.front();
      s.queue.pop_front();
    }
    try {
      request->fn();
    } catch (...) {
      request->error = std::current_exception();
    }
    {
      std::lock_guard lock(s.mutex);
      request->done = true;
    }
    s.changed.notify_all();
    ran = true;
  }
  return ran;
}

void TThread::SetSynchronizeWakeHook(std::function<void()> hook) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.wakeHook = std::move(hook);
}

bool TThread::IsMainThread() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.mainThread == std::this_thread::get_id();
}

void TThread::SetMainThread(std::thread::id id) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.mainThread = id;
}

}  // namespace kestrune
