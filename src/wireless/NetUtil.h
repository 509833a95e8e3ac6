#pragma once
// Small system helpers shared by several parts of the program. None keeps state.
#include <string>

#include "core/StringList.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

// Free functions at global scope, like the rest of the program's units.

// "win2000", "winxp", "win2003", "vista", "win7" or empty, followed by "64"
// when a 32-bit process runs on a 64-bit system.
std::string GetWindowsVersionName(kestrune::platform::ISystemInfo& system);

// "major.minor.release.build", or empty when the file has no readable version.
std::string GetFileVersionText(kestrune::platform::ISystemInfo& system, const std::string& fileName);

// The start-with-the-system value Name (data Value) under the Run key. When the
// key cannot be opened nothing happens; a value that cannot be written after
// the key opened throws "Failed to set data for '%s'".
void SetAutoRun(kestrune::platform::IRegistry& registry, const std::string& value, const std::string& name);
// Deletes the value; a missing value or key is no error.
void RemoveAutoRun(kestrune::platform::IRegistry& registry, const std::string& name);

// FreeListObjects comes with the string list.
using kestrune::FreeListObjects;
