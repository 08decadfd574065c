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

TEST(DiscoverySelectors, PicksFolderOfFirstQuotedPathAndLaterQuotedItems) {
  const std::string command =
      R"("C:\Program Files\PureBasic\PureBasic.exe" "%1" "a b" "" "C:\Users\me\Tools.prefs")";
  EXPECT_EQ(selectFromCommand(command, 0), "C:\\Program Files\\PureBasic\\");
  // Selectors 1 and 2 take the third and fourth quoted items, not the document placeholder.
  EXPECT_EQ(selectFromCommand(command, 1), "a b");
  EXPECT_EQ(selectFromCommand(command, 2), "");
  EXPECT_EQ(selectFromCommand(command, 3), "C:\\Users\\me\\Tools.prefs");
  EXPECT_EQ(selectFromCommand(command, 7), command);
}

TEST(DiscoverySelectors, IdeCommandWithDocumentPlaceholderHasNoToolsFile) {
  const std::string command = R"("C:\PureBasic\PureBasic.exe" "%1")";
  EXPECT_EQ(selectFromCommand(command, 0), "C:\\PureBasic\\");
  EXPECT_EQ(selectFromCommand(command, 3), "");
}

TEST(DiscoverySelectors, CommandWithoutQuotesYieldsNothing) {
  const std::string command = R"(C:\PureBasic\PureBasic.exe %1)";
  for (int selector = 0; selector <= 3; ++selector) {
    EXPECT_EQ(selectFromCommand(command, selector), "") << selector;
  }
  EXPECT_EQ(selectFromCommand(command, 4), command);
}

TEST(DiscoverySelectors, FolderPartAcceptsForwardSlashesAndBareNames) {
  EXPECT_EQ(selectFromCommand(R"("/opt/pb/PureBasic.exe" "%1")", 0), "/opt/pb/");
  EXPECT_EQ(selectFromCommand(R"("PureBasic.exe" "%1")", 0), "");
}

TEST(Discovery, ReadsTheOpenCommandOnceAndAppliesTheSelector) {
  FakeCommandSource source;
  source.value = R"("D:\PB\PureBasic.exe" "%1")";
  EXPECT_EQ(discoverInstallation(source, 0), "D:\\PB\\");
  EXPECT_EQ(source.reads, 1);
}

TEST(Discovery, UnreadableValueGivesEmptyResult) {
  FakeCommandSource source;
  EXPECT_EQ(discoverInstallation(source, 0), "");
}

}  // namespace
}  // namespace brisko::toolchain
