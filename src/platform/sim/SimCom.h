#pragma once
// The simulated COM runtime: counts each thread's nesting of the bracket, so
// tests can see that every operation leaves the thread as it found it.
#include <map>
#include <mutex>
#include <thread>

#include "platform/Com.h"

namespace kestrune::platform {

class SimCom : public IComRuntime {
 public:
  HRESULT CoInitialize() override;
  void CoUninitialize() override;

  // Whether the calling thread is inside a bracket now.
  bool IsInitialized() const;
  // The calling thread's nesting depth.
  int Depth() const;
  int InitializeCalls() const;
  int UninitializeCalls() const;
  // Calls to CoUninitialize on a thread that was not inside a bracket.
  int UnbalancedUninitializeCalls() const;

  // Fault: every CoInitialize fails with this HRESULT (S_OK clears it).
  void FailInitialize(HRESULT hr);

 private:
  mutable std::mutex mutex_;
  std::map<std::thread::id, int> depth_;
  HRESULT initFault_ = S_OK;
  int initCalls_ = 0;
  int uninitCalls_ = 0;
  int unbalanced_ = 0;
};

}  // namespace kestrune::platform
