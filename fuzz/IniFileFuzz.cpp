// Any bytes as an INI text, then one value written back: the written value
// must read back, every other entry must read as before, and every line the
// writer does not own must come out of the text again byte for byte.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "core/IniFile.h"
#include "core/Strings.h"

namespace {

struct Line {
  std::string raw;
  std::string eol;
};

// The same split the reader makes: CR, LF or CR LF.
std::vector<Line> Split(std::string_view text) {
  std::vector<Line> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t brk = text.find_first_of("\r\n", pos);
    if (brk == std::string_view::npos) {
      out.push_back({std::string(text.substr(pos)), {}});
      break;
    }
    std::size_t next = brk + 1;
    if (text[brk] == '\r' && next < text.size() && text[next] == '\n') ++next;
    out.push_back({std::string(text.substr(pos, brk - pos)), std::string(text.substr(brk, next - brk))});
    pos = next;
  }
  return out;
}

// Names as the program uses them: printable, not blank-edged, nothing the line
// classifier would read as another kind of line.
std::string Name(fuzz::Input& in, bool isKey) {
  std::string name;
  for (char c : in.Text(12)) {
    const auto u = static_cast<unsigned char>(c);
    if (u > 32 && u < 127 && c != '=' && c != '[' && c != ']' && c != ';') name.push_back(c);
  }
  if (name.empty()) name = isKey ? "Key" : "System";
  return name;
}

std::string ExpectedValue(std::string_view value) {
  std::string v;
  for (char c : value) v.push_back(c == '\r' || c == '\n' ? ' ' : c);
  // Trimmed, then cut at a NUL like a C string, then trimmed again.
  v = kestrune::Trim(v);
  if (const auto nul = v.find('\0'); nul != std::string::npos) v.resize(nul);
  return kestrune::Trim(v);
}

// The (section, key) pairs worth comparing: every name that appears in the text.
std::vector<std::string> Names(const std::vector<Line>& lines, bool sections) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    const std::string t = kestrune::Trim(l.raw);
    if (t.empty() || t[0] == ';') continue;
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      if (sections) out.push_back(kestrune::Trim(t.substr(1, t.size() - 2)));
    } else if (const auto eq = t.find('='); eq != std::string::npos && !sections) {
      out.push_back(kestrune::Trim(t.substr(0, eq)));
    }
    if (out.size() > 16) break;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::string section = Name(in, false);
  const std::string key = Name(in, true);
  const std::string value = in.Text(40);
  const std::string_view text = in.Rest();

  kestrune::TIniText ini(text);
  if (ini.Text() != text) __builtin_trap();
  (void)kestrune::ReadProfileBool(ini, section, key, false);
  (void)kestrune::ReadProfileString(ini, section, key, "");

  const std::vector<Line> before = Split(text);
  const auto sections = Names(before, true);
  const auto keys = Names(before, false);
  std::vector<std::optional<std::string>> old;
  for (const auto& s : sections)
    for (const auto& k : keys) old.push_back(ini.ReadValue(s, k));

  ini.WriteString(section, key, value);
  const std::string written = ini.Text();
  const kestrune::TIniText reread(written);
  if (reread.ReadValue(section, key) != ExpectedValue(value)) __builtin_trap();

  std::size_t n = 0;
  for (const auto& s : sections)
    for (const auto& k : keys) {
      const bool same = kestrune::SameText(s, section) && kestrune::SameText(k, key);
      if (!same && reread.ReadValue(s, k) != old[n]) __builtin_trap();
      ++n;
    }

  // The writer replaces one line in place or inserts new ones; every old line
  // stays with its own line break (only a last line without one may gain one).
  const std::vector<Line> after = Split(written);
  auto kept = [&](std::size_t i, const Line& l) {
    return l.raw == before[i].raw &&
           (l.eol == before[i].eol || (i + 1 == before.size() && before[i].eol.empty()));
  };
  if (after.size() == before.size()) {
    std::size_t changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i) changed += kept(i, after[i]) ? 0 : 1;
    if (changed > 1) __builtin_trap();
  } else {
    std::size_t j = 0;
    for (std::size_t i = 0; i < before.size(); ++i, ++j) {
      while (j < after.size() && !kept(i, after[j])) ++j;
      if (j == after.size()) __builtin_trap();
    }
  }
  return 0;
}
