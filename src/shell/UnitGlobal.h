#pragma once
// The product's names and addresses. ApplicationName and ProductUrl may be
// rebranded by update.dll beside the executable; the rest is compiled in.
#include <stdexcept>
#include <string>

extern std::string ApplicationName;
extern std::string ProductUrl;
extern std::string DefaultSSID;
extern std::string SupportMailAddress;

// Compiled-in texts that never follow the branding file.
inline constexpr char kApplicationTitle[] = "KESTRUNE";
inline constexpr char kAutoRunValueName[] = "KESTRUNE";
inline constexpr char kBrandingFileName[] = "update.dll";

// The branding file is missing or cannot be read; start-up cannot go on.
class EBrandingFileError : public std::runtime_error {
 public:
  EBrandingFileError(const std::string& path, const std::string& reason);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Reads appDir + "update.dll" (appDir ends with a separator). Throws
// EBrandingFileError when the file cannot be read; content that is empty, not
// Base64 or without the keys leaves the values as they are.
void LoadBrandingFile(const std::string& appDir);

// The branding file's content (Base64 of an INI text) applied to the values.
void ApplyBrandingText(const std::string& fileText);

// Back to the compiled-in values, for a test that loads several files.
void ResetBrandingValues();
