#include "cli/console_app.h"

#include <gtest/gtest.h>

#include "fakes.h"
#include "memory_file_system.h"

namespace brisko::cli {
namespace {

class ConsoleAppTest : public ::testing::Test {
 protected:
  ConsoleAppTest() {
    files.addFolder(temp.folder);
    files.addFile("/pb/compilers/PBcompiler.exe", "MZ");
    files.addFile("/pb/compilers/fasm.exe", "MZ");
    files.addFile("/pb/compilers/polib.exe", "MZ");
    files.addFile("/work/src/demo.pb", "x = 1\r\n");
    command.command = R"("/pb/PureBasic.exe" "%1")";
    usage = std::tmpfile();
    errors = std::tmpfile();
  }
  ~ConsoleAppTest() override {
    std::fclose(usage);
    std::fclose(errors);
  }

  int run(const std::vector<std::string>& arguments) {
    const platform::Platform platform{files, launcher, clock, environment, temp, command, ide};
    return runConsole(arguments, platform, feedback, usage, errors);
  }

  static std::string contentOf(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    return text;
  }

  platform::MemoryFileSystem files;
  testing::ScriptedLauncher launcher;
  testing::FixedClock clock;
  testing::FakeEnvironment environment;
  testing::FixedTempFolder temp;
  testing::FakeInstallationCommand command;
  testing::RecordingFeedback feedback;
  testing::FakeIdeProbe ide;
  std::FILE* usage;
  std::FILE* errors;
};

TEST_F(ConsoleAppTest, CheckRunsTheCompilerOnTheTrimmedAbsoluteSource) {
  launcher.scripts.push_back({"", "", 0});
  environment.current = "/work/";
  EXPECT_EQ(run({"check", "  src/demo.pb ", "--threadsafe"}), kExitSuccess);
  ASSERT_EQ(launcher.started.size(), 1u);
  EXPECT_EQ(
      launcher.started[0].commandLine,
      R"("/pb/compilers/PBcompiler.exe" "/work/src/demo.pb" /EXE "/tmp/brisko-test/briskoSourceCompilation.exe" /THREAD)");
  EXPECT_EQ(feedback.statuses.back(), "Status = awaiting instructions");
}

TEST_F(ConsoleAppTest, FailedCheckAndFailedStartUpExitWithOne) {
  launcher.scripts.push_back({"Error: Line 1 - Syntax error.\r\n", "", 1});
  EXPECT_EQ(run({"check", "/work/src/demo.pb"}), kExitFailure);
  EXPECT_EQ(feedback.messages.back().text,
            "The compiler reported an error.\n\nError: Line 1 - Syntax error.");

  EXPECT_EQ(run({"check", "/work/src/missing.pb"}), kExitFailure);
  EXPECT_EQ(feedback.messages.back().text, "File not found.\n(/work/src/missing.pb)");

  EXPECT_EQ(run({"--pb-folder", "/nowhere", "check", "/work/src/demo.pb"}), kExitFailure);
  EXPECT_TRUE(feedback.messages.back().text.starts_with("Cannot locate the Purebasic compiler.\n"));
  EXPECT_EQ(launcher.started.size(), 1u);
}

TEST_F(ConsoleAppTest, UsageErrorsExitWithTwoBeforeAnythingRuns) {
  EXPECT_EQ(run({"check", "   "}), kExitUsage);
  EXPECT_EQ(run({"frobnicate", "x.pb"}), kExitUsage);
  EXPECT_NE(contentOf(errors).find("usage: brisko"), std::string::npos);
  EXPECT_TRUE(feedback.messages.empty());
  EXPECT_TRUE(launcher.started.empty());
  EXPECT_EQ(run({"--help"}), kExitSuccess);
  EXPECT_NE(contentOf(usage).find("register-ide"), std::string::npos);
}

TEST_F(ConsoleAppTest, ConvertTakesTheDestinationRelativeToTheCurrentFolder) {
  files.addFolder("/work/out");
  launcher.scripts.push_back({"", "", 0});  // the compiler writes no listing
  EXPECT_EQ(run({"convert", "src/demo.pb", "--dest", "out", "--lib"}), kExitFailure);
  ASSERT_EQ(launcher.started.size(), 1u);
  EXPECT_EQ(launcher.started[0].workingFolder, "/work/out/Source/");
  EXPECT_EQ(feedback.messages.back().text, "The compiler wrote no assembly listing.");
  EXPECT_TRUE(files.isFolder("/work/out/Logs"));
  EXPECT_EQ(feedback.statuses.back(), "Status = awaiting instructions");
}

TEST_F(ConsoleAppTest, RefusedOrMissingActionsRunNothing) {
  // A destination the tools' command lines could not carry.
  EXPECT_EQ(run({"convert", "/work/src/demo.pb", "--dest", "/work/o\"ut"}), kExitFailure);
  EXPECT_EQ(feedback.messages.back().text, "Invalid file.\n(/work/o\"ut/)");
  EXPECT_EQ(run({"register-ide"}), kExitFailure);  // the open command names no tools file
  EXPECT_EQ(feedback.messages.size(), 2u);
  EXPECT_TRUE(launcher.started.empty());
  EXPECT_FALSE(files.exists("/work/src/Bin"));
}

TEST_F(ConsoleAppTest, RegisterIdeTakesTheToolsFileRelativeToTheCurrentFolder) {
  command.command = R"("/pb/PureBasic.exe" "%1" "" "" "/pb/Tools.prefs")";
  files.addFolder("/work/prefs");
  EXPECT_EQ(run({"register-ide", "--tools-file", "prefs\\Tools.prefs"}), kExitSuccess);
  EXPECT_FALSE(files.exists("/pb/Tools.prefs"));
  EXPECT_NE(files.readFile("/work/prefs/Tools.prefs")->find("Command = /opt/brisko/bin/brisko\r\n"),
            std::string::npos);
  EXPECT_EQ(ide.asked, std::vector<std::string>{"/pb/PureBasic.exe"});
  EXPECT_EQ(run({"--tools-file", "/work/prefs/Tools.prefs", "register-ide"}), kExitFailure);
  EXPECT_EQ(feedback.messages.back().text,
            "brisko is already registered.\n(/work/prefs/Tools.prefs)");
}

TEST_F(ConsoleAppTest, LibraryCatalogueIsBuiltAtStartUp) {
  // A source path alone converts it below its own folder, as the IDE's tool entry asks.
  launcher.scripts.push_back({"", "", 0});  // the compiler writes no listing
  EXPECT_EQ(run({"src/demo.pb"}), kExitFailure);
  ASSERT_EQ(launcher.started.size(), 1u);
  EXPECT_EQ(launcher.started[0].workingFolder, "/work/src/Source/");
  EXPECT_EQ(feedback.statuses.front(), "Status = initialising compiler environment.");

  // A file in the Windows descriptor folder that is none ends start-up.
  files.addFile("/pb/PureLibraries/Windows/readme.txt", "not a descriptor");
  EXPECT_EQ(run({"check", "/work/src/demo.pb"}), kExitFailure);
  EXPECT_EQ(feedback.messages.back().text,
            "Unable to build the PB function lists.\n\nTerminating brisko.");
  EXPECT_EQ(feedback.details.back(), "Scanning readme.txt");
  EXPECT_EQ(launcher.started.size(), 1u);
}

}  // namespace
}  // namespace brisko::cli
