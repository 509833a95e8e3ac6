#include "sharing/AdapterUnit.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "core/Errors.h"
#include "platform/Registry.h"

using namespace kestrune::platform;

namespace {

// The platform's records hold fixed-size character fields.
std::string FixedField(const std::string& text, std::size_t capacity) {
  const std::size_t end = std::min({text.find('\0'), text.size(), capacity});
  return text.substr(0, end);
}

constexpr std::size_t kAdapterNameField = MAX_ADAPTER_NAME_LENGTH + 4;
constexpr std::size_t kDescriptionField = MAX_ADAPTER_DESCRIPTION_LENGTH + 4;

bool StartsWith(const std::string& text, const char* prefix) {
  const std::string_view p(prefix);
  return text.size() >= p.size() && text.compare(0, p.size(), p) == 0;
}

template <typename Field>
std::string JoinChain(const std::vector<IpAddrString>& chain, Field field) {
  std::string out;
  for (const auto& entry : chain) {
    const std::string text = FixedField(entry.*field, IP_ADDRESS_STRING_LENGTH);
    if (out.empty())
      out = text;
    else
      out += "\r\n" + text;
  }
  return out;
}

IIpHelper& RequireIpHelper(const Platform& p) {
  if (p.ipHelper == nullptr) throw std::invalid_argument("the platform has no IP helper");
  return *p.ipHelper;
}

IRegistry& RequireRegistry(const Platform& p) {
  if (p.registry == nullptr) throw std::invalid_argument("the platform has no registry");
  return *p.registry;
}

// The first size tried is the one that holds eight adapters.
constexpr std::uint32_t kInitialAdapterBufferSize = 5120;

}  // namespace

std::string MacAddressToStr(const std::uint8_t* address, std::int32_t count) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (std::int32_t i = 0; i < count; ++i) {
    out += digits[address[i] >> 4];
    out += digits[address[i] & 0x0F];
    out += '-';
  }
  if (!out.empty()) out.pop_back();
  return out;
}

std::string IpAddressListToStr(const std::vector<IpAddrString>& chain) { return JoinChain(chain, &IpAddrString::IpAddress); }

std::string IpMaskListToStr(const std::vector<IpAddrString>& chain) { return JoinChain(chain, &IpAddrString::IpMask); }

void ReadConnectionInfo(IRegistry& registry, const std::string& guid, bool& physical, bool& wireless) {
  const auto key = registry.OpenKey(HKEY_LOCAL_MACHINE, NetworkConnectionKeyPath(guid), RegistryAccess::Read, false);
  if (!key) return;
  if (key->ValueExists("PnpInstanceID")) {
    const std::string id = key->ReadString("PnpInstanceID");
    physical = StartsWith(id, "PCI") || StartsWith(id, "USB") || StartsWith(id, "PCMCIA");
  }
  if (key->ValueExists("MediaSubType")) wireless = key->ReadInteger("MediaSubType") == 2;
}

TAdapterManager::TAdapterManager(const Platform& platform)
    : FIpHelper(RequireIpHelper(platform)), FRegistry(RequireRegistry(platform)), FIfTableBuffer(FIpHelper) {
  LoadAdapters();
}

TAdapterManager::~TAdapterManager() { ClearAdapters(); }

void TAdapterManager::ClearAdapters() {
  kestrune::FreeListObjects(&FAdapters);
  FAdapters.Clear();
}

void TAdapterManager::LoadAdapters() {
  std::vector<IpAdapterInfo> chain;
  std::uint32_t size = kInitialAdapterBufferSize;
  std::uint32_t result = FIpHelper.GetAdaptersInfo(&chain, size);
  // More adapters than the first room holds: ask again with the room they
  // need (adapters may come and go between the calls, so a few times).
  for (int attempt = 0; result == ERROR_BUFFER_OVERFLOW && attempt < 4; ++attempt) {
    chain.clear();
    result = FIpHelper.GetAdaptersInfo(&chain, size);
  }
  if (result != NO_ERROR) throw kestrune::EOSError(result, SysErrorMessage(result));

  ClearAdapters();
  FWiredAdapter.clear();
  FWirelessAdapter.clear();
  FDialUpAdapter.clear();

  for (const IpAdapterInfo& record : chain) {
    auto adapter = std::make_unique<TAdapter>();
    adapter->IfIndex = static_cast<std::int32_t>(record.Index);
    adapter->AdapterName = FixedField(record.AdapterName, kAdapterNameField);
    // A length beyond the address field would read past it.
    const auto length = std::min<std::uint32_t>(record.AddressLength, MAX_ADAPTER_ADDRESS_LENGTH);
    adapter->MacAddress = MacAddressToStr(record.Address.data(), static_cast<std::int32_t>(length));
    adapter->AdapterType = static_cast<std::int32_t>(record.Type);
    adapter->DhcpEnabled = record.DhcpEnabled == 1;
    adapter->IpAddresses.SetText(IpAddressListToStr(record.IpAddressList));
    adapter->IpMasks.SetText(IpMaskListToStr(record.IpAddressList));
    adapter->Gateways.SetText(IpAddressListToStr(record.GatewayList));
    adapter->Description = FixedField(record.Description, kDescriptionField);

    bool physical = false;
    bool wireless = false;
    ReadConnectionInfo(adapter->AdapterName, physical, wireless);
    adapter->IsPhysical = physical;
    adapter->IsWireless = wireless;

    if (adapter->IsPhysical) (adapter->IsWireless ? FWirelessAdapter : FWiredAdapter) = adapter->AdapterName;
    if (adapter->AdapterType == static_cast<std::int32_t>(MIB_IF_TYPE_PPP)) FDialUpAdapter = adapter->AdapterName;

    std::string text = std::to_string(adapter->IfIndex);
    FAdapters.AddObject(std::move(text), std::move(adapter));
  }
}

void TAdapterManager::Refresh() {
  LoadAdapters();
  FIfTable = GetInterfaceTable(FIfTableBuffer);
  if (FIfTable == nullptr) return;
  const std::size_t rows = std::min<std::size_t>(FIfTable->dwNumEntries, FIfTable->table.size());
  for (std::size_t i = 0; i < rows; ++i) {
    const MibIfRow& row = FIfTable->table[i];
    const int at = FAdapters.IndexOf(std::to_string(row.dwIndex));
    if (at >= 0) Adapter(at)->OperStatus = row.dwOperStatus;
  }
}

void TAdapterManager::ReadConnectionInfo(const std::string& guid, bool& physical, bool& wireless) const {
  ::ReadConnectionInfo(FRegistry, guid, physical, wireless);
}
