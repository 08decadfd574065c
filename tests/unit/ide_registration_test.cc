#include "toolchain/ide_registration.h"

#include <gtest/gtest.h>

#include "english_texts.h"
#include "fakes.h"
#include "language/preferences.h"
#include "language/text_ids.h"
#include "memory_file_system.h"
#include "platform/code_pages.h"

namespace brisko::toolchain {
namespace {

using app::failed;
using app::ok;
using language::TextId;

constexpr const char* kProgram = "/opt/brisko/bin/brisko";

class IdeRegistrationTest : public ::testing::Test {
 protected:
  IdeRegistrationTest() {
    feedback.attachTexts(&testing::englishTexts());
    files.addFolder("/pb/Preferences");
  }

  app::Outcome registerAs(const std::string& program) {
    return registerIdeTool(files, feedback, probe, ide, program);
  }
  std::string toolsFile() const { return files.readFile(ide.toolsFile).value_or("<missing>"); }

  platform::MemoryFileSystem files;
  testing::RecordingFeedback feedback;
  testing::FakeIdeProbe probe;
  IdeLocation ide{"/pb/Preferences/Tools.prefs", "/pb/PureBasic.exe"};
};

TEST_F(IdeRegistrationTest, MissingFileIsCreatedAndGetsToolZero) {
  EXPECT_EQ(registerAs(kProgram), ok());
  EXPECT_EQ(feedback.messages.at(0).title + "|" + feedback.messages[0].text,
            "brisko (PB --> .obj)|brisko is now tool 1 of the PureBasic IDE "
            "(\"/pb/Preferences/Tools.prefs\").");
  EXPECT_EQ(probe.asked, std::vector<std::string>{"/pb/PureBasic.exe"});
  EXPECT_EQ(toolsFile(),
            "; PureBasic IDE ToolsMenu Configuration\r\n"
            "; \r\n"
            "[ToolsInfo]\r\n"
            "ToolCount = 1\r\n"
            ";\r\n"
            ";\r\n"
            "[Tool_0]\r\n"
            "Command = /opt/brisko/bin/brisko\r\n"
            "Arguments = \"%FILE\"\r\n"
            "WorkingDir = \r\n"
            "MenuItemName = brisko\r\n"
            "Shortcut = 0\r\n"
            "ConfigLine = \r\n"
            "Trigger = 0\r\n"
            "Flags = 0\r\n"
            "ReloadSource = 0\r\n"
            "HideEditor = 0\r\n"
            "HideFromMenu = 0\r\n"
            "SourceSpecific = 0\r\n"
            "Deactivate = 0\r\n");
}

TEST_F(IdeRegistrationTest, ExistingToolsAreKeptAndCounted) {
  files.addFile(ide.toolsFile,
                "[ToolsInfo]\r\nToolCount = 3\r\n"
                "[Tool_0]\r\nCommand = /a\r\n[Tool_1]\r\nCommand = /b\r\n[Tool_2]\r\n");
  EXPECT_EQ(registerAs(kProgram), ok());
  EXPECT_EQ(feedback.messages.back().text,
            "brisko is now tool 4 of the PureBasic IDE (\"/pb/Preferences/Tools.prefs\").");
  const std::string content = toolsFile();
  EXPECT_TRUE(
      content.starts_with("[ToolsInfo]\r\nToolCount = 4\r\n"
                          "[Tool_0]\r\nCommand = /a\r\n[Tool_1]\r\nCommand = /b\r\n"
                          "[Tool_2]\r\n;\r\n;\r\n[Tool_3]\r\nCommand = " +
                          std::string(kProgram) + "\r\n"))
      << content;
  EXPECT_TRUE(content.ends_with("Deactivate = 0\r\n"));
}

TEST_F(IdeRegistrationTest, OnlyTheExactPathCountsAsRegistered) {
  ASSERT_EQ(registerAs(kProgram), ok());
  const std::string once = toolsFile();
  EXPECT_EQ(registerAs(kProgram), failed(TextId::alreadyRegistered));
  EXPECT_EQ(feedback.messages.back().text,
            "brisko is already registered.\n(/pb/Preferences/Tools.prefs)");
  EXPECT_EQ(toolsFile(), once);
  EXPECT_EQ(probe.asked.size(), 1u);  // the IDE is asked about only when not registered

  // A copy elsewhere, and a path differing only in letter case, are further tools.
  EXPECT_EQ(registerAs("/home/me/brisko"), ok());
  EXPECT_EQ(registerAs("/OPT/brisko/bin/brisko"), ok());
  const auto tools = language::Preferences::parse(toolsFile());
  EXPECT_EQ(tools.findGroup("ToolsInfo")->find("ToolCount"), "3");
  EXPECT_EQ(tools.findGroup("Tool_2")->find("Command"), "/OPT/brisko/bin/brisko");
}

TEST_F(IdeRegistrationTest, RunningIdeLeavesTheFileAlone) {
  const std::string original = "[ToolsInfo]\r\nToolCount = 0\r\n";
  files.addFile(ide.toolsFile, original);
  probe.running = true;
  EXPECT_EQ(registerAs(kProgram), failed(TextId::pbIdeRunning));
  EXPECT_EQ(feedback.messages.back().text, "You need to close the Purebasic IDE first.");
  EXPECT_EQ(toolsFile(), original);

  ide.toolsFile = "/pb/Preferences/New.prefs";  // a missing file is not created either
  EXPECT_EQ(registerAs(kProgram), failed(TextId::pbIdeRunning));
  EXPECT_FALSE(files.exists(ide.toolsFile));
}

TEST_F(IdeRegistrationTest, BlockIsAppendedInTheFilesEncoding) {
  const std::string program = "/opt/br\xC3\xAFsko/brisko";  // a non-ASCII "ï"
  const std::string text = "[ToolsInfo]\r\nToolCount = 0\r\n";
  for (const std::string& bytes :
       {"\xFF\xFE" + platform::utf8ToUtf16le(text), "\xEF\xBB\xBF" + text, text}) {
    files.addFile(ide.toolsFile, bytes);
    ASSERT_EQ(registerAs(program), ok());
    const std::string content = toolsFile();
    const auto tools = language::Preferences::parse(content);
    EXPECT_EQ(tools.encoding(), language::Preferences::parse(bytes).encoding());
    const auto* tool = tools.findGroup("Tool_0");
    ASSERT_NE(tool, nullptr) << content;
    EXPECT_EQ(tool->find("Command"), program);
    EXPECT_EQ(tool->find("Deactivate"), "0");
    EXPECT_EQ(tools.findGroup("ToolsInfo")->find("ToolCount"), "1");
  }
  EXPECT_TRUE(toolsFile().find("/opt/br\xEFsko/brisko") != std::string::npos);  // Windows-1252
}

TEST_F(IdeRegistrationTest, UnusableToolsFileIsReported) {
  files.addFolder(ide.toolsFile);
  EXPECT_EQ(registerAs(kProgram), failed(TextId::unablePbIdeTool));
  EXPECT_EQ(feedback.messages.back().text,
            "Unable to register brisko as a Purebasic IDE tool.\n(/pb/Preferences/Tools.prefs)");
  EXPECT_TRUE(files.isFolder(ide.toolsFile));

  EXPECT_EQ(registerAs(""), failed(TextId::unablePbIdeTool));  // the program's path is unknown
  ide.toolsFile = "";                                          // the open command names none
  EXPECT_EQ(registerAs(kProgram), failed(TextId::unablePbIdeTool));
  EXPECT_EQ(feedback.messages.back().text, "Unable to register brisko as a Purebasic IDE tool.");

  ide.toolsFile = "/pb/Preferences/Full.prefs";
  files.failWrites(ide.toolsFile);
  EXPECT_EQ(registerAs(kProgram), failed(TextId::unablePbIdeTool));
  EXPECT_EQ(feedback.messages.size(), 4u);
}

}  // namespace
}  // namespace brisko::toolchain
