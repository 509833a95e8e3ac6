#include "sharing/AdpUtils.h"

using namespace kestrune::platform;

TIfTableBuffer::TIfTableBuffer(IIpHelper& ipHelper) : FIpHelper(ipHelper) {
  // Only the size is wanted here; a failing query leaves it at 0 and the first
  // refill grows the buffer.
  FIpHelper.GetIfTable(nullptr, FIfTableSize, false);
}

const MibIfTable* GetInterfaceTable(TIfTableBuffer& buffer) {
  // A table that keeps growing between the calls gets a few tries, no more.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::uint32_t size = buffer.FIfTableSize;
    const std::uint32_t result = buffer.FIpHelper.GetIfTable(&buffer.FTable, size, false);
    if (result == NO_ERROR) return &buffer.FTable;
    if (result != ERROR_INSUFFICIENT_BUFFER || size <= buffer.FIfTableSize) return nullptr;
    buffer.FIfTableSize = size;
  }
  return nullptr;
}
