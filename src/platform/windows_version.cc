#include "platform/windows_version.h"

namespace brisko::platform {

int classifyWindowsVersion(int platformId, int major, int minor, std::optional<bool> workstation) {
  if (platformId == kPlatform9x) {
    if (minor == 0) return kWindows95;
    if (minor == 10) return kWindows98;
    if (minor == 90) return kWindowsMe;
    return kOtherWindowsVersion;
  }
  if (platformId == kPlatformNt) {
    if (major == 3) return kWindowsNt351;
    if (major == 4) return kWindowsNt4;
    if (major == 5) {
      if (minor == 0) return kWindows2000;
      if (minor == 1) return kWindowsXp;
      if (minor == 2) return kWindowsServer2003;
      return kOtherWindowsVersion;
    }
    if (major == 6) return workstation.value_or(true) ? kWindowsNt6Workstation : kWindowsNt6Server;
  }
  return kOtherWindowsVersion;
}

std::optional<RegistryKey> ideCommandKeyFor(int versionClass) {
  switch (versionClass) {
    case kWindows95:
    case kWindows98:
    case kWindowsMe:
      return RegistryKey{RegistryRoot::localMachine,
                         "Software\\Classes\\PureBasic.exe\\shell\\open\\command"};
    case kWindowsNt351:
    case kWindowsNt4:
    case kWindows2000:
    case kWindowsXp:
    case kWindowsServer2003:
      return RegistryKey{RegistryRoot::classesRoot,
                         "Applications\\PureBasic.exe\\shell\\open\\command"};
    case kWindowsNt6Workstation:
    case kWindowsNt6Server:
    case kOtherWindowsVersion:
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
