#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "core/Thread.h"

using namespace kestrune;

namespace {

class LambdaThread : public TThread {
 public:
  explicit LambdaThread(std::function<void(LambdaThread&)> body) : body_(std::move(body)) {}
  ~LambdaThread() override {
    Terminate();
    WaitFor();
  }
  using TThread::Synchronize;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(LambdaThread&)> body_;
};

}  // namespace

// The test body runs on the process's first thread, which counts as the GUI thread.
TEST(Thread, WaitForOnGuiThreadRunsPendingHandOvers) {
  ASSERT_TRUE(TThread::IsMainThread());
  std::atomic<int> ranOn{0};
  LambdaThread t([&](LambdaThread&) {
    for (int i = 0; i < 3; ++i)
      TThread::Synchronize([&] { ranOn += TThread::IsMainThread() ? 1 : 100; });
  });
  t.Start();
  t.WaitFor();  // a plain join would deadlock: the thread waits for the GUI thread
  EXPECT_EQ(ranOn.load(), 3);
  EXPECT_TRUE(t.Finished());
}

TEST(Thread, SynchronizeCarriesExceptionsBack) {
  std::atomic<bool> caught{false};
  LambdaThread t([&](LambdaThread&) {
    try {
      TThread::Synchronize([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
  });
  t.Start();
  t.WaitFor();
  EXPECT_TRUE(caught.load());
}

TEST(Thread, TerminateIsSeenAndEscapedExceptionIsKept) {
  LambdaThread looping([](LambdaThread& self) {
    while (!self.Terminated()) std::this_thread::yield();
  });
  looping.Start();
  looping.Terminate();
  looping.WaitFor();
  EXPECT_TRUE(looping.Finished());
  EXPECT_EQ(looping.FatalException(), nullptr);

  LambdaThread failing([](LambdaThread&) { throw std::logic_error("x"); });
  failing.Start();
  failing.WaitFor();
  EXPECT_NE(failing.FatalException(), nullptr);
}

TEST(Thread, WakeHookFiresWhenHandOverIsQueued) {
  std::atomic<int> wakes{0};
  TThread::SetSynchronizeWakeHook([&] { ++wakes; });
  LambdaThread t([](LambdaThread&) { TThread::Synchronize([] {}); });
  t.Start();
  t.WaitFor();
  TThread::SetSynchronizeWakeHook({});
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_FALSE(TThread::CheckSynchronize());  // nothing left behind
}

namespace {
class SelfFreeing : public TThread {
 public:
  SelfFreeing(std::atomic<bool>* destroyed) : destroyed_(destroyed) { SetFreeOnTerminate(true); }
  ~SelfFreeing() override { destroyed_->store(true); }

 protected:
  void Execute() override {}

 private:
  std::atomic<bool>* destroyed_;
};
}  // namespace

TEST(Thread, FreeOnTerminateDeletesItself) {
  std::atomic<bool> destroyed{false};
  (new SelfFreeing(&destroyed))->Start();
  for (int i = 0; i < 5000 && !destroyed.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(destroyed.load());
}
