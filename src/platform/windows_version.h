// The Windows version class: one number naming the Windows release the program runs on, as
// the version query reports it. It picks the registry key that holds the PureBasic IDE's
// open command.
#pragma once

#include <optional>
#include <string>

namespace brisko::platform {

// Values of the version record's platform field: the Windows 95 family and the NT family.
inline constexpr int kPlatform9x = 1;
inline constexpr int kPlatformNt = 2;

// The version classes.
enum WindowsVersionClass : int {
  kWindowsNt351 = 5,
  kWindows95 = 10,
  kWindowsNt4 = 20,
  kWindows98 = 30,
  kWindowsMe = 40,
  kWindows2000 = 50,
  kWindowsXp = 60,
  kWindowsServer2003 = 65,
  kWindowsNt6Workstation = 70,  // Vista and later desktop releases of NT 6
  kWindowsNt6Server = 75,       // Server 2008 and later server releases of NT 6
  // Any release not named above, and what a failed query yields.
  kOtherWindowsVersion = 100,
};

// The version class from the fields of the version record. workstation is the product type of
// the extended record, nothing when it could not be obtained (which counts as a workstation).
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
