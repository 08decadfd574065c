#include "platform/windows_version.h"

namespace brisko::platform {

int classifyWindowsVersion(int platformId, int major, int minor, std::optional<bool> workstation) {
  if (platformId == kPlatform9x) {
    if (minor == 0) return 10;
    if (minor == 10) return 30;
    if (minor == 90) return 40;
    return kOtherWindowsVersion;
  }
  if (platformId == kPlatformNt) {
    if (major == 3) return 5;
    if (major == 4) return 20;
    if (major == 5) {
      if (minor == 0) return 50;
      if (minor == 1) return 60;
      if (minor == 2) return 65;
      return kOtherWindowsVersion;
    }
    if (major == 6) return workstation.value_or(true) ? 70 : 75;
  }
  return kOtherWindowsVersion;
}

std::optional<RegistryKey> ideCommandKeyFor(int versionClass) {
  switch (versionClass) {
    case 10:
    case 30:
    case 40:
      return RegistryKey{RegistryRoot::localMachine,
                         "Software\\Classes\\PureBasic.exe\\shell\\open\\command"};
    case 5:
    case 20:
    case 50:
    case 60:
    case 65:
      return RegistryKey{RegistryRoot::classesRoot,
                         "Applications\\PureBasic.exe\\shell\\open\\command"};
    case 70:
    case 75:
    case 100:
      return RegistryKey{RegistryRoot::currentUser,
                         "Software\\Classes\\PureBasic.exe\\shell\\open\\command"};
    default:
      return std::nullopt;
  }
}

std::string registryKeyName(const RegistryKey& key) {
  const char* root = "HKEY_CURRENT_USER";
  switch (key.root) {
    case RegistryRoot::localMachine:
      root = "HKEY_LOCAL_MACHINE";
      break;
    case RegistryRoot::classesRoot:
      root = "HKEY_CLASSES_ROOT";
      break;
    case RegistryRoot::currentUser:
      break;
  }
  return std::string(root) + "\\" + key.subKey;
}

}  // namespace brisko::platform
