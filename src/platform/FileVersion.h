#pragma once
// Four-part file versions (major, minor, release, build) read from the file
// itself: our ELF files carry a note with the version; Windows PE files carry a
// version resource. The readers never read past the file and bound their work,
// so any bytes at all are safe to hand them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrune::platform {

using FileVersionNumbers = std::array<std::uint16_t, 4>;

// The note our build puts into the executable and the wireless library:
// name "KESTRUNE", this type, four 32-bit numbers in the file's byte order.
inline constexpr char kVersionNoteName[] = "KESTRUNE";
inline constexpr std::uint32_t kVersionNoteType = 0x4b560001u;  // "KV", 1

// Random access to a file's bytes; Read fails when the range is not all there.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  virtual bool Read(std::uint64_t offset, void* out, std::size_t count) const = 0;
};

class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, void* out, std::size_t count) const override;

 private:
  std::span<const std::uint8_t> bytes_;
};

std::optional<FileVersionNumbers> ReadElfVersionNote(const ByteSource& file);
std::optional<FileVersionNumbers> ReadPeVersionResource(const ByteSource& file);
// Picks the reader by the file's magic.
std::optional<FileVersionNumbers> ReadFileVersion(const ByteSource& file);
// Only regular files are read; anything else (missing, a folder, a pipe) has no version.
std::optional<FileVersionNumbers> ReadFileVersion(const std::string& path);

}  // namespace kestrune::platform
