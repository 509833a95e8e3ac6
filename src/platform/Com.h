#pragma once
// The COM runtime's per-thread bracket. Every operation that talks to COM
// objects holds a ComScope for its duration.
#include "platform/NetSharing.h"

namespace kestrune::platform {

class IComRuntime {
 public:
  virtual ~IComRuntime() = default;
  // S_OK when this call joined the thread to an apartment, S_FALSE when it
  // already was in one (the pair nests), an error when it could not.
  virtual HRESULT CoInitialize() = 0;
  virtual void CoUninitialize() = 0;
};

// Leaves the apartment only when entering succeeded: an unbalanced
// CoUninitialize would tear down an apartment that someone else set up.
class ComScope {
 public:
  explicit ComScope(IComRuntime& com) : com_(com), entered_(SUCCEEDED(com.CoInitialize())) {}
  ~ComScope() {
    if (entered_) com_.CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

  bool Entered() const { return entered_; }

 private:
  IComRuntime& com_;
  bool entered_;
};

// For systems without COM: every bracket succeeds and does nothing.
class NoComRuntime final : public IComRuntime {
 public:
  HRESULT CoInitialize() override { return S_OK; }
  void CoUninitialize() override {}
};

}  // namespace kestrune::platform
