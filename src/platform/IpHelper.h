#pragma once
// The IP helper facility: the IPv4 adapter chain and the interface table, as
// value records. Both queries keep the size contract of the platform's buffers:
// the caller names the room it has, and a query that needs more reports how
// much and fails, so callers size their buffers the way they would for the
// raw records.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrune::platform {

constexpr std::uint32_t NO_ERROR = 0;
constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::uint32_t ERROR_BUFFER_OVERFLOW = 111;
constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr std::uint32_t ERROR_NO_DATA = 232;

constexpr std::uint32_t MAX_ADAPTER_NAME_LENGTH = 256;         // the name field holds 260 characters
constexpr std::uint32_t MAX_ADAPTER_DESCRIPTION_LENGTH = 128;  // the description field holds 132
constexpr std::uint32_t MAX_ADAPTER_ADDRESS_LENGTH = 8;
constexpr std::uint32_t IP_ADDRESS_STRING_LENGTH = 16;

constexpr std::uint32_t MIB_IF_TYPE_OTHER = 1;
constexpr std::uint32_t MIB_IF_TYPE_ETHERNET = 6;
constexpr std::uint32_t MIB_IF_TYPE_TOKENRING = 9;
constexpr std::uint32_t MIB_IF_TYPE_PPP = 23;
constexpr std::uint32_t MIB_IF_TYPE_LOOPBACK = 24;
constexpr std::uint32_t MIB_IF_TYPE_SLIP = 28;
constexpr std::uint32_t IF_TYPE_PROP_VIRTUAL = 53;
constexpr std::uint32_t IF_TYPE_IEEE80211 = 71;
constexpr std::uint32_t IF_TYPE_TUNNEL = 131;

constexpr std::uint32_t MIB_IF_OPER_STATUS_NON_OPERATIONAL = 0;
constexpr std::uint32_t MIB_IF_OPER_STATUS_UNREACHABLE = 1;
constexpr std::uint32_t MIB_IF_OPER_STATUS_DISCONNECTED = 2;
constexpr std::uint32_t MIB_IF_OPER_STATUS_CONNECTING = 3;
constexpr std::uint32_t MIB_IF_OPER_STATUS_CONNECTED = 4;
constexpr std::uint32_t MIB_IF_OPER_STATUS_OPERATIONAL = 5;

// What the raw records cost in a caller's buffer (the 32-bit layouts): an
// adapter record embeds the first address and the first gateway entry; every
// further chain entry costs one more entry record.
constexpr std::uint32_t kAdapterInfoRecordSize = 640;
constexpr std::uint32_t kAddrStringRecordSize = 40;
constexpr std::uint32_t kIfTableHeaderSize = 4;
constexpr std::uint32_t kIfRowRecordSize = 860;

struct IpAddrString {
  std::string IpAddress;  // dotted text; the platform's field holds 16 characters
  std::string IpMask;
};

struct IpAdapterInfo {
  std::string AdapterName;  // braced GUID text of the adapter's connection
  std::string Description;
  std::uint32_t AddressLength = 0;
  std::array<std::uint8_t, MAX_ADAPTER_ADDRESS_LENGTH> Address{};
  std::uint32_t Index = 0;
  std::uint32_t Type = MIB_IF_TYPE_ETHERNET;
  std::uint32_t DhcpEnabled = 0;
  // The chains. The platform's record always embeds one entry of each; an
  // empty vector stands for that single entry with empty texts.
  std::vector<IpAddrString> IpAddressList;
  std::vector<IpAddrString> GatewayList;
};

struct MibIfRow {
  std::uint32_t dwIndex = 0;
  std::uint32_t dwType = MIB_IF_TYPE_ETHERNET;
  std::uint32_t dwOperStatus = MIB_IF_OPER_STATUS_NON_OPERATIONAL;
};

struct MibIfTable {
  std::uint32_t dwNumEntries = 0;
  std::vector<MibIfRow> table;
};

// The buffer room these records take, by the costs above.
std::uint32_t AdapterInfoBufferSize(const std::vector<IpAdapterInfo>& adapters);
std::uint32_t IfTableBufferSize(std::size_t rows);

class IIpHelper {
 public:
  virtual ~IIpHelper() = default;
  // size: in, the room the caller has; out on ERROR_BUFFER_OVERFLOW, the room
  // needed. 0 fills adapters; ERROR_NO_DATA when there is no IPv4 adapter.
  // A null adapters pointer only asks for the size.
  virtual std::uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>* adapters, std::uint32_t& size) = 0;
  // Like GetAdaptersInfo, with ERROR_INSUFFICIENT_BUFFER when the room is short
  // or there is no table. order sorts the rows by index.
  virtual std::uint32_t GetIfTable(MibIfTable* table, std::uint32_t& size, bool order) = 0;
};

// The system's text for an error code, without trailing blanks and full stop
// (the form the OS error shows).
std::string SysErrorMessage(std::uint32_t code);

}  // namespace kestrune::platform
