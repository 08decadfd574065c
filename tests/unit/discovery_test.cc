#include "toolchain/discovery.h"

#include <gtest/gtest.h>

namespace brisko::toolchain {
namespace {

class FakeCommandSource : public platform::InstallationCommandSource {
 public:
  std::optional<std::string> ideOpenCommand() const override {
    ++reads;
    return value;
  }

  std::optional<std::string> value;
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

TEST(Discovery, ReadsTheOpenCommandOnceAndAppliesTheSelector) {
  FakeCommandSource source;
  source.value = R"("D:\PB\PureBasic.exe" "%1")";
  EXPECT_EQ(discoverInstallation(source, kFolder), "D:\\PB\\");
  EXPECT_EQ(source.reads, 1);
}

TEST(Discovery, UnreadableValueGivesEmptyResult) {
  FakeCommandSource source;
  EXPECT_EQ(discoverInstallation(source, kFolder), "");
}

}  // namespace
}  // namespace brisko::toolchain
