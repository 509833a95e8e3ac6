#pragma once
// The simulated machine's IP helper: an adapter chain and an interface table
// that scenarios and tests fill. Every member may be called from any thread.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/IpHelper.h"

namespace kestrune::platform {

class SimIpHelper : public IIpHelper {
 public:
  std::uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>* adapters, std::uint32_t& size) override;
  std::uint32_t GetIfTable(MibIfTable* table, std::uint32_t& size, bool order) override;

  // Appends to the chain; with an operational status it also gets its row in
  // the interface table (of the adapter's index and type).
  void AddAdapter(IpAdapterInfo adapter, std::optional<std::uint32_t> operStatus = MIB_IF_OPER_STATUS_OPERATIONAL);
  // A row without an adapter (loopback, an interface without IPv4).
  void AddInterfaceRow(MibIfRow row);
  // Sets the status of every row with this index; false when there is none.
  bool SetOperStatus(std::uint32_t index, std::uint32_t status);
  // Removes the adapter of that name and its rows; false when there is none.
  bool RemoveAdapter(const std::string& adapterName);
  void ClearAdapters();
  void ClearInterfaceRows();
  std::vector<IpAdapterInfo> Adapters() const;

  // Faults: a non-zero code is what the query returns from then on.
  void FailAdaptersInfo(std::uint32_t code);
  void FailIfTable(std::uint32_t code);

  int GetAdaptersInfoCalls() const;
  int GetIfTableCalls() const;
  // The size every GetAdaptersInfo call was handed, in call order.
  std::vector<std::uint32_t> AdaptersInfoSizes() const;

 private:
  mutable std::mutex mutex_;
  std::vector<IpAdapterInfo> adapters_;
  std::vector<MibIfRow> rows_;
  std::uint32_t adaptersFault_ = 0;
  std::uint32_t ifTableFault_ = 0;
  int adaptersCalls_ = 0;
  int ifTableCalls_ = 0;
  std::vector<std::uint32_t> adaptersSizes_;
};

}  // namespace kestrune::platform
