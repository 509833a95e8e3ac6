#include "platform/sim/SimInternet.h"

#include <utility>

namespace kestrune::platform {

bool SimInternet::QueryConnectedState(std::uint32_t& state) {
  std::lock_guard lock(mutex_);
  ++queryCalls_;
  if (queryFails_) return false;
  state = connectedState_;
  return true;
}

bool SimInternet::CheckConnection(const std::string& url, std::uint32_t flags) {
  CheckHook hook;
  {
    std::lock_guard lock(mutex_);
    ++checkCalls_;
    lastUrl_ = url;
    lastFlags_ = flags;
    hook = hook_;
  }
  if (hook) hook(url, flags);
  std::lock_guard lock(mutex_);
  return probeAnswers_;
}

bool SimInternet::GetConnectedState(std::uint32_t& flags) {
  std::lock_guard lock(mutex_);
  ++getConnectedCalls_;
  flags = getConnectedSucceeds_ ? connectionFlags_ : 0;
  return getConnectedSucceeds_;
}

void SimInternet::SetReachable(bool reachable) {
  std::lock_guard lock(mutex_);
  probeAnswers_ = reachable;
  connectedState_ = reachable ? INTERNET_STATE_CONNECTED : INTERNET_STATE_DISCONNECTED;
  queryFails_ = false;
  getConnectedSucceeds_ = reachable;
  connectionFlags_ = reachable ? kLanConnection : 0;
}

void SimInternet::SetProbeAnswers(bool answers) {
  std::lock_guard lock(mutex_);
  probeAnswers_ = answers;
}

void SimInternet::SetConnectedState(std::uint32_t state) {
  std::lock_guard lock(mutex_);
  connectedState_ = state;
}

void SimInternet::SetConnectedStateQueryFails(bool fails) {
  std::lock_guard lock(mutex_);
  queryFails_ = fails;
}

void SimInternet::SetGetConnectedStateSucceeds(bool succeeds, std::uint32_t flags) {
  std::lock_guard lock(mutex_);
  getConnectedSucceeds_ = succeeds;
  connectionFlags_ = flags;
}

void SimInternet::SetCheckHook(CheckHook hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

int SimInternet::CheckConnectionCalls() const {
  std::lock_guard lock(mutex_);
  return checkCalls_;
}

int SimInternet::QueryConnectedStateCalls() const {
  std::lock_guard lock(mutex_);
  return queryCalls_;
}

int SimInternet::GetConnectedStateCalls() const {
  std::lock_guard lock(mutex_);
  return getConnectedCalls_;
}

std::string SimInternet::LastCheckedUrl() const {
  std::lock_guard lock(mutex_);
  return lastUrl_;
}

std::uint32_t SimInternet::LastCheckFlags() const {
  std::lock_guard lock(mutex_);
  return lastFlags_;
}

}  // namespace kestrune::platform
