#include "sharing/NETCONLib_TLB.h"

#include <cstdio>

namespace {

std::string HResultText(HRESULT code) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "OLE error %08X", static_cast<unsigned>(code));
  return buf;
}

}  // namespace

EOleSysError::EOleSysError(HRESULT code) : std::runtime_error(HResultText(code)), code_(code) {}

void OleCheck(HRESULT hr) {
  if (kestrune::platform::FAILED(hr)) throw EOleSysError(hr);
}

std::shared_ptr<INetSharingManager> CoNetSharingManager::Create(kestrune::platform::INetSharingProvider& provider) {
  std::shared_ptr<IUnknown> object;
  OleCheck(provider.CoCreateInstance(kestrune::platform::CLSID_NetSharingManager, object));
  return QueryOrRaise<INetSharingManager>(object);
}
