#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fixtures/PeBuilder.h"
#include "fixtures/TempDir.h"
#include "platform/FileVersion.h"

using namespace kestrune::platform;
using kestrune::testing::PeBuilder;
using kestrune::testing::PeSpec;

namespace {

// A small ELF file of either class and byte order holding a GNU note and then
// ours, reachable through a note segment or only through a note section.
struct ElfSpec {
  bool is64 = true;
  bool bigEndian = false;
  bool segment = true;  // false: section headers only
  std::uint32_t align = 4;
  bool withNote = true;
  std::array<std::uint32_t, 4> version{1, 0, 0, 1};
};

class ElfBuilder {
 public:
  explicit ElfBuilder(const ElfSpec& s) : s_(s) {}

  std::vector<std::uint8_t> Build() {
    const std::size_t ehsize = s_.is64 ? 64 : 52, phentsize = s_.is64 ? 56 : 32, shentsize = s_.is64 ? 64 : 40;
    constexpr std::size_t kNotes = 0x100;
    b_.assign(kNotes, 0);
    b_[0] = 0x7f, b_[1] = 'E', b_[2] = 'L', b_[3] = 'F';
    b_[4] = s_.is64 ? 2 : 1;
    b_[5] = s_.bigEndian ? 2 : 1;
    b_[6] = 1;
    U16(16, 3);  // ET_DYN

    // Notes, padded from the start of the region.
    const auto pad = [&] { b_.resize(kNotes + Round(b_.size() - kNotes), 0); };
    Note("GNU", 3, std::vector<std::uint8_t>(20, 0xAB));
    pad();
    if (s_.withNote) {
      std::vector<std::uint8_t> desc(16);
      for (std::size_t i = 0; i < 4; ++i) Put(desc, 4 * i, s_.version[i]);
      Note(std::string("KESTRUNE"), kVersionNoteType, desc);
      pad();
    }
    const std::size_t notesSize = b_.size() - kNotes;

    if (s_.segment) {
      const std::size_t ph = ehsize;
      Word(s_.is64 ? 0x20 : 0x1C, ph);
      U16(s_.is64 ? 0x36 : 0x2A, static_cast<std::uint16_t>(phentsize));
      U16(s_.is64 ? 0x38 : 0x2C, 1);
      U32(ph, 4);  // PT_NOTE
      if (s_.is64) {
        U64(ph + 8, kNotes), U64(ph + 32, notesSize), U64(ph + 48, s_.align);
      } else {
        U32(ph + 4, kNotes), U32(ph + 16, static_cast<std::uint32_t>(notesSize)), U32(ph + 28, s_.align);
      }
    } else {
      const std::size_t sh = b_.size();
      b_.resize(sh + 2 * shentsize, 0);
      Word(s_.is64 ? 0x28 : 0x20, sh);
      U16(s_.is64 ? 0x3A : 0x2E, static_cast<std::uint16_t>(shentsize));
      U16(s_.is64 ? 0x3C : 0x30, 2);
      const std::size_t note = sh + shentsize;
      U32(note + 4, 7);  // SHT_NOTE
      Word(note + (s_.is64 ? 24 : 16), kNotes);
      Word(note + (s_.is64 ? 32 : 20), notesSize);
      Word(note + (s_.is64 ? 48 : 32), s_.align);
    }
    return b_;
  }

 private:
  std::size_t Round(std::size_t n) const { return (n + s_.align - 1) / s_.align * s_.align; }

  void Note(const std::string& name, std::uint32_t type, const std::vector<std::uint8_t>& desc) {
    const std::size_t start = b_.size(), rel = start - 0x100;
    b_.resize(start + 12, 0);
    U32(start, static_cast<std::uint32_t>(name.size() + 1));
    U32(start + 4, static_cast<std::uint32_t>(desc.size()));
    U32(start + 8, type);
    b_.insert(b_.end(), name.begin(), name.end());
    b_.push_back(0);
    b_.resize(0x100 + Round(rel + 12 + name.size() + 1), 0);
    b_.insert(b_.end(), desc.begin(), desc.end());
  }
  void Put(std::vector<std::uint8_t>& to, std::size_t at, std::uint64_t v, std::size_t n = 4) {
    for (std::size_t i = 0; i < n; ++i)
      to[at + i] = static_cast<std::uint8_t>(v >> (8 * (s_.bigEndian ? n - 1 - i : i)));
  }
  void U16(std::size_t at, std::uint16_t v) { Put(b_, at, v, 2); }
  void U32(std::size_t at, std::uint64_t v) { Put(b_, at, v, 4); }
  void U64(std::size_t at, std::uint64_t v) { Put(b_, at, v, 8); }
  void Word(std::size_t at, std::uint64_t v) { s_.is64 ? U64(at, v) : U32(at, v); }

  ElfSpec s_;
  std::vector<std::uint8_t> b_;
};

std::optional<FileVersionNumbers> Read(const std::vector<std::uint8_t>& bytes) {
  return ReadFileVersion(MemoryByteSource(bytes));
}

// Writes bytes to a file named name in dir; returns its path.
std::string WriteIn(const TempDir& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const auto p = dir.Path() / name;
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                           static_cast<std::streamsize>(bytes.size()));
  return p.string();
}

}  // namespace

TEST(ElfVersionNote, EveryClassByteOrderAndPlacement) {
  for (const bool is64 : {false, true})
    for (const bool big : {false, true})
      for (const bool segment : {false, true})
        for (const std::uint32_t align : {4u, 8u}) {
          SCOPED_TRACE(testing::Message() << "64=" << is64 << " big=" << big << " segment=" << segment
                                          << " align=" << align);
          const auto elf = ElfBuilder({is64, big, segment, align, true, {7, 65535, 0, 15}}).Build();
          EXPECT_EQ(Read(elf), (FileVersionNumbers{7, 65535, 0, 15}));
          EXPECT_EQ(Read(ElfBuilder({is64, big, segment, align, false}).Build()), std::nullopt);
        }
}

TEST(ElfVersionNote, MalformedNotesReadAsNoVersion) {
  // A part above 16 bits cannot be a version part.
  EXPECT_EQ(Read(ElfBuilder({.version = {1, 0x10000, 0, 1}}).Build()), std::nullopt);
  // Not an ELF file at all, or too short for its header.
  EXPECT_EQ(Read({'\x7f', 'E', 'L', 'F'}), std::nullopt);
  EXPECT_EQ(Read({'#', '!', '/', 'b', 'i', 'n'}), std::nullopt);
  EXPECT_EQ(Read({}), std::nullopt);
  // A note whose name size runs far past the segment.
  auto elf = ElfBuilder({}).Build();
  elf[0x100] = 0xFF, elf[0x101] = 0xFF, elf[0x102] = 0xFF, elf[0x103] = 0x7F;
  EXPECT_EQ(Read(elf), std::nullopt);
}

TEST(PeVersionResource, FileVersionOfTheFixedInformation) {
  struct Case {
    PeSpec spec;
    std::optional<FileVersionNumbers> expected;
  };
  const Case cases[] = {
      {{.file = {1, 2, 3, 4}, .product = {5, 6, 7, 8}}, FileVersionNumbers{1, 2, 3, 4}},
      {{.pe32Plus = true, .file = {65535, 0, 10, 15}}, FileVersionNumbers{65535, 0, 10, 15}},
      {{.file = {5, 4, 3, 2}, .nameId = 102}, FileVersionNumbers{5, 4, 3, 2}},
      {{.withVersion = false}, std::nullopt},
      {{.signature = 0xFEEF04BCu}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "pe32+=" << c.spec.pe32Plus << " version=" << c.spec.withVersion);
    EXPECT_EQ(Read(PeBuilder::Build(c.spec)), c.expected);
  }
}

TEST(PeVersionResource, TruncatedAtEveryLength) {
  const auto pe = PeBuilder::Build({.file = {3, 1, 4, 1}});
  for (std::size_t n = 0; n <= pe.size(); ++n) {
    const std::vector<std::uint8_t> cut(pe.begin(), pe.begin() + static_cast<std::ptrdiff_t>(n));
    const auto v = Read(cut);
    if (n < PeBuilder::kVersionEnd)
      ASSERT_EQ(v, std::nullopt) << n;
    else
      ASSERT_EQ(v, (FileVersionNumbers{3, 1, 4, 1})) << n;
  }
}

// Bit flips in the headers and the resource tree: any answer is acceptable,
// reading out of bounds (caught by the sanitizer build) or hanging is not.
TEST(FileVersionReaders, SurviveBitFlips) {
  std::mt19937 rng(20261210);
  const std::vector<std::vector<std::uint8_t>> seeds = {
      PeBuilder::Build({}), PeBuilder::Build({.pe32Plus = true}), ElfBuilder({}).Build(),
      ElfBuilder({.is64 = false, .bigEndian = true, .segment = false}).Build(),
      ElfBuilder({.align = 8}).Build()};
  int found = 0;
  for (const auto& seed : seeds) {
    for (int round = 0; round < 3000; ++round) {
      auto bytes = seed;
      const int flips = 1 + static_cast<int>(rng() % 4);
      for (int f = 0; f < flips; ++f) {
        const auto at = rng() % bytes.size();
        bytes[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      }
      if (Read(bytes)) ++found;
      // Whole words replaced by extreme values hit the size arithmetic.
      auto words = seed;
      const auto at = (rng() % (words.size() / 4)) * 4;
      const std::uint32_t extreme[] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0};
      std::memcpy(&words[at], &extreme[rng() % 4], 4);
      Read(words);
    }
  }
  // Most flips land in padding, so most variants still read.
  EXPECT_GT(found, 0);
}

TEST(FileVersionFile, OnlyRegularFilesAreRead) {
  TempDir dir;
  EXPECT_EQ(ReadFileVersion(WriteIn(dir, "app.exe", PeBuilder::Build({.file = {2, 0, 1, 15}}))),
            (FileVersionNumbers{2, 0, 1, 15}));
  EXPECT_EQ(ReadFileVersion(WriteIn(dir, "lib.so", ElfBuilder({}).Build())), (FileVersionNumbers{1, 0, 0, 1}));
  EXPECT_EQ(ReadFileVersion(WriteIn(dir, "empty", {})), std::nullopt);
  EXPECT_EQ(ReadFileVersion((dir.Path() / "missing.exe").string()), std::nullopt);
  EXPECT_EQ(ReadFileVersion(dir.Path().string()), std::nullopt);
  EXPECT_EQ(ReadFileVersion(""), std::nullopt);
  // A pipe with no writer must not block the reader.
  const auto fifo = (dir.Path() / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadFileVersion(fifo), std::nullopt);
}
