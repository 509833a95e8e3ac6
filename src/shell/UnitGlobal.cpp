#include "shell/UnitGlobal.h"

#include <cstring>

#include "core/Base64.h"
#include "core/IniFile.h"

namespace {
constexpr char kDefaultApplicationName[] = "KESTRUNE";
constexpr char kDefaultProductUrl[] = "http://www.kestrune.example/";
constexpr char kDefaultSSID[] = "KESTRUNE";
constexpr char kSupportMailAddress[] = "support@kestrune.example";
constexpr char kBrandingSection[] = "System";
}  // namespace

std::string ApplicationName = kDefaultApplicationName;
std::string ProductUrl = kDefaultProductUrl;
std::string DefaultSSID = kDefaultSSID;
std::string SupportMailAddress = kSupportMailAddress;

EBrandingFileError::EBrandingFileError(const std::string& path, const std::string& reason)
    : std::runtime_error("Cannot read the branding file " + path + ": " + reason), path_(path) {}

void ApplyBrandingText(const std::string& fileText) {
  // Lines joined with CR LF: the decoder skips the breaks anyway.
  const kestrune::TIniText ini(kestrune::DecodeBase64(fileText));
  ApplicationName = ini.ReadString(kBrandingSection, "APPLICATION_NAME", ApplicationName);
  ProductUrl = ini.ReadString(kBrandingSection, "PRODUCT_URL", ProductUrl);
}

void LoadBrandingFile(const std::string& appDir) {
  const std::string path = appDir + kBrandingFileName;
  std::string text;
  int err = 0;
  switch (kestrune::ReadWholeFile(path, text, &err)) {
    case kestrune::FileReadStatus::Ok:
      break;
    case kestrune::FileReadStatus::Missing:
      throw EBrandingFileError(path, "the file does not exist");
    case kestrune::FileReadStatus::Failed:
      throw EBrandingFileError(path, std::strerror(err));
  }
  ApplyBrandingText(text);
}

void ResetBrandingValues() {
  ApplicationName = kDefaultApplicationName;
  ProductUrl = kDefaultProductUrl;
  DefaultSSID = kDefaultSSID;
  SupportMailAddress = kSupportMailAddress;
}
