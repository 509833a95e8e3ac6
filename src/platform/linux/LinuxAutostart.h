#pragma once
// The Run key on Linux: each value is an XDG autostart entry
// <folder>/<value name>.desktop whose Exec line starts the value's data.
// The folder is $XDG_CONFIG_HOME/autostart (by default ~/.config/autostart),
// looked up on every open so that it follows the environment. Entries are
// replaced atomically; a folder that cannot be made or written cannot be
// opened with full access.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace kestrune::platform {

class LinuxAutostartRegistry : public IRegistry {
 public:
  // An empty folder means the one the environment names.
  explicit LinuxAutostartRegistry(std::filesystem::path folder = {});

  std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, const std::string& path, RegistryAccess access,
                                       bool create) override;

 private:
  std::filesystem::path folder_;
};

namespace autostart {

// $XDG_CONFIG_HOME/autostart, or $HOME/.config/autostart; empty when neither is usable.
std::filesystem::path DefaultFolder();

// One Exec argument by the desktop-entry rules: quoted when it holds a reserved
// character, with ", `, $ and \ escaped inside the quotes and % doubled.
std::string QuoteExecArgument(const std::string& argument);
// The escapes of a desktop-entry string value (\\, \n, \t, \r, a leading \s).
std::string EscapeValue(const std::string& text);
std::string UnescapeValue(const std::string& text);
// Splits an (unescaped) Exec value into its arguments; nullopt for an unterminated quote.
std::optional<std::vector<std::string>> SplitExec(const std::string& exec);

}  // namespace autostart

}  // namespace kestrune::platform
