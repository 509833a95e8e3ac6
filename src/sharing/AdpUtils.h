#pragma once
// The interface-table buffer of the adapter inventory and its refill.
#include <cstdint>

#include "platform/IpHelper.h"

// Room for the interface table, sized by the table's size when it is made.
// The inventory owns one; the table it yields lives as long as the buffer.
class TIfTableBuffer {
 public:
  explicit TIfTableBuffer(kestrune::platform::IIpHelper& ipHelper);

  std::uint32_t IfTableSize() const { return FIfTableSize; }

 private:
  friend const kestrune::platform::MibIfTable* GetInterfaceTable(TIfTableBuffer& buffer);

  kestrune::platform::IIpHelper& FIpHelper;
  std::uint32_t FIfTableSize = 0;
  kestrune::platform::MibIfTable FTable;
};

// Refills the buffer in the system's row order. When the table has grown past
// the buffer, the buffer grows to the size the table reports and the read is
// made again. Null when the table cannot be read.
const kestrune::platform::MibIfTable* GetInterfaceTable(TIfTableBuffer& buffer);
