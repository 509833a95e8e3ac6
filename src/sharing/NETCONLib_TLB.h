#pragma once
// The sharing manager's declarations as the sharing units use them, and the
// creator of the sharing manager object.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/NetSharing.h"

using kestrune::platform::GUID;
using kestrune::platform::HRESULT;
using kestrune::platform::IEnumVARIANT;
using kestrune::platform::INetConnection;
using kestrune::platform::INetSharingConfiguration;
using kestrune::platform::INetSharingEveryConnectionCollection;
using kestrune::platform::INetSharingManager;
using kestrune::platform::IUnknown;
using kestrune::platform::NETCON_MEDIATYPE;
using kestrune::platform::NETCON_PROPERTIES;
using kestrune::platform::NETCON_STATUS;
using kestrune::platform::OleVariant;
using kestrune::platform::SHARINGCONNECTIONTYPE;
using kestrune::platform::VARIANT_BOOL;

// A failed COM call.
class EOleSysError : public std::runtime_error {
 public:
  explicit EOleSysError(HRESULT code);
  HRESULT ErrorCode() const { return code_; }

 private:
  HRESULT code_;
};

// Raises EOleSysError for a failing HRESULT.
void OleCheck(HRESULT hr);

// Asks obj for T, raising EOleSysError when it has no such interface.
template <typename T>
std::shared_ptr<T> QueryOrRaise(const std::shared_ptr<IUnknown>& obj) {
  std::shared_ptr<T> out;
  OleCheck(kestrune::platform::QueryInterfaceAs<T>(obj, out));
  return out;
}

class CoNetSharingManager {
 public:
  // Creates the sharing manager object; raises EOleSysError when the class is
  // not there or the object is not a sharing manager.
  static std::shared_ptr<INetSharingManager> Create(kestrune::platform::INetSharingProvider& provider);
};
