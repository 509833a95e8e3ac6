#include "wireless/Reachability.h"

#include <cstdint>
#include <string>

#include "platform/Internet.h"

using kestrune::platform::IInternet;

bool IsConnectedStateOnline(IInternet& internet) {
  std::uint32_t state = 0;
  if (!internet.QueryConnectedState(state)) return false;
  return (state & kestrune::platform::INTERNET_STATE_DISCONNECTED) == 0;
}

namespace {

bool ProbeAnswers(IInternet& internet) {
  return internet.CheckConnection(std::string(kProbeUrl),
                                  kestrune::platform::FLAG_ICC_FORCE_CONNECTION);
}

}  // namespace

bool CheckInternet(IInternet& internet) {
  return ProbeAnswers(internet) && IsConnectedStateOnline(internet);
}

bool CheckInternetStrict(IInternet& internet) {
  // Only whether the call succeeds matters; what kind of connection it is does not.
  std::uint32_t flags = 0;
  if (!internet.GetConnectedState(flags)) return false;
  return CheckInternet(internet);
}
