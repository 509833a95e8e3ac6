#include "platform/FileVersion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrune::platform {

namespace {

// Work limits: hostile files may claim millions of headers or notes.
constexpr std::uint64_t kMaxProgramHeaders = 4096;
constexpr std::uint64_t kMaxSectionHeaders = 65536;
constexpr std::uint64_t kMaxNotesPerFile = 65536;
constexpr std::uint32_t kMaxPeSections = 96;  // the PE loader's own limit
constexpr std::uint32_t kMaxVersionResource = 1u << 20;

bool InRange(std::uint64_t size, std::uint64_t offset, std::uint64_t count) {
  return offset <= size && count <= size - offset;
}

// Integers in a chosen byte order, read through a ByteSource.
class Reader {
 public:
  Reader(const ByteSource& src, bool bigEndian) : src_(src), big_(bigEndian) {}

  bool U8(std::uint64_t off, std::uint8_t& v) const { return src_.Read(off, &v, 1); }
  bool U16(std::uint64_t off, std::uint16_t& v) const {
    std::uint8_t b[2];
    if (!src_.Read(off, b, sizeof b)) return false;
    v = big_ ? static_cast<std::uint16_t>(b[0] << 8 | b[1]) : static_cast<std::uint16_t>(b[1] << 8 | b[0]);
    return true;
  }
  bool U32(std::uint64_t off, std::uint32_t& v) const {
    std::uint8_t b[4];
    if (!src_.Read(off, b, sizeof b)) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | b[big_ ? i : 3 - i];
    return true;
  }
  bool U64(std::uint64_t off, std::uint64_t& v) const {
    std::uint8_t b[8];
    if (!src_.Read(off, b, sizeof b)) return false;
    v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | b[big_ ? i : 7 - i];
    return true;
  }
  // A 32-bit field in ELF32, a 64-bit one in ELF64.
  bool Word(bool is64, std::uint64_t off, std::uint64_t& v) const {
    if (is64) return U64(off, v);
    std::uint32_t w = 0;
    if (!U32(off, w)) return false;
    v = w;
    return true;
  }
  std::uint64_t Size() const { return src_.Size(); }
  const ByteSource& Source() const { return src_; }

 private:
  const ByteSource& src_;
  bool big_;
};

// ---------------------------------------------------------------- ELF

struct NoteScan {
  std::uint64_t notesSeen = 0;
};

std::optional<FileVersionNumbers> ScanNotes(const Reader& r, std::uint64_t offset, std::uint64_t size,
                                            std::uint64_t align, NoteScan& scan) {
  if (!InRange(r.Size(), offset, size)) {
    // A region that runs past the end is read as far as the file goes.
    if (offset >= r.Size()) return std::nullopt;
    size = r.Size() - offset;
  }
  // Padding counts from the start of the region (what an 8-aligned note
  // segment needs; for 4-aligned ones it makes no difference).
  const std::uint64_t pad = align == 8 ? 8 : 4;
  const auto roundUp = [pad](std::uint64_t n) { return (n + pad - 1) / pad * pad; };
  std::uint64_t rel = 0;
  while (size - rel >= 12) {
    if (++scan.notesSeen > kMaxNotesPerFile) return std::nullopt;
    const std::uint64_t pos = offset + rel;
    std::uint32_t namesz = 0, descsz = 0, type = 0;
    if (!r.U32(pos, namesz) || !r.U32(pos + 4, descsz) || !r.U32(pos + 8, type)) return std::nullopt;
    const std::uint64_t nameAt = pos + 12;
    const std::uint64_t descRel = roundUp(rel + 12 + namesz);  // 32-bit sizes: no overflow in 64 bits
    if (descRel > size || descsz > size - descRel) return std::nullopt;
    const std::uint64_t descAt = offset + descRel;
    if (type == kVersionNoteType && namesz == sizeof kVersionNoteName && descsz == 16) {
      char name[sizeof kVersionNoteName];
      if (r.Source().Read(nameAt, name, sizeof name) && std::memcmp(name, kVersionNoteName, sizeof name) == 0) {
        FileVersionNumbers v{};
        for (std::size_t i = 0; i < 4; ++i) {
          std::uint32_t part = 0;
          if (!r.U32(descAt + 4 * i, part) || part > 0xFFFF) return std::nullopt;
          v[i] = static_cast<std::uint16_t>(part);
        }
        return v;
      }
    }
    rel = roundUp(descRel + descsz);
    if (rel >= size) break;
  }
  return std::nullopt;
}

}  // namespace

bool MemoryByteSource::Read(std::uint64_t offset, void* out, std::size_t count) const {
  if (!InRange(bytes_.size(), offset, count)) return false;
  if (count != 0) std::memcpy(out, bytes_.data() + offset, count);
  return true;
}

std::optional<FileVersionNumbers> ReadElfVersionNote(const ByteSource& file) {
  std::uint8_t ident[16];
  if (!file.Read(0, ident, sizeof ident)) return std::nullopt;
  if (ident[0] != 0x7f || ident[1] != 'E' || ident[2] != 'L' || ident[3] != 'F') return std::nullopt;
  if (ident[4] != 1 && ident[4] != 2) return std::nullopt;
  if (ident[5] != 1 && ident[5] != 2) return std::nullopt;
  const bool is64 = ident[4] == 2;
  const Reader r(file, ident[5] == 2);

  // Header field offsets differ between the classes.
  std::uint64_t phoff = 0, shoff = 0;
  std::uint16_t phentsize = 0, phnum = 0, shentsize = 0, shnum16 = 0;
  if (!r.Word(is64, is64 ? 0x20 : 0x1C, phoff) || !r.Word(is64, is64 ? 0x28 : 0x20, shoff) ||
      !r.U16(is64 ? 0x36 : 0x2A, phentsize) || !r.U16(is64 ? 0x38 : 0x2C, phnum) ||
      !r.U16(is64 ? 0x3A : 0x2E, shentsize) || !r.U16(is64 ? 0x3C : 0x30, shnum16))
    return std::nullopt;

  NoteScan scan;
  const std::uint64_t phMin = is64 ? 56 : 32;
  if (phoff != 0 && phentsize >= phMin) {
    std::uint64_t count = phnum;
    if (count > kMaxProgramHeaders) count = kMaxProgramHeaders;
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint64_t at = phoff + i * phentsize;
      if (at < phoff) break;
      std::uint32_t type = 0;
      if (!r.U32(at, type)) break;
      if (type != 4) continue;  // PT_NOTE
      std::uint64_t offset = 0, filesz = 0, align = 0;
      const bool ok = is64 ? (r.U64(at + 8, offset) && r.U64(at + 32, filesz) && r.U64(at + 48, align))
                           : (r.Word(false, at + 4, offset) && r.Word(false, at + 16, filesz) &&
                              r.Word(false, at + 28, align));
      if (!ok) break;
      if (auto v = ScanNotes(r, offset, filesz, align, scan)) return v;
    }
  }

  // Files without program headers (or whose note segment was stripped) may
  // still hold the note section.
  const std::uint64_t shMin = is64 ? 64 : 40;
  if (shoff != 0 && shentsize >= shMin) {
    std::uint64_t count = shnum16;
    if (count == 0) {
      // Many sections: the real count sits in the first header's size field.
      if (!r.Word(is64, shoff + (is64 ? 32 : 20), count)) return std::nullopt;
    }
    if (count > kMaxSectionHeaders) count = kMaxSectionHeaders;
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint64_t at = shoff + i * shentsize;
      if (at < shoff) break;
      std::uint32_t type = 0;
      if (!r.U32(at + 4, type)) break;
      if (type != 7) continue;  // SHT_NOTE
      std::uint64_t offset = 0, size = 0, align = 0;
      if (!r.Word(is64, at + (is64 ? 24 : 16), offset) || !r.Word(is64, at + (is64 ? 32 : 20), size) ||
          !r.Word(is64, at + (is64 ? 48 : 32), align))
        break;
      if (auto v = ScanNotes(r, offset, size, align, scan)) return v;
    }
  }
  return std::nullopt;
}

// ---------------------------------------------------------------- PE

namespace {

struct PeSection {
  std::uint32_t va = 0, vsize = 0, rawSize = 0, rawPtr = 0;
};

class PeImage {
 public:
  explicit PeImage(const ByteSource& src) : r_(src, false) {}

  bool Load() {
    std::uint16_t mz = 0;
    std::uint32_t lfanew = 0, signature = 0;
    if (!r_.U16(0, mz) || mz != 0x5A4D || !r_.U32(0x3C, lfanew)) return false;
    if (!r_.U32(lfanew, signature) || signature != 0x00004550) return false;  // "PE\0\0"
    const std::uint64_t coff = std::uint64_t{lfanew} + 4;
    std::uint16_t sections = 0, optSize = 0, magic = 0;
    if (!r_.U16(coff + 2, sections) || !r_.U16(coff + 16, optSize)) return false;
    const std::uint64_t opt = coff + 20;
    if (!r_.U16(opt, magic)) return false;
    std::uint64_t countAt = 0, dirsAt = 0;
    if (magic == 0x10B) {
      countAt = 92, dirsAt = 96;
    } else if (magic == 0x20B) {
      countAt = 108, dirsAt = 112;
    } else {
      return false;
    }
    std::uint32_t dirCount = 0;
    constexpr std::uint32_t kResourceDir = 2;
    if (optSize < dirsAt + 8 * (kResourceDir + 1) || !r_.U32(opt + countAt, dirCount) ||
        dirCount <= kResourceDir)
      return false;
    if (!r_.U32(opt + dirsAt + 8 * kResourceDir, resourceRva_)) return false;
    if (resourceRva_ == 0) return false;
    const std::uint64_t table = opt + optSize;
    if (sections > kMaxPeSections) sections = kMaxPeSections;
    for (std::uint16_t i = 0; i < sections; ++i) {
      const std::uint64_t at = table + 40u * i;
      PeSection s;
      if (!r_.U32(at + 8, s.vsize) || !r_.U32(at + 12, s.va) || !r_.U32(at + 16, s.rawSize) ||
          !r_.U32(at + 20, s.rawPtr))
        return false;
      sections_[count_++] = s;
    }
    return true;
  }

  // File offset of [rva, rva + len), which must lie in one section's file data.
  std::optional<std::uint64_t> Map(std::uint64_t rva, std::uint64_t len) const {
    for (std::size_t i = 0; i < count_; ++i) {
      const auto& s = sections_[i];
      if (rva < s.va) continue;
      const std::uint64_t into = rva - s.va;
      const std::uint64_t span = s.vsize != 0 && s.vsize < s.rawSize ? s.vsize : s.rawSize;
      if (into > span || len > span - into) continue;
      const std::uint64_t off = std::uint64_t{s.rawPtr} + into;
      if (!InRange(r_.Size(), off, len)) return std::nullopt;
      return off;
    }
    return std::nullopt;
  }

  std::uint32_t ResourceRva() const { return resourceRva_; }
  const Reader& R() const { return r_; }

 private:
  Reader r_;
  std::uint32_t resourceRva_ = 0;
  PeSection sections_[kMaxPeSections];
  std::size_t count_ = 0;
};

constexpr std::uint32_t kSubdirectory = 0x80000000u;

// The directory entry at resource offset `dir` whose id is `id` (or the first
// entry when id is empty) and whose kind (subdirectory or data) matches.
std::optional<std::uint32_t> FindEntry(const PeImage& pe, std::uint32_t dir, std::optional<std::uint32_t> id,
                                       bool wantSubdirectory) {
  const auto at = pe.Map(std::uint64_t{pe.ResourceRva()} + dir, 16);
  if (!at) return std::nullopt;
  std::uint16_t named = 0, ids = 0;
  if (!pe.R().U16(*at + 12, named) || !pe.R().U16(*at + 14, ids)) return std::nullopt;
  const std::uint32_t total = std::uint32_t{named} + ids;
  const auto entries = pe.Map(std::uint64_t{pe.ResourceRva()} + dir + 16, 8ull * total);
  if (!entries) return std::nullopt;
  for (std::uint32_t i = 0; i < total; ++i) {
    std::uint32_t name = 0, target = 0;
    if (!pe.R().U32(*entries + 8ull * i, name) || !pe.R().U32(*entries + 8ull * i + 4, target)) return std::nullopt;
    if (id && name != *id) continue;  // a named entry has the high bit set, so never matches an id
    if (((target & kSubdirectory) != 0) != wantSubdirectory) {
      if (id) return std::nullopt;
      continue;
    }
    return target & ~kSubdirectory;
  }
  return std::nullopt;
}

}  // namespace

std::optional<FileVersionNumbers> ReadPeVersionResource(const ByteSource& file) {
  PeImage pe(file);
  if (!pe.Load()) return std::nullopt;
  constexpr std::uint32_t kRtVersion = 16;
  constexpr std::uint32_t kVersionInfoId = 1;
  // Type, then name (the usual id 1, else whatever the file uses), then
  // language (the first will do): a fixed depth, so no recursion to bound.
  const auto byName = FindEntry(pe, 0, kRtVersion, true);
  if (!byName) return std::nullopt;
  auto byLanguage = FindEntry(pe, *byName, kVersionInfoId, true);
  if (!byLanguage) byLanguage = FindEntry(pe, *byName, std::nullopt, true);
  if (!byLanguage) return std::nullopt;
  const auto dataEntry = FindEntry(pe, *byLanguage, std::nullopt, false);
  if (!dataEntry) return std::nullopt;
  const auto entryAt = pe.Map(std::uint64_t{pe.ResourceRva()} + *dataEntry, 16);
  if (!entryAt) return std::nullopt;
  std::uint32_t dataRva = 0, dataSize = 0;
  if (!pe.R().U32(*entryAt, dataRva) || !pe.R().U32(*entryAt + 4, dataSize)) return std::nullopt;
  if (dataSize > kMaxVersionResource) return std::nullopt;

  // VS_VERSIONINFO: length, value length, type, L"VS_VERSION_INFO", padding to
  // 32 bits, then the fixed file information.
  constexpr std::uint64_t kFixedAt = 40, kFixedSize = 52;
  if (dataSize < kFixedAt + kFixedSize) return std::nullopt;
  const auto block = pe.Map(dataRva, dataSize);
  if (!block) return std::nullopt;
  const Reader& r = pe.R();
  std::uint16_t length = 0, valueLength = 0;
  if (!r.U16(*block, length) || !r.U16(*block + 2, valueLength)) return std::nullopt;
  if (length < kFixedAt + kFixedSize || length > dataSize || valueLength < kFixedSize) return std::nullopt;
  static constexpr char kKey[] = "VS_VERSION_INFO";
  for (std::size_t i = 0; i < sizeof kKey; ++i) {
    std::uint16_t ch = 0;
    if (!r.U16(*block + 6 + 2 * i, ch) || ch != static_cast<unsigned char>(kKey[i])) return std::nullopt;
  }
  std::uint32_t signature = 0, ms = 0, ls = 0;
  if (!r.U32(*block + kFixedAt, signature) || signature != 0xFEEF04BDu || !r.U32(*block + kFixedAt + 8, ms) ||
      !r.U32(*block + kFixedAt + 12, ls))
    return std::nullopt;
  return FileVersionNumbers{static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms & 0xFFFF),
                            static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls & 0xFFFF)};
}

std::optional<FileVersionNumbers> ReadFileVersion(const ByteSource& file) {
  std::uint8_t magic[4];
  if (!file.Read(0, magic, 2)) return std::nullopt;
  if (magic[0] == 'M' && magic[1] == 'Z') return ReadPeVersionResource(file);
  if (file.Read(0, magic, 4) && magic[0] == 0x7f && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F')
    return ReadElfVersionNote(file);
  return std::nullopt;
}

namespace {

class FdByteSource final : public ByteSource {
 public:
  FdByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, void* out, std::size_t count) const override {
    if (!InRange(size_, offset, count)) return false;
    auto* dst = static_cast<char*>(out);
    while (count > 0) {
      const ssize_t n = pread(fd_, dst, count, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;  // the file shrank under us
      dst += n;
      offset += static_cast<std::uint64_t>(n);
      count -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

}  // namespace

std::optional<FileVersionNumbers> ReadFileVersion(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  // Non-blocking, so that a FIFO in the way cannot hang the caller.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<FileVersionNumbers> result;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    result = ReadFileVersion(FdByteSource(fd, static_cast<std::uint64_t>(st.st_size)));
  close(fd);
  return result;
}

}  // namespace kestrune::platform
