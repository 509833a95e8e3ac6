#pragma once
// Base64 in the MIME manner: the decoder skips everything outside the alphabet
// (line breaks, blanks, stray bytes), so wrapped and unwrapped text decode alike.
#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune {

// "=" ends the current group: its complete bytes are kept and decoding goes on
// with a fresh group. A trailing partial group keeps its complete bytes too.
std::string DecodeBase64(std::string_view text);

// lineLength 0 gives one line; otherwise CR LF after every lineLength characters.
std::string EncodeBase64(std::string_view data, std::size_t lineLength = 0);

}  // namespace kestrune
