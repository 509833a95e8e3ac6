// Any bytes as Base64 text, as branding file content, and through the text
// conversions the branding values pass; encoding must round-trip.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "core/Base64.h"
#include "core/Strings.h"
#include "shell/UnitGlobal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::size_t lineLength = in.Byte() % 80;
  const std::string text(in.Rest());

  const std::string decoded = kestrune::DecodeBase64(text);
  if (decoded.size() > text.size()) __builtin_trap();
  if (kestrune::DecodeBase64(kestrune::EncodeBase64(text, lineLength)) != text) __builtin_trap();
  if (kestrune::DecodeBase64(kestrune::EncodeBase64(decoded)) != decoded) __builtin_trap();

  // Conversion replaces what is not valid once; after that it is stable.
  const std::u16string wide = kestrune::AnsiToWide(text);
  const std::string narrow = kestrune::WideToAnsi(wide);
  if (kestrune::AnsiToWide(narrow) != wide) __builtin_trap();
  if (kestrune::WideToAnsi(kestrune::AnsiToWide(narrow)) != narrow) __builtin_trap();

  ResetBrandingValues();
  ApplyBrandingText(text);
  ApplyBrandingText(kestrune::EncodeBase64(text, lineLength));
  return 0;
}
