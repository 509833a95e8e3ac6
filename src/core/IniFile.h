#pragma once
// INI text with the rules of the Windows profile functions, and a writer that
// keeps every line it does not own byte for byte.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// An INI file could not be read or written as asked.
class EIniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A parsed INI text. Lines are trimmed for reading; ";" starts a comment;
// "[name]" opens a section; "key=value" inside a section is an entry; lines
// before the first section are ignored. Names match without regard to case and
// the first section and the first key of a name win.
class TIniText {
 public:
  TIniText() = default;
  explicit TIniText(std::string_view text);

  // The trimmed value of the first matching entry, cut at a NUL byte.
  std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& defaultValue) const;

  // Replaces the first matching entry's line in place; otherwise appends the
  // entry to the first section of that name, or a new section at the end.
  // Line breaks in value would start new lines, so they become blanks.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  bool HasSection(std::string_view section) const;
  // The text again: unchanged lines exactly as read.
  std::string Text() const;

 private:
  enum class Kind : std::uint8_t { Other, Section, Entry };
  struct Line {
    std::string raw;  // without its line break
    std::string eol;  // "\r\n", "\n", "\r" or empty on the last line
    Kind kind = Kind::Other;
    std::string name;  // section or key, trimmed
  };

  static Line Classify(std::string raw, std::string eol);
  // Index of the first section line named section, or npos.
  std::size_t FindSection(std::string_view section) const;
  // End of the section starting at index (the next section line or the end).
  std::size_t SectionEnd(std::size_t sectionIndex) const;
  std::size_t FindEntry(std::size_t sectionIndex, std::string_view key) const;
  std::string NewLineBreak() const;

  std::vector<Line> lines_;
};

// The profile functions return strings through a 2048-character buffer.
constexpr std::size_t kProfileStringMax = 2047;

// ReadString with the buffer's limit, for value and default alike.
std::string ReadProfileString(const TIniText& ini, std::string_view section, std::string_view key,
                              const std::string& defaultValue);
// Decimal, or hexadecimal after "0x", "0X" or "$", optionally signed, 32 bits;
// nullopt for anything else.
std::optional<std::int32_t> ParseProfileInteger(std::string_view text);
// Any non-zero integer is true; a missing key or a non-integer gives the default.
bool ReadProfileBool(const TIniText& ini, std::string_view section, std::string_view key,
                     bool defaultValue);

enum class FileReadStatus { Ok, Missing, Failed };
// Reads a whole file into contents; on failure error (when given) receives an errno value.
FileReadStatus ReadWholeFile(const std::string& path, std::string& contents, int* error = nullptr);

// Writes data to a temporary file beside path, then renames it over path, so
// readers see the old file or the new one, never a part. A symbolic link is
// followed and its target replaced; a target we may not write is left alone.
// Throws std::system_error.
void ReplaceFileAtomically(const std::string& path, std::string_view data);

}  // namespace kestrune
