#pragma once
// Reachability tests. Each blocks until it has an answer, keeps no state and
// stops at the first step that fails, so later calls are not made.
#include <string_view>

namespace kestrune::platform {
class IInternet;
}

// The site both probing tests ask: the home page of a large public web site
// that answers plain HTTP whenever the Internet does.
inline constexpr std::string_view kProbeUrl = "http://www.wikipedia.org";

// True when the connected-state query succeeds and its disconnected bit is clear.
bool IsConnectedStateOnline(kestrune::platform::IInternet& internet);
// A forced connection check of the probe, then IsConnectedStateOnline.
bool CheckInternet(kestrune::platform::IInternet& internet);
// The system reports a connection at all, then CheckInternet's two steps.
bool CheckInternetStrict(kestrune::platform::IInternet& internet);
