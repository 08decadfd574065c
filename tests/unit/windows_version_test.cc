#include "platform/windows_version.h"

#include <gtest/gtest.h>

namespace brisko::platform {
namespace {

// Which registry key a Windows release, as its version query describes it, consults for the
// IDE's open command: exactly one, never another row's.
TEST(WindowsVersion, EachReleaseConsultsItsOwnKey) {
  const std::string machineKey = "Software\\Classes\\PureBasic.exe\\shell\\open\\command";
  const std::string applicationsKey = "Applications\\PureBasic.exe\\shell\\open\\command";
  struct Release {
    const char* name;
    int platform, major, minor;
    std::optional<bool> workstation;
    RegistryRoot root;
    const std::string& subKey;
  };
  const Release releases[] = {
      {"Windows 95", kPlatform9x, 4, 0, std::nullopt, RegistryRoot::localMachine, machineKey},
      {"Windows 98", kPlatform9x, 4, 10, std::nullopt, RegistryRoot::localMachine, machineKey},
      {"Windows ME", kPlatform9x, 4, 90, std::nullopt, RegistryRoot::localMachine, machineKey},
      {"an unknown 9x", kPlatform9x, 4, 5, std::nullopt, RegistryRoot::currentUser, machineKey},
      {"NT 3.51", kPlatformNt, 3, 51, std::nullopt, RegistryRoot::classesRoot, applicationsKey},
      {"NT 4", kPlatformNt, 4, 0, std::nullopt, RegistryRoot::classesRoot, applicationsKey},
      {"Windows 2000", kPlatformNt, 5, 0, std::nullopt, RegistryRoot::classesRoot, applicationsKey},
      {"Windows XP", kPlatformNt, 5, 1, std::nullopt, RegistryRoot::classesRoot, applicationsKey},
      {"Server 2003", kPlatformNt, 5, 2, std::nullopt, RegistryRoot::classesRoot, applicationsKey},
      {"NT 5.3", kPlatformNt, 5, 3, std::nullopt, RegistryRoot::currentUser, machineKey},
      {"Vista", kPlatformNt, 6, 0, true, RegistryRoot::currentUser, machineKey},
      {"Server 2008", kPlatformNt, 6, 0, false, RegistryRoot::currentUser, machineKey},
      {"NT 6 of unknown type", kPlatformNt, 6, 3, std::nullopt, RegistryRoot::currentUser,
       machineKey},
      {"Windows 10", kPlatformNt, 10, 0, true, RegistryRoot::currentUser, machineKey},
      {"Win32s", 0, 3, 10, std::nullopt, RegistryRoot::currentUser, machineKey},
  };
  for (const Release& release : releases) {
    const auto key = ideCommandKeyFor(classifyWindowsVersion(release.platform, release.major,
                                                             release.minor, release.workstation));
    ASSERT_TRUE(key) << release.name;
    EXPECT_EQ(key->root, release.root) << release.name;
    EXPECT_EQ(key->subKey, release.subKey) << release.name;
  }
  EXPECT_FALSE(ideCommandKeyFor(0));
  // The names the user is told, with the root spelled out.
  EXPECT_EQ(registryKeyName(*ideCommandKeyFor(kWindowsXp)),
            "HKEY_CLASSES_ROOT\\Applications\\PureBasic.exe\\shell\\open\\command");
  EXPECT_TRUE(
      registryKeyName(*ideCommandKeyFor(kWindows95)).starts_with("HKEY_LOCAL_MACHINE\\Software"));
}

}  // namespace
}  // namespace brisko::platform
