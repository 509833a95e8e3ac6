#pragma once
// The connection catalogue: the network connections the sharing manager
// knows, with their classification and their adapter's addresses, and the
// switching of connection sharing.
#include <cstdint>
#include <memory>
#include <string>

#include "core/StringList.h"
#include "platform/Platform.h"
#include "sharing/AdapterUnit.h"

class TConnection : public kestrune::TObject {
 public:
  bool DhcpEnabled = false;
  kestrune::TStringList IpAddresses;
  kestrune::TStringList IpMasks;
  kestrune::TStringList Gateways;
  bool IsPhysical = false;
  bool IsWireless = false;
  std::string Guid;             // braced, upper-case digits
  std::int32_t MediaType = 0;   // 3: LAN
  std::int32_t Status = 0;      // 2: connected; never 0 in the list
  std::string DeviceName;
  std::string Name;
};

class TConnectionManager {
 public:
  // Makes the adapter inventory, which reads the adapters once; its EOSError
  // leaves the constructor. Lists no connection yet.
  explicit TConnectionManager(const kestrune::platform::Platform& platform);
  ~TConnectionManager();
  TConnectionManager(const TConnectionManager&) = delete;
  TConnectionManager& operator=(const TConnectionManager&) = delete;

  // Rebuilds the list. Never throws: a failure leaves the connections listed
  // before it (none when the adapters or the sharing manager fail).
  void Refresh();
  void ReadConnectionInfo(const std::string& guid, bool& physical, bool& wireless) const;

  // Public sharing on source, private on destination; true when both were
  // found and both share now. Never throws.
  bool EnableConnectionSharing(const std::string& source, const std::string& destination);
  // Sharing off on every connection; true when every one was visited. Never throws.
  bool DisableAllSharing();

  // Entry text: the connection's Name; object: the TConnection.
  const kestrune::TStringList& Connections() const { return FConnections; }
  TConnection* Connection(int i) const { return FConnections.ObjectAs<TConnection>(i); }
  TAdapterManager& AdapterManager() const { return *FAdapterManager; }

 private:
  void ClearConnections();

  kestrune::platform::Platform FPlatform;
  kestrune::TStringList FConnections;
  std::unique_ptr<TAdapterManager> FAdapterManager;
};
