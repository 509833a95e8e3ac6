#pragma once
// The Internet facility's reachability primitives. Each call blocks until it
// has an answer and keeps no state, so any thread may call it at any time.
#include <cstdint>
#include <string>

namespace kestrune::platform {

constexpr std::uint32_t INTERNET_OPTION_CONNECTED_STATE = 50;
constexpr std::uint32_t INTERNET_STATE_CONNECTED = 1;
constexpr std::uint32_t INTERNET_STATE_DISCONNECTED = 2;
constexpr std::uint32_t FLAG_ICC_FORCE_CONNECTION = 1;

class IInternet {
 public:
  virtual ~IInternet() = default;
  // The connected-state option; false when the query itself fails.
  virtual bool QueryConnectedState(std::uint32_t& state) = 0;
  // A forced connection check of url: true when the server answered.
  virtual bool CheckConnection(const std::string& url, std::uint32_t flags) = 0;
  // Whether the system has a connection at all; flags describe it.
  virtual bool GetConnectedState(std::uint32_t& flags) = 0;
};

}  // namespace kestrune::platform
