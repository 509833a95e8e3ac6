#pragma once
// The adapter inventory: the computer's IPv4 adapters with their addresses,
// operational states and registry classification.
#include <cstdint>
#include <string>
#include <vector>

#include "core/StringList.h"
#include "platform/IpHelper.h"
#include "platform/Platform.h"
#include "sharing/AdpUtils.h"

namespace kestrune::platform {
class IRegistry;
}

class TAdapter : public kestrune::TObject {
 public:
  std::string AdapterName;
  std::string Description;
  std::int32_t IfIndex = 0;
  std::string MacAddress;
  std::int32_t AdapterType = 0;
  bool DhcpEnabled = false;
  kestrune::TStringList IpAddresses;
  kestrune::TStringList IpMasks;
  kestrune::TStringList Gateways;
  std::uint32_t OperStatus = 0;
  bool IsPhysical = false;
  bool IsWireless = false;
};

class TAdapterManager {
 public:
  // Reads the adapters once (no operational states yet); the adapter query's
  // EOSError leaves the constructor. Needs the bundle's ipHelper and registry.
  explicit TAdapterManager(const kestrune::platform::Platform& platform);
  ~TAdapterManager();
  TAdapterManager(const TAdapterManager&) = delete;
  TAdapterManager& operator=(const TAdapterManager&) = delete;

  // Rebuilds the list and the summary names; raises EOSError when the query
  // fails, and then keeps what it had.
  void LoadAdapters();
  // LoadAdapters, then the operational states from the interface table.
  void Refresh();
  void ReadConnectionInfo(const std::string& guid, bool& physical, bool& wireless) const;

  const std::string& WiredAdapter() const { return FWiredAdapter; }
  const std::string& WirelessAdapter() const { return FWirelessAdapter; }
  const std::string& DialUpAdapter() const { return FDialUpAdapter; }
  const kestrune::platform::MibIfTable* IfTable() const { return FIfTable; }
  // Entry text: IfIndex in decimal; object: the TAdapter.
  const kestrune::TStringList& Adapters() const { return FAdapters; }
  TAdapter* Adapter(int i) const { return FAdapters.ObjectAs<TAdapter>(i); }

 private:
  void ClearAdapters();

  kestrune::platform::IIpHelper& FIpHelper;
  kestrune::platform::IRegistry& FRegistry;
  TIfTableBuffer FIfTableBuffer;
  std::string FWiredAdapter;
  std::string FWirelessAdapter;
  std::string FDialUpAdapter;
  const kestrune::platform::MibIfTable* FIfTable = nullptr;
  kestrune::TStringList FAdapters;
};

// Classifies a connection GUID from its registry key: physical when
// "PnpInstanceID" begins with PCI, USB or PCMCIA (case-sensitive), wireless
// when "MediaSubType" is 2. A flag is written only when its value is found.
// Registry errors (a value of the wrong type) are raised.
void ReadConnectionInfo(kestrune::platform::IRegistry& registry, const std::string& guid, bool& physical,
                        bool& wireless);

// "00-1A-2B-3C-4D-5E"; empty for a count of 0 or less.
std::string MacAddressToStr(const std::uint8_t* address, std::int32_t count);
// The chain's address (or mask) texts joined by CR LF; while the text is
// still empty an entry replaces it, so an empty first entry leaves no blank line.
std::string IpAddressListToStr(const std::vector<kestrune::platform::IpAddrString>& chain);
std::string IpMaskListToStr(const std::vector<kestrune::platform::IpAddrString>& chain);
