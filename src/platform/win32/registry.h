// Reading the registry (Windows only).
#pragma once

#include <optional>
#include <string>

#include "platform/windows_version.h"

namespace brisko::platform {

// The default value of the key below root, opened with full access (a key that can only be
// read counts as missing), whatever its type, as text up to its first zero, read into a
// 1,024-byte buffer; nothing when the key cannot be opened or the value cannot be read.
std::optional<std::string> readRegistryDefaultValue(RegistryRoot root, const std::string& subKey);

// The version class of the running Windows release (see classifyWindowsVersion).
int windowsVersionClass();

}  // namespace brisko::platform
