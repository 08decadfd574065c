#include "toolchain/discovery.h"

#include <gtest/gtest.h>

namespace brisko::toolchain {
namespace {

class FakeCommandSource : public platform::InstallationCommandSource {
 public:
  int versionClass() const override { return versionClass_; }
  std::optional<std::string> readCommand(platform::RegistryRoot root,
                                         const std::string& subKey) const override {
    askedRoot = root;
    askedKey = subKey;
    ++reads;
    return value;
  }

  int versionClass_ = 100;
  std::optional<std::string> value;
  mutable platform::RegistryRoot askedRoot{};
  mutable std::string askedKey;
  mutable int reads = 0;
};

constexpr CommandPart kFolder = CommandPart::installationFolder;
constexpr CommandPart kToolsFile = CommandPart::toolsFile;

TEST(DiscoverySelectors, PicksFolderOfFirstQuotedPathAndLaterQuotedItems) {
  const std::string command =
      R"("C:\Program Files\PureBasic\PureBasic.exe" "%1" "a b" "" "C:\Users\me\Tools.prefs")";
  EXPECT_EQ(selectFromCommand(command, kFolder), "C:\\Program Files\\PureBasic\\");
  // The tools file is the fifth quoted item, counted from the program, not the placeholder.
  EXPECT_EQ(selectFromCommand(command, kToolsFile), "C:\\Users\\me\\Tools.prefs");
  EXPECT_EQ(selectFromCommand(command, CommandPart::whole), command);
}

TEST(DiscoverySelectors, IdeCommandWithDocumentPlaceholderHasNoToolsFile) {
  const std::string command = R"("C:\PureBasic\PureBasic.exe" "%1")";
  EXPECT_EQ(selectFromCommand(command, kFolder), "C:\\PureBasic\\");
  EXPECT_EQ(selectFromCommand(command, kToolsFile), "");
}

TEST(DiscoverySelectors, CommandWithoutQuotesYieldsNothing) {
  const std::string command = R"(C:\PureBasic\PureBasic.exe %1)";
  EXPECT_EQ(selectFromCommand(command, kFolder), "");
  EXPECT_EQ(selectFromCommand(command, kToolsFile), "");
  EXPECT_EQ(selectFromCommand(command, CommandPart::whole), command);
}

TEST(DiscoverySelectors, FolderPartAcceptsForwardSlashesAndBareNames) {
  EXPECT_EQ(selectFromCommand(R"("/opt/pb/PureBasic.exe" "%1")", kFolder), "/opt/pb/");
  EXPECT_EQ(selectFromCommand(R"("PureBasic.exe" "%1")", kFolder), "");
}

TEST(DiscoveryKeys, EachVersionClassConsultsExactlyOneKey) {
  using platform::RegistryRoot;
  for (int c : {10, 30, 40}) {
    auto key = commandKeyFor(c);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->root, RegistryRoot::localMachine);
    EXPECT_EQ(key->subKey, "Software\\Classes\\PureBasic.exe\\shell\\open\\command");
  }
  for (int c : {5, 20, 50, 60, 65}) {
    auto key = commandKeyFor(c);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->root, RegistryRoot::classesRoot);
    EXPECT_EQ(key->subKey, "Applications\\PureBasic.exe\\shell\\open\\command");
  }
  for (int c : {70, 75, 100}) {
    auto key = commandKeyFor(c);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->root, RegistryRoot::currentUser);
  }
  EXPECT_FALSE(commandKeyFor(0));
  EXPECT_FALSE(commandKeyFor(66));
}

TEST(Discovery, XpReadsOnlyTheApplicationsKeyAndAppliesTheSelector) {
  FakeCommandSource source;
  source.versionClass_ = 60;
  source.value = R"("D:\PB\PureBasic.exe" "%1")";
  EXPECT_EQ(discoverInstallation(source, kFolder), "D:\\PB\\");
  EXPECT_EQ(source.reads, 1);
  EXPECT_EQ(source.askedRoot, platform::RegistryRoot::classesRoot);
  EXPECT_EQ(source.askedKey, "Applications\\PureBasic.exe\\shell\\open\\command");
}

TEST(Discovery, UnreadableValueOrUnknownClassGivesEmptyResult) {
  FakeCommandSource source;
  EXPECT_EQ(discoverInstallation(source, kFolder), "");
  source.versionClass_ = 66;
  source.value = R"("D:\PB\PureBasic.exe")";
  EXPECT_EQ(discoverInstallation(source, kFolder), "");
  EXPECT_EQ(source.reads, 1);  // only the first call had a key to read
}

}  // namespace
}  // namespace brisko::toolchain
