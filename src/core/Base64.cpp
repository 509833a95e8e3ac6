#include "core/Base64.h"

#include <array>
#include <cstdint>

namespace kestrune {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> MakeDecodeTable() {
  std::array<std::int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}

constexpr auto kDecode = MakeDecodeTable();

}  // namespace

std::string DecodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t bits = 0;
  int count = 0;  // sextets in the current group
  auto flush = [&] {
    // 2 sextets carry one byte, 3 carry two; a lone sextet carries none.
    if (count >= 2) out.push_back(static_cast<char>((bits >> ((count - 1) * 6 - 2)) & 0xFF));
    if (count >= 3) out.push_back(static_cast<char>((bits >> ((count - 2) * 6 - 4)) & 0xFF));
    bits = 0;
    count = 0;
  };
  for (const char ch : text) {
    if (ch == '=') {
      flush();
      continue;
    }
    const std::int8_t v = kDecode[static_cast<unsigned char>(ch)];
    if (v < 0) continue;
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    if (++count == 4) {
      out.push_back(static_cast<char>((bits >> 16) & 0xFF));
      out.push_back(static_cast<char>((bits >> 8) & 0xFF));
      out.push_back(static_cast<char>(bits & 0xFF));
      bits = 0;
      count = 0;
    }
  }
  flush();
  return out;
}

std::string EncodeBase64(std::string_view data, std::size_t lineLength) {
  std::string out;
  std::size_t column = 0;
  auto put = [&](char c) {
    if (lineLength != 0 && column == lineLength) {
      out += "\r\n";
      column = 0;
    }
    out.push_back(c);
    ++column;
  };
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    const std::uint32_t v = (static_cast<unsigned char>(data[i]) << 16) |
                            (static_cast<unsigned char>(data[i + 1]) << 8) |
                            static_cast<unsigned char>(data[i + 2]);
    put(kAlphabet[(v >> 18) & 63]);
    put(kAlphabet[(v >> 12) & 63]);
    put(kAlphabet[(v >> 6) & 63]);
    put(kAlphabet[v & 63]);
  }
  const std::size_t rest = data.size() - i;
  if (rest > 0) {
    std::uint32_t v = static_cast<unsigned char>(data[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(data[i + 1]) << 8;
    put(kAlphabet[(v >> 18) & 63]);
    put(kAlphabet[(v >> 12) & 63]);
    put(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
    put('=');
  }
  return out;
}

}  // namespace kestrune
