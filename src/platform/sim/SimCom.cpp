#include "platform/sim/SimCom.h"

namespace kestrune::platform {

HRESULT SimCom::CoInitialize() {
  std::lock_guard lock(mutex_);
  ++initCalls_;
  if (FAILED(initFault_)) return initFault_;
  return depth_[std::this_thread::get_id()]++ == 0 ? S_OK : S_FALSE;
}

void SimCom::CoUninitialize() {
  std::lock_guard lock(mutex_);
  ++uninitCalls_;
  const auto it = depth_.find(std::this_thread::get_id());
  if (it == depth_.end() || it->second == 0) {
    ++unbalanced_;
    return;
  }
  if (--it->second == 0) depth_.erase(it);
}

bool SimCom::IsInitialized() const { return Depth() > 0; }

int SimCom::Depth() const {
  std::lock_guard lock(mutex_);
  const auto it = depth_.find(std::this_thread::get_id());
  return it == depth_.end() ? 0 : it->second;
}

int SimCom::InitializeCalls() const {
  std::lock_guard lock(mutex_);
  return initCalls_;
}

int SimCom::UninitializeCalls() const {
  std::lock_guard lock(mutex_);
  return uninitCalls_;
}

int SimCom::UnbalancedUninitializeCalls() const {
  std::lock_guard lock(mutex_);
  return unbalanced_;
}

void SimCom::FailInitialize(HRESULT hr) {
  std::lock_guard lock(mutex_);
  initFault_ = hr;
}

}  // namespace kestrune::platform
