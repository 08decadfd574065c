#include "platform/windows_version.h"

#include <gtest/gtest.h>

namespace brisko::platform {
namespace {

TEST(WindowsVersion, NineXFamilyIsToldApartByMinorVersion) {
  EXPECT_EQ(classifyWindowsVersion(kPlatform9x, 4, 0, std::nullopt), 10);
  EXPECT_EQ(classifyWindowsVersion(kPlatform9x, 4, 10, std::nullopt), 30);
  EXPECT_EQ(classifyWindowsVersion(kPlatform9x, 4, 90, std::nullopt), 40);
  EXPECT_EQ(classifyWindowsVersion(kPlatform9x, 4, 5, std::nullopt), 100);
}

TEST(WindowsVersion, NtFamilyUpToServer2003) {
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 3, 51, std::nullopt), 5);
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 4, 0, std::nullopt), 20);
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 5, 0, std::nullopt), 50);
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 5, 1, std::nullopt), 60);
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 5, 2, std::nullopt), 65);
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 5, 3, std::nullopt), 100);
}

TEST(WindowsVersion, Nt6IsSplitByProductTypeAndDefaultsToWorkstation) {
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 6, 1, true), 70);
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 6, 0, false), 75);
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 6, 3, false), 75);
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 6, 0, std::nullopt), 70);
}

TEST(WindowsVersion, EverythingElseIsOther) {
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 10, 0, true), kOtherWindowsVersion);
  EXPECT_EQ(classifyWindowsVersion(kPlatformNt, 10, 0, false), kOtherWindowsVersion);
  EXPECT_EQ(classifyWindowsVersion(0, 3, 10, std::nullopt), kOtherWindowsVersion);  // Win32s
  EXPECT_EQ(classifyWindowsVersion(3, 6, 1, true), kOtherWindowsVersion);           // CE
}

TEST(WindowsVersion, EachVersionClassConsultsExactlyOneKey) {
  for (int c : {10, 30, 40}) {
    auto key = ideCommandKeyFor(c);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->root, RegistryRoot::localMachine);
    EXPECT_EQ(key->subKey, "Software\\Classes\\PureBasic.exe\\shell\\open\\command");
  }
  for (int c : {5, 20, 50, 60, 65}) {
    auto key = ideCommandKeyFor(c);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->root, RegistryRoot::classesRoot);
    EXPECT_EQ(key->subKey, "Applications\\PureBasic.exe\\shell\\open\\command");
  }
  for (int c : {70, 75, 100}) {
    auto key = ideCommandKeyFor(c);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->root, RegistryRoot::currentUser);
  }
  // XP's key, which the installer of its time wrote.
  EXPECT_EQ(ideCommandKeyFor(60)->subKey, "Applications\\PureBasic.exe\\shell\\open\\command");
  EXPECT_FALSE(ideCommandKeyFor(0));
  EXPECT_FALSE(ideCommandKeyFor(66));
  // The names the user is told, with the root spelled out.
  EXPECT_EQ(registryKeyName(*ideCommandKeyFor(60)),
            "HKEY_CLASSES_ROOT\\Applications\\PureBasic.exe\\shell\\open\\command");
  EXPECT_TRUE(registryKeyName(*ideCommandKeyFor(10)).starts_with("HKEY_LOCAL_MACHINE\\Software"));
}

}  // namespace
}  // namespace brisko::platform
