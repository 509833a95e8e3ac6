#pragma once
// 8-bit text is the system code page (UTF-8 here); UTF-16 is only used where the
// wireless library and the sharing objects want it.
#include <string>
#include <string_view>

namespace kestrune {

// Invalid UTF-8 sequences become U+FFFD.
std::u16string AnsiToWide(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string WideToAnsi(std::u16string_view text);

// Removes leading and trailing characters with codes up to 32.
std::string Trim(std::string_view text);
std::u16string Trim(std::u16string_view text);

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);  // ASCII case-insensitive

}  // namespace kestrune
