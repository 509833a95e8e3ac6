#pragma once
// The simulated machine's Internet: answers from state that the scenario and
// tests set. Every member may be called from any thread.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/Internet.h"

namespace kestrune::platform {

class SimInternet : public IInternet {
 public:
  // Runs at the start of every CheckConnection, outside the lock, so it may
  // block, count or throw (the exception leaves CheckConnection).
  using CheckHook = std::function<void(const std::string& url, std::uint32_t flags)>;

  // The connection-state flag GetConnectedState reports by default (a LAN).
  static constexpr std::uint32_t kLanConnection = 0x02;

  SimInternet() = default;

  bool QueryConnectedState(std::uint32_t& state) override;
  bool CheckConnection(const std::string& url, std::uint32_t flags) override;
  bool GetConnectedState(std::uint32_t& flags) override;

  // All three answers at once: reachable, or cut off.
  void SetReachable(bool reachable);
  void SetProbeAnswers(bool answers);
  void SetConnectedState(std::uint32_t state);
  void SetConnectedStateQueryFails(bool fails);
  void SetGetConnectedStateSucceeds(bool succeeds, std::uint32_t flags = kLanConnection);
  void SetCheckHook(CheckHook hook);

  int CheckConnectionCalls() const;
  int QueryConnectedStateCalls() const;
  int GetConnectedStateCalls() const;
  std::string LastCheckedUrl() const;
  std::uint32_t LastCheckFlags() const;

 private:
  mutable std::mutex mutex_;
  bool probeAnswers_ = true;
  std::uint32_t connectedState_ = INTERNET_STATE_CONNECTED;
  bool queryFails_ = false;
  bool getConnectedSucceeds_ = true;
  std::uint32_t connectionFlags_ = kLanConnection;
  CheckHook hook_;
  int checkCalls_ = 0;
  int queryCalls_ = 0;
  int getConnectedCalls_ = 0;
  std::string lastUrl_;
  std::uint32_t lastFlags_ = 0;
};

}  // namespace kestrune::platform
