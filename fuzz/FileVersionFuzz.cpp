// Any bytes as an ELF file, as a PE file and through the magic-based choice.
// Seeds: a built libwireless.so and a PE file with a version resource.
#include <cstddef>
#include <cstdint>

#include "platform/FileVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrune::platform;
  const MemoryByteSource source({data, size});
  const auto elf = ReadElfVersionNote(source);
  const auto pe = ReadPeVersionResource(source);
  const auto any = ReadFileVersion(source);
  // The chosen reader must agree with the one the magic names.
  if (size >= 2 && data[0] == 'M' && data[1] == 'Z' && any != pe) __builtin_trap();
  if (size >= 4 && data[0] == 0x7f && data[1] == 'E' && data[2] == 'L' && data[3] == 'F' && any != elf)
    __builtin_trap();
  return 0;
}
