// The Windows version class: one number naming the Windows release the program runs on, as
// the version query reports it. It picks the registry key that holds the PureBasic IDE's
// open command.
#pragma once

#include <optional>
#include <string>

namespace brisko::platform {

// Values of the version record's platform field.
inline constexpr int kPlatform9x = 1;  // VER_PLATFORM_WIN32_WINDOWS
inline constexpr int kPlatformNt = 2;  // VER_PLATFORM_WIN32_NT

// The class that queries yield when they fail, and for any release not named below.
inline constexpr int kOtherWindowsVersion = 100;

// The version class from the fields of the version record: 10, 30, 40 for Windows 95, 98
// and ME; 5, 20, 50, 60, 65 for NT 3.51, NT 4, 2000, XP and Server 2003; 70 and 75 for an
// NT 6.x workstation and server; 100 otherwise. workstation is the product type of the
// extended record, nothing when it could not be obtained (which counts as a workstation).
int classifyWindowsVersion(int platformId, int major, int minor, std::optional<bool> workstation);

enum class RegistryRoot { localMachine, classesRoot, currentUser };

// The registry key that holds the IDE's open command.
struct RegistryKey {
  RegistryRoot root;
  std::string subKey;
};

// The key a Windows version class consults; nothing for a class in no row of the table.
std::optional<RegistryKey> ideCommandKeyFor(int versionClass);

// The key's full name as the registry editor shows it, its root spelled out
// (HKEY_CURRENT_USER\Software\Classes\PureBasic.exe\shell\open\command).
std::string registryKeyName(const RegistryKey& key);

}  // namespace brisko::platform
