#include "platform/sim/SimIpHelper.h"

#include <algorithm>

namespace kestrune::platform {

std::uint32_t SimIpHelper::GetAdaptersInfo(std::vector<IpAdapterInfo>* adapters, std::uint32_t& size) {
  std::lock_guard lock(mutex_);
  ++adaptersCalls_;
  adaptersSizes_.push_back(size);
  if (adaptersFault_ != 0) return adaptersFault_;
  if (adapters_.empty()) return ERROR_NO_DATA;
  const std::uint32_t needed = AdapterInfoBufferSize(adapters_);
  if (adapters == nullptr || size < needed) {
    size = needed;
    return ERROR_BUFFER_OVERFLOW;
  }
  *adapters = adapters_;
  return NO_ERROR;
}

std::uint32_t SimIpHelper::GetIfTable(MibIfTable* table, std::uint32_t& size, bool order) {
  std::lock_guard lock(mutex_);
  ++ifTableCalls_;
  if (ifTableFault_ != 0) return ifTableFault_;
  const std::uint32_t needed = IfTableBufferSize(rows_.size());
  if (table == nullptr || size < needed) {
    size = needed;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  table->table = rows_;
  if (order)
    std::stable_sort(table->table.begin(), table->table.end(),
                     [](const MibIfRow& a, const MibIfRow& b) { return a.dwIndex < b.dwIndex; });
  table->dwNumEntries = static_cast<std::uint32_t>(table->table.size());
  return NO_ERROR;
}

void SimIpHelper::AddAdapter(IpAdapterInfo adapter, std::optional<std::uint32_t> operStatus) {
  std::lock_guard lock(mutex_);
  if (operStatus) rows_.push_back(MibIfRow{adapter.Index, adapter.Type, *operStatus});
  adapters_.push_back(std::move(adapter));
}

void SimIpHelper::AddInterfaceRow(MibIfRow row) {
  std::lock_guard lock(mutex_);
  rows_.push_back(row);
}

bool SimIpHelper::SetOperStatus(std::uint32_t index, std::uint32_t status) {
  std::lock_guard lock(mutex_);
  bool found = false;
  for (auto& r : rows_)
    if (r.dwIndex == index) {
      r.dwOperStatus = status;
      found = true;
    }
  return found;
}

bool SimIpHelper::RemoveAdapter(const std::string& adapterName) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(adapters_.begin(), adapters_.end(),
                               [&](const IpAdapterInfo& a) { return a.AdapterName == adapterName; });
  if (it == adapters_.end()) return false;
  const std::uint32_t index = it->Index;
  adapters_.erase(it);
  std::erase_if(rows_, [&](const MibIfRow& r) { return r.dwIndex == index; });
  return true;
}

void SimIpHelper::ClearAdapters() {
  std::lock_guard lock(mutex_);
  adapters_.clear();
}

void SimIpHelper::ClearInterfaceRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
}

std::vector<IpAdapterInfo> SimIpHelper::Adapters() const {
  std::lock_guard lock(mutex_);
  return adapters_;
}

void SimIpHelper::FailAdaptersInfo(std::uint32_t code) {
  std::lock_guard lock(mutex_);
  adaptersFault_ = code;
}

void SimIpHelper::FailIfTable(std::uint32_t code) {
  std::lock_guard lock(mutex_);
  ifTableFault_ = code;
}

int SimIpHelper::GetAdaptersInfoCalls() const {
  std::lock_guard lock(mutex_);
  return adaptersCalls_;
}

int SimIpHelper::GetIfTableCalls() const {
  std::lock_guard lock(mutex_);
  return ifTableCalls_;
}

std::vector<std::uint32_t> SimIpHelper::AdaptersInfoSizes() const {
  std::lock_guard lock(mutex_);
  return adaptersSizes_;
}

}  // namespace kestrune::platform
