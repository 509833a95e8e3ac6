#pragma once
// The connection-sharing objects as our own C++ interfaces: only the methods
// the catalogue and the sharing control call, each returning an HRESULT.
// Interface references are shared pointers; releasing the last one frees the object.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::platform {

using HRESULT = std::int32_t;
using VARIANT_BOOL = std::int16_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};
  friend bool operator==(const GUID&, const GUID&) = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case digits, 38 characters.
std::string GuidToString(const GUID& guid);
// Braced form, either case; nullopt for anything else.
std::optional<GUID> StringToGuid(std::string_view text);

// {5C63C1AD-3956-4FF8-8486-40034758315B}
inline constexpr GUID CLSID_NetSharingManager{0x5C63C1AD, 0x3956, 0x4FF8, {0x84, 0x86, 0x40, 0x03, 0x47, 0x58, 0x31, 0x5B}};

enum NETCON_STATUS : std::int32_t {
  NCS_DISCONNECTED = 0,
  NCS_CONNECTING = 1,
  NCS_CONNECTED = 2,
  NCS_DISCONNECTING = 3,
  NCS_HARDWARE_NOT_PRESENT = 4,
  NCS_HARDWARE_DISABLED = 5,
  NCS_HARDWARE_MALFUNCTION = 6,
  NCS_MEDIA_DISCONNECTED = 7,
  NCS_AUTHENTICATING = 8,
  NCS_AUTHENTICATION_SUCCEEDED = 9,
  NCS_AUTHENTICATION_FAILED = 10,
  NCS_INVALID_ADDRESS = 11,
  NCS_CREDENTIALS_REQUIRED = 12,
};

enum NETCON_MEDIATYPE : std::int32_t {
  NCM_NONE = 0,
  NCM_DIRECT = 1,
  NCM_ISDN = 2,
  NCM_LAN = 3,
  NCM_PHONE = 4,
  NCM_TUNNEL = 5,
  NCM_PPPOE = 6,
  NCM_BRIDGE = 7,
  NCM_SHAREDACCESSHOST_LAN = 8,
  NCM_SHAREDACCESSHOST_RAS = 9,
};

enum SHARINGCONNECTIONTYPE : std::int32_t {
  ICSSHARINGTYPE_PUBLIC = 0,
  ICSSHARINGTYPE_PRIVATE = 1,
};

struct NETCON_PROPERTIES {
  GUID guidId;
  std::u16string pszwName;
  std::u16string pszwDeviceName;
  NETCON_STATUS Status = NCS_DISCONNECTED;
  NETCON_MEDIATYPE MediaType = NCM_NONE;
  std::uint32_t dwCharacter = 0;
  GUID clsidThisObject;
  GUID clsidUiObject;
};

class IUnknown {
 public:
  virtual ~IUnknown() = default;
  // out is set only on S_OK; E_NOINTERFACE when the object lacks iid.
  virtual HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>& out) = 0;
};

// {00000000-0000-0000-C000-000000000046}
inline constexpr GUID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// QueryInterface of an object that implements IUnknown and I: the object itself
// for either (for I only while offered), E_NOINTERFACE for anything else.
template <typename I, typename Self>
HRESULT AnswerQuery(const GUID& iid, const std::shared_ptr<Self>& self, std::shared_ptr<IUnknown>& out,
                    bool offered = true) {
  if (iid == IID_IUnknown || (iid == I::IID && offered)) {
    out = self;
    return S_OK;
  }
  return E_NOINTERFACE;
}

// Asks obj for T (identified by T::IID); null on any failure.
template <typename T>
HRESULT QueryInterfaceAs(const std::shared_ptr<IUnknown>& obj, std::shared_ptr<T>& out) {
  out.reset();
  if (!obj) return E_POINTER;
  std::shared_ptr<IUnknown> raw;
  const HRESULT hr = obj->QueryInterface(T::IID, raw);
  if (FAILED(hr)) return hr;
  out = std::dynamic_pointer_cast<T>(raw);
  return out ? S_OK : E_NOINTERFACE;
}

// An element of an enumeration: the interface it holds, or none.
struct OleVariant {
  std::shared_ptr<IUnknown> unknown;
};

class IEnumVARIANT : public virtual IUnknown {
 public:
  // {00020404-0000-0000-C000-000000000046}
  static constexpr GUID IID{0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  // One element at a time: S_OK with the element, S_FALSE at the end, or an error.
  virtual HRESULT Next(std::uint32_t celt, OleVariant& element, std::uint32_t* fetched) = 0;
};

class INetConnection : public virtual IUnknown {
 public:
  // {C08956A1-1CD3-11D1-B1C5-00805FC1270E}
  static constexpr GUID IID{0xC08956A1, 0x1CD3, 0x11D1, {0xB1, 0xC5, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
  virtual HRESULT GetProperties(NETCON_PROPERTIES& properties) = 0;
};

class INetSharingConfiguration : public virtual IUnknown {
 public:
  // {C08956B6-1CD3-11D1-B1C5-00805FC1270E}
  static constexpr GUID IID{0xC08956B6, 0x1CD3, 0x11D1, {0xB1, 0xC5, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
  virtual HRESULT get_SharingEnabled(VARIANT_BOOL& enabled) = 0;
  virtual HRESULT DisableSharing() = 0;
  virtual HRESULT EnableSharing(SHARINGCONNECTIONTYPE type) = 0;
};

class INetSharingEveryConnectionCollection : public virtual IUnknown {
 public:
  // {33C4643C-7811-46FA-A89A-768597BD7223}
  static constexpr GUID IID{0x33C4643C, 0x7811, 0x46FA, {0xA8, 0x9A, 0x76, 0x85, 0x97, 0xBD, 0x72, 0x23}};
  // An enumerator object, to be asked for IEnumVARIANT.
  virtual HRESULT get__NewEnum(std::shared_ptr<IUnknown>& enumerator) = 0;
};

class INetSharingManager : public virtual IUnknown {
 public:
  // {C08956B7-1CD3-11D1-B1C5-00805FC1270E}
  static constexpr GUID IID{0xC08956B7, 0x1CD3, 0x11D1, {0xB1, 0xC5, 0x00, 0x80, 0x5F, 0xC1, 0x27, 0x0E}};
  virtual HRESULT get_INetSharingConfigurationForINetConnection(
      const std::shared_ptr<INetConnection>& connection, std::shared_ptr<INetSharingConfiguration>& configuration) = 0;
  virtual HRESULT get_EnumEveryConnection(std::shared_ptr<INetSharingEveryConnectionCollection>& collection) = 0;
};

// The object-creation step of the COM runtime for the sharing classes.
class INetSharingProvider {
 public:
  virtual ~INetSharingProvider() = default;
  // REGDB_E_CLASSNOTREG for a class this system does not have.
  virtual HRESULT CoCreateInstance(const GUID& clsid, std::shared_ptr<IUnknown>& object) = 0;
};

}  // namespace kestrune::platform
