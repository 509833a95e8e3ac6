#pragma once
// The boundary to the wireless library: the records that cross it, its eight
// functions, and the loader that finds them beside the executable.
//
// The records keep the library's 32-bit layout; on 64-bit builds pointers widen
// naturally and everything after them moves with the alignment.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#if defined(__i386__)
#define KESTRUNE_WIFI_CALLBACK __attribute__((stdcall))
#else
#define KESTRUNE_WIFI_CALLBACK
#endif

extern "C" {

struct TWifiInterfaceEntry {
  const char16_t* Id;  // NUL-terminated; owned by the library
  std::uint8_t Reserved[8];
};

constexpr std::uint32_t kWifiMaxInterfaces = 4;
constexpr std::uint32_t kWifiMaxNetworks = 21;
constexpr std::size_t kWifiSSIDUnits = 33;

struct TWifiInterfaceList {
  std::uint32_t Count;
  std::uint32_t Reserved;
  TWifiInterfaceEntry Entries[kWifiMaxInterfaces];
};

struct TWifiNetworkEntry {
  char16_t SSID[kWifiSSIDUnits];
  std::uint16_t Padding;
  std::uint32_t AuxByte;  // low byte used
  std::uint8_t Reserved[8];
  std::uint32_t State;     // low byte: 0 = connected
  std::uint32_t Security;  // low byte: kind; 1 marks the own network
  std::uint32_t AuxValue;
  std::uint32_t ConnectParamA;
  std::uint32_t ConnectParamB;
};

struct TWifiNetworkList {
  std::uint32_t Count;
  std::uint32_t Reserved;
  TWifiNetworkEntry Entries[kWifiMaxNetworks];
};

constexpr std::size_t kWifiConnectionDataNameOffset = 520;
constexpr std::size_t kWifiConnectionDataNameSize = 32;

struct TWifiConnectionData {
  std::uint8_t Reserved[kWifiConnectionDataNameOffset];
  char Name[kWifiConnectionDataNameSize];  // 8-bit, NUL-ended unless all 32 bytes are used
  std::uint8_t Tail[4];
};

constexpr std::uint32_t kWifiNotificationSourceMask = 0xFFFF;
constexpr std::uint8_t kWifiCodeConnectionComplete = 10;
constexpr std::uint8_t kWifiCodeDisconnected = 21;

struct TWifiNotification {
  std::uint32_t Source;
  std::uint32_t Code;
  std::uint8_t Reserved[20];
  const TWifiConnectionData* Data;
};

typedef void(KESTRUNE_WIFI_CALLBACK* TWifiNotificationCallback)(const TWifiNotification* data, void* context);

typedef std::uint32_t (*TEnumInterface)(TWifiInterfaceList* list);
typedef std::uint32_t (*TGetVisibleNetworkList)(const char16_t* interfaceId, TWifiNetworkList* list);
typedef std::uint32_t (*TConnect)(const char16_t* interfaceId, const char16_t* ssid, const char16_t* key,
                                  std::uint32_t security, std::uint32_t paramA, std::uint32_t paramB);
typedef std::uint32_t (*TDisconnect)(const char16_t* interfaceId);
typedef std::uint32_t (*TAddSsid)(const char16_t* interfaceId, const char16_t* ssid, const char16_t* key);
typedef std::uint32_t (*TDeleteSsid)(const char16_t* interfaceId, const char16_t* ssid);
typedef std::uint32_t (*TRegisterNotification)(TWifiNotificationCallback callback);
typedef std::uint32_t (*TUnRegisterNotification)(void);

}  // extern "C"

static_assert(offsetof(TWifiInterfaceList, Count) == 0);
static_assert(offsetof(TWifiInterfaceList, Entries) == 8);
static_assert(sizeof(TWifiNetworkEntry) == 100);
static_assert(offsetof(TWifiNetworkEntry, SSID) == 0);
static_assert(offsetof(TWifiNetworkEntry, AuxByte) == 68);
static_assert(offsetof(TWifiNetworkEntry, State) == 80);
static_assert(offsetof(TWifiNetworkEntry, Security) == 84);
static_assert(offsetof(TWifiNetworkEntry, AuxValue) == 88);
static_assert(offsetof(TWifiNetworkEntry, ConnectParamA) == 92);
static_assert(offsetof(TWifiNetworkEntry, ConnectParamB) == 96);
static_assert(sizeof(TWifiNetworkList) == 2108);
static_assert(offsetof(TWifiNetworkList, Entries) == 8);
static_assert(offsetof(TWifiNotification, Source) == 0);
static_assert(offsetof(TWifiNotification, Code) == 4);
static_assert(offsetof(TWifiConnectionData, Name) == 520);

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(TWifiInterfaceEntry) == 12);
static_assert(sizeof(TWifiInterfaceList) == 56);
static_assert(offsetof(TWifiNotification, Data) == 28);
static_assert(sizeof(TWifiNotification) == 32);
#else
static_assert(sizeof(TWifiInterfaceEntry) == 16);
static_assert(sizeof(TWifiInterfaceList) == 72);
static_assert(offsetof(TWifiNotification, Data) == 32);
static_assert(sizeof(TWifiNotification) == 40);
#endif

// The eight functions, from a loaded library or from a table a test fills in.
struct TWifiLibrary {
  TEnumInterface EnumInterface = nullptr;
  TGetVisibleNetworkList GetVisibleNetworkList = nullptr;
  TConnect Connect = nullptr;
  TDisconnect Disconnect = nullptr;
  TAddSsid AddSsid = nullptr;
  TDeleteSsid DeleteSsid = nullptr;
  TRegisterNotification RegisterNotification = nullptr;
  TUnRegisterNotification UnRegisterNotification = nullptr;
  // Keeps a loaded library mapped for as long as the table lives.
  std::shared_ptr<void> Handle;
};

class EWifiLibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr const char* kWirelessLibraryFileName = "libwireless.so";

// Opens the library at path and resolves all eight functions; throws
// EWifiLibraryError naming the file and, where one is missing, the function.
std::unique_ptr<TWifiLibrary> LoadWifiLibrary(const std::string& path);
// Whether the interface whose identity text is interfaceId is associated with
// a network (hosting or joined: a listed network in state 0); nullopt when the
// library does not know the interface.
std::optional<bool> WirelessLinkUp(const TWifiLibrary& library, const std::u16string& interfaceId);
// The same as a query by connection GUID text, for a platform whose simulated
// connections take their wireless link from the library. Holds its own copy of
// the table, and with it the loaded library.
std::function<std::optional<bool>(const std::string& guid)> WirelessLinkQueryOver(TWifiLibrary library);

// The library to load: $KESTRUNE_WIRELESS_LIBRARY when set and not empty,
// else libwireless.so beside the executable (appDir ends with a separator).
std::string WirelessLibraryPath(const std::string& appDir);
// The library WirelessLibraryPath names.
std::unique_ptr<TWifiLibrary> LoadWirelessLibrary(const std::string& appDir);
