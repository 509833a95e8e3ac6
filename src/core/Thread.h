#pragma once
// A small thread base: a body in Execute, a termination request, an await that
// never deadlocks against Synchronize, and hand-overs to the GUI thread.
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrune {

class TThread {
 public:
  // A suspended thread runs only after Start().
  explicit TThread(bool createSuspended = true);
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();
  void Terminate() { terminated_.store(true); OnTerminateRequested(); }
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }

  // Waits for Execute to return. On the GUI thread the hand-overs of other
  // threads keep running meanwhile, so a thread blocked in Synchronize ends.
  void WaitFor();

  // A thread that frees itself when Execute returns; it must be heap-allocated
  // and must not be touched after Start().
  void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
  bool FreeOnTerminate() const { return freeOnTerminate_; }

  // The exception that escaped Execute, if any.
  std::exception_ptr FatalException() const { return fatal_; }

  // Runs fn on the GUI thread and waits for it; exceptions come back to the caller.
  static void Synchronize(const std::function<void()>& fn);

  // Runs the pending hand-overs; the GUI thread calls it from its event loop.
  // Returns whether any ran.
  static bool CheckSynchronize();
  // Called (from any thread) whenever a hand-over is queued, so the GUI's loop
  // can wake up and call CheckSynchronize.
  static void SetSynchronizeWakeHook(std::function<void()> hook);
  static bool IsMainThread();
  // The thread that counts as the GUI thread; the first thread to call this
  // or IsMainThread's static start-up sets it by default.
  static void SetMainThread(std::thread::id id);

 protected:
  virtual void Execute() = 0;
  // Lets a subclass wake its own waits when termination is requested.
  virtual void OnTerminateRequested() {}

 private:
  void Run();

  std::mutex startMutex_;
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> started_{false};
  bool freeOnTerminate_ = false;
  std::exception_ptr fatal_;
};

}  // namespace kestrune
