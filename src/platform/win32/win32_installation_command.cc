// The PureBasic IDE's open command from the Windows registry, and the version class that
// chooses the key.
#include <windows.h>

#include "platform/installation_command.h"
#include "platform/win32/registry.h"
#include "platform/win32/wide_text.h"
#include "platform/windows_version.h"

namespace brisko::platform {
namespace {

// Full access, as the installation's key is opened: a key that can only be read counts as
// missing.
constexpr REGSAM kFullAccess = 0xF003F;  // KEY_ALL_ACCESS
constexpr DWORD kValueBufferBytes = 1024;

HKEY rootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::localMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::classesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::currentUser:
      break;
  }
  return HKEY_CURRENT_USER;
}

// The product type is only in the extended record, which the NT 6 releases are asked for.
std::optional<bool> isWorkstation() {
  OSVERSIONINFOEXA extended{};
  extended.dwOSVersionInfoSize = sizeof extended;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) return std::nullopt;
  return extended.wProductType == VER_NT_WORKSTATION;
}

}  // namespace

int windowsVersionClass() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return kOtherWindowsVersion;
  const int platformId = static_cast<int>(info.dwPlatformId);
  const int major = static_cast<int>(info.dwMajorVersion);
  const int minor = static_cast<int>(info.dwMinorVersion);
  std::optional<bool> workstation;
  if (platformId == kPlatformNt && major == 6) workstation = isWorkstation();
  return classifyWindowsVersion(platformId, major, minor, workstation);
}

namespace {

class RegistryInstallationCommand : public InstallationCommandSource {
 public:
  std::optional<std::string> ideOpenCommand() const override {
    const std::optional<RegistryKey> key = ideCommandKeyFor(windowsVersionClass());
    if (!key) return std::nullopt;
    return readRegistryDefaultValue(key->root, key->subKey);
  }
};

}  // namespace

std::optional<std::string> readRegistryDefaultValue(RegistryRoot root, const std::string& subKey) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(rootKey(root), win32::widen(subKey).c_str(), 0, kFullAccess, &key) !=
          ERROR_SUCCESS ||
      key == nullptr) {
    return std::nullopt;
  }
  // The default value, whatever its type, as UTF-16 text up to its terminating zero. A
  // value larger than the buffer cannot be read.
  wchar_t buffer[kValueBufferBytes / sizeof(wchar_t)] = {};
  DWORD type = 0;
  DWORD size = kValueBufferBytes;
  const LSTATUS status =
      RegQueryValueExW(key, L"", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  const std::size_t units = size / sizeof(wchar_t);
  std::size_t length = 0;
  while (length < units && buffer[length] != L'\0') ++length;
  return win32::narrow(std::wstring_view(buffer, length));
}

std::unique_ptr<InstallationCommandSource> makeSystemInstallationCommandSource() {
  return std::make_unique<RegistryInstallationCommand>();
}

std::string ideOpenCommandPlace() {
  // Every version class has its key; the current releases' key stands in should one not.
  const std::optional<RegistryKey> key = ideCommandKeyFor(windowsVersionClass());
  return registryKeyName(key.value_or(*ideCommandKeyFor(kOtherWindowsVersion)));
}

}  // namespace brisko::platform
