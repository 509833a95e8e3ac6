#include "sharing/ConnectionUnit.h"

#include "core/Strings.h"
#include "platform/Com.h"
#include "sharing/NETCONLib_TLB.h"

using namespace kestrune::platform;

namespace {

IComRuntime& ComOf(const Platform& p) {
  static NoComRuntime none;
  return p.com != nullptr ? *p.com : none;
}

std::shared_ptr<INetSharingManager> CreateManager(const Platform& p) {
  if (p.netSharing == nullptr) OleCheck(REGDB_E_CLASSNOTREG);
  return CoNetSharingManager::Create(*p.netSharing);
}

// The enumeration of every connection the manager knows.
std::shared_ptr<IEnumVARIANT> EnumEveryConnection(INetSharingManager& manager) {
  std::shared_ptr<INetSharingEveryConnectionCollection> collection;
  OleCheck(manager.get_EnumEveryConnection(collection));
  if (!collection) OleCheck(E_POINTER);
  std::shared_ptr<IUnknown> enumerator;
  OleCheck(collection->get__NewEnum(enumerator));
  return QueryOrRaise<IEnumVARIANT>(enumerator);
}

// The next connection, or null when Next returns anything but S_OK; then
// *end holds what it returned.
std::shared_ptr<INetConnection> NextConnection(IEnumVARIANT& enumerator, HRESULT* end = nullptr) {
  OleVariant element;
  std::uint32_t fetched = 0;
  const HRESULT hr = enumerator.Next(1, element, &fetched);
  if (end != nullptr) *end = hr;
  if (hr != S_OK) return nullptr;
  return QueryOrRaise<INetConnection>(element.unknown);
}

std::shared_ptr<INetSharingConfiguration> ConfigurationOf(INetSharingManager& manager,
                                                          const std::shared_ptr<INetConnection>& connection) {
  std::shared_ptr<INetSharingConfiguration> configuration;
  OleCheck(manager.get_INetSharingConfigurationForINetConnection(connection, configuration));
  if (!configuration) OleCheck(E_POINTER);
  return configuration;
}

void EnableIfOff(INetSharingConfiguration& configuration, SHARINGCONNECTIONTYPE type) {
  VARIANT_BOOL enabled = VARIANT_FALSE;
  OleCheck(configuration.get_SharingEnabled(enabled));
  if (enabled == VARIANT_FALSE) OleCheck(configuration.EnableSharing(type));
}

}  // namespace

TConnectionManager::TConnectionManager(const Platform& platform)
    : FPlatform(platform), FAdapterManager(std::make_unique<TAdapterManager>(platform)) {}

TConnectionManager::~TConnectionManager() {
  FAdapterManager.reset();
  ClearConnections();
}

void TConnectionManager::ClearConnections() {
  kestrune::FreeListObjects(&FConnections);
  FConnections.Clear();
}

void TConnectionManager::ReadConnectionInfo(const std::string& guid, bool& physical, bool& wireless) const {
  FAdapterManager->ReadConnectionInfo(guid, physical, wireless);
}

void TConnectionManager::Refresh() {
  ClearConnections();
  ComScope com(ComOf(FPlatform));
  try {
    FAdapterManager->Refresh();
    const auto manager = CreateManager(FPlatform);
    const auto enumerator = EnumEveryConnection(*manager);
    while (const auto connection = NextConnection(*enumerator)) {
      NETCON_PROPERTIES properties;
      OleCheck(connection->GetProperties(properties));
      if (properties.Status == kestrune::platform::NCS_DISCONNECTED) continue;

      auto record = std::make_unique<TConnection>();
      record->Guid = GuidToString(properties.guidId);
      record->MediaType = properties.MediaType;
      record->Name = kestrune::WideToAnsi(properties.pszwName);
      record->DeviceName = kestrune::WideToAnsi(properties.pszwDeviceName);
      record->Status = properties.Status;

      bool physical = false;
      bool wireless = false;
      ReadConnectionInfo(record->Guid, physical, wireless);
      record->IsPhysical = physical;
      record->IsWireless = wireless;

      const auto& adapters = FAdapterManager->Adapters();
      for (int i = 0; i < adapters.Count(); ++i) {
        const TAdapter* adapter = FAdapterManager->Adapter(i);
        if (adapter == nullptr || !kestrune::SameText(record->Guid, adapter->AdapterName)) continue;
        record->DhcpEnabled = adapter->DhcpEnabled;
        record->IpAddresses.AssignTexts(adapter->IpAddresses);
        record->IpMasks.AssignTexts(adapter->IpMasks);
        record->Gateways.AssignTexts(adapter->Gateways);
      }

      std::string name = record->Name;
      FConnections.AddObject(std::move(name), std::move(record));
    }
  } catch (...) {
    // The callers only ever see a short list.
  }
}

bool TConnectionManager::EnableConnectionSharing(const std::string& source, const std::string& destination) {
  if (source.empty() || destination.empty()) return false;
  bool result = false;
  ComScope com(ComOf(FPlatform));
  try {
    const auto manager = CreateManager(FPlatform);
    const auto enumerator = EnumEveryConnection(*manager);
    std::shared_ptr<INetSharingConfiguration> publicConfiguration;
    std::shared_ptr<INetSharingConfiguration> privateConfiguration;
    while (const auto connection = NextConnection(*enumerator)) {
      NETCON_PROPERTIES properties;
      OleCheck(connection->GetProperties(properties));
      const std::string guid = GuidToString(properties.guidId);
      if (guid == source)
        publicConfiguration = ConfigurationOf(*manager, connection);
      else if (guid == destination)
        privateConfiguration = ConfigurationOf(*manager, connection);
    }
    if (publicConfiguration && privateConfiguration) {
      EnableIfOff(*publicConfiguration, kestrune::platform::ICSSHARINGTYPE_PUBLIC);
      EnableIfOff(*privateConfiguration, kestrune::platform::ICSSHARINGTYPE_PRIVATE);
      result = true;
    }
  } catch (...) {
    result = false;
  }
  return result;
}

bool TConnectionManager::DisableAllSharing() {
  bool result = false;
  ComScope com(ComOf(FPlatform));
  try {
    const auto manager = CreateManager(FPlatform);
    const auto enumerator = EnumEveryConnection(*manager);
    HRESULT end = S_OK;
    while (const auto connection = NextConnection(*enumerator, &end))
      OleCheck(ConfigurationOf(*manager, connection)->DisableSharing());
    // An enumeration that broke off has not visited every connection.
    result = SUCCEEDED(end);
  } catch (...) {
    result = false;
  }
  return result;
}
