#pragma once
// The simulated machine's connection-sharing objects. The machine keeps which
// connection shares publicly and which privately; at most one of each, so
// switching a second one on fails until the first is off. Faults can be set
// at every step the callers take. Every member may be called from any thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/NetSharing.h"

namespace kestrune::platform {

class SimCom;

enum class SimSharingRole { None, Public, Private };

// HRESULTs a connection's objects return instead of succeeding; S_OK is no fault.
struct SimConnectionFaults {
  HRESULT getProperties = S_OK;
  HRESULT getConfiguration = S_OK;  // the manager's configuration lookup for it
  HRESULT getSharingEnabled = S_OK;
  HRESULT enablePublic = S_OK;
  HRESULT enablePrivate = S_OK;
  HRESULT disable = S_OK;
  bool lacksINetConnection = false;  // its element does not answer for INetConnection
};

struct SimConnection {
  std::string guid;  // braced GUID text
  std::string name;
  std::string deviceName;
  NETCON_STATUS status = NCS_CONNECTED;
  NETCON_MEDIATYPE mediaType = NCM_LAN;
  SimSharingRole role = SimSharingRole::None;
  SimConnectionFaults faults;
};

struct SimSharingFaults {
  HRESULT create = S_OK;               // CoCreateInstance of the manager class
  bool managerLacksInterface = false;  // the object does not answer for INetSharingManager
  HRESULT enumEveryConnection = S_OK;
  HRESULT newEnum = S_OK;
  bool enumLacksIEnumVARIANT = false;
  int nextFailsAt = -1;  // the element position at which Next returns nextError
  HRESULT nextError = E_FAIL;
  HRESULT enablePublic = S_OK;  // for every connection
  HRESULT enablePrivate = S_OK;
};

struct SimSharingCall {
  enum Kind { Enable, Disable } kind;
  std::string guid;
  SHARINGCONNECTIONTYPE type;  // for Enable
};

class SimNetSharing : public INetSharingProvider {
 public:
  // What EnableSharing returns when another connection already holds the role.
  static constexpr HRESULT kRoleTaken = E_FAIL;

  SimNetSharing();
  ~SimNetSharing() override;

  HRESULT CoCreateInstance(const GUID& clsid, std::shared_ptr<IUnknown>& object) override;

  // Where set, a connection's status follows it: true is NCS_CONNECTED, false
  // NCS_MEDIA_DISCONNECTED, nullopt the connection's own status.
  void SetLinkQuery(std::function<std::optional<bool>(const std::string& guid)> query);

  // With a runtime set, creating an object on a thread outside a COM bracket
  // fails with CO_E_NOTINITIALIZED. Not owned.
  void SetComRuntime(SimCom* com);

  // Throws std::invalid_argument for a GUID text that is not braced GUID form.
  void AddConnection(SimConnection connection);
  bool RemoveConnection(const std::string& guid);
  void ClearConnections();
  // Changes the first connection with this GUID; false when there is none.
  bool UpdateConnection(const std::string& guid, const std::function<void(SimConnection&)>& change);
  // The connection at this enumeration position; false when out of range.
  bool UpdateConnectionAt(int position, const std::function<void(SimConnection&)>& change);
  std::vector<SimConnection> Connections() const;

  void SetFaults(const SimSharingFaults& faults);
  SimSharingFaults Faults() const;
  // Clears the global faults and every connection's.
  void ClearFaults();

  SimSharingRole RoleOf(const std::string& guid) const;
  // GUID of the connection sharing that way, or empty.
  std::string PublicConnection() const;
  std::string PrivateConnection() const;

  int CreateCalls() const;
  // Sharing objects that callers still hold.
  int LiveObjects() const;
  std::vector<SimSharingCall> Calls() const;
  void ClearCalls();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace kestrune::platform
