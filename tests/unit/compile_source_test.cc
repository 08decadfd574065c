#include "pipeline/compile_source.h"

#include <gtest/gtest.h>

#include "english_texts.h"
#include "fakes.h"
#include "language/text_ids.h"
#include "memory_file_system.h"
#include "pipeline/program_runner.h"

namespace brisko::pipeline {
namespace {

using app::failed;
using language::TextId;
using testing::RecordingFeedback;
using testing::ScriptedLauncher;

const Compilation kCompiled{CompileVerdict::compiled, app::ok()};

Compilation compileError(TextId reported) {
  return {CompileVerdict::compileError, failed(reported)};
}

class CompileSourceTest : public ::testing::Test {
 protected:
  CompileSourceTest()
      : paths(app::toolchainPathsFor("/pb/", "/tmp/t/")), services{files,    launcher, clock,
                                                                   feedback, window,   paths} {
    feedback.attachTexts(&testing::englishTexts());
    files.addFolder("/tmp/t");
    files.addFolder("/dest/Source");
    // The compiler leaves its placeholder executable behind, as a real one would.
    launcher.onStart = [this](const testing::StartedProcess& p) {
      files.addFile(p.workingFolder + "briskoSourceCompilation.exe", "MZ");
    };
  }

  platform::MemoryFileSystem files;
  ScriptedLauncher launcher;
  testing::FixedClock clock;
  RecordingFeedback feedback;
  app::WindowServices window;
  app::ToolchainPaths paths;
  app::Services services;
};

TEST_F(CompileSourceTest, CheckModeRunsInTheTemporaryFolderAndShowsTheVerdict) {
  launcher.scripts.push_back({"PureBasic 4.20 - compiling\r\n", "", 0});
  EXPECT_EQ(compileSource(services, "/src/demo.pb", "", true, {}), kCompiled);
  ASSERT_EQ(launcher.started.size(), 1u);
  EXPECT_EQ(
      launcher.started[0].commandLine,
      R"("/pb/compilers/PBcompiler.exe" "/src/demo.pb" /EXE "/tmp/t/briskoSourceCompilation.exe")");
  EXPECT_EQ(launcher.started[0].workingFolder, "/tmp/t/");
  EXPECT_EQ(launcher.started[0].captured, platform::CapturedStream::standardOutput);
  EXPECT_EQ(feedback.statuses,
            std::vector<std::string>{"Status = compiling the selected source file."});
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_EQ(feedback.messages[0].title, "brisko (PB --> .obj)");
  EXPECT_EQ(feedback.messages[0].text, "The compiler reported no errors.");
  EXPECT_EQ(feedback.messages[0].icon, app::MessageIcon::information);
  EXPECT_FALSE(files.exists("/tmp/t/briskoSourceCompilation.exe"));
}

TEST_F(CompileSourceTest, SwitchesFollowAFixedOrder) {
  launcher.scripts.push_back({"", "", 0});
  app::ConversionOptions options;
  options.flags = app::kCommented | app::kUnicode | app::kInlineAsm | app::kThreadsafe;
  files.addFile("/dest/Source/PureBasic.asm", "; listing");
  EXPECT_EQ(compileSource(services, "/src/a b.pb", "/dest/Source/", false, options), kCompiled);
  EXPECT_EQ(
      launcher.started[0].commandLine,
      R"("/pb/compilers/PBcompiler.exe" "/src/a b.pb" /EXE "/dest/Source/briskoSourceCompilation.exe" /THREAD /UNICODE /INLINEASM /COMMENTED)");
  EXPECT_EQ(launcher.started[0].workingFolder, "/dest/Source/");
  // A conversion's compile shows nothing when it succeeds.
  EXPECT_TRUE(feedback.messages.empty());
  EXPECT_FALSE(files.exists("/dest/Source/briskoSourceCompilation.exe"));
}

TEST_F(CompileSourceTest, ErrorLineSpanningReadPiecesIsShownAndLogged) {
  std::string output(1500, 'x');
  output += "\r\nError: Line 12 - Syntax error.\r\nError: Line 13 - more\r\n";
  launcher.scripts.push_back({output, "", 1});
  testing::StringLog log;
  feedback.setActiveLog(&log);
  EXPECT_EQ(compileSource(services, "/src/demo.pb", "/dest/Source/", false, {}),
            compileError(TextId::objectCompilerError));
  ASSERT_EQ(feedback.messages.size(), 1u);
  const std::string errorText = "Error: Line 12 - Syntax error.\r\nError: Line 13 - more";
  EXPECT_EQ(feedback.messages[0].text, "The compiler reported an error.\n\n" + errorText);
  EXPECT_EQ(feedback.messages[0].icon, app::MessageIcon::failure);
  EXPECT_EQ(log.content, errorText + "\r\n");
  EXPECT_FALSE(files.exists("/dest/Source/briskoSourceCompilation.exe"));
}

TEST_F(CompileSourceTest, OutputIsReadInPiecesOf1024Bytes) {
  launcher.scripts.push_back({std::string(2500, 'a') + "\r\nError: Line 1 - x\r\n", "", 1});
  EXPECT_EQ(compileSource(services, "/src/demo.pb", "/dest/Source/", false, {}),
            compileError(TextId::objectCompilerError));
  EXPECT_EQ(launcher.readSizes, (std::vector<std::size_t>{1024, 1024, 1024}));
  EXPECT_EQ(feedback.messages[0].text, "The compiler reported an error.\n\nError: Line 1 - x");
}

// A compiler that ends with any nonzero code has failed, whatever it said: its own words are
// shown and logged, or the unknown-error text when it said nothing (a crash).
TEST_F(CompileSourceTest, EveryNonzeroExitCodeIsAFailure) {
  testing::StringLog log;
  feedback.setActiveLog(&log);
  launcher.scripts.push_back({"Error: the source file cannot be opened\r\n", "", 1});
  EXPECT_EQ(compileSource(services, "/src/demo.pb", "", true, {}),
            compileError(TextId::objectCompilerError));
  EXPECT_EQ(feedback.messages.back().text,
            "The compiler reported an error.\n\nError: the source file cannot be opened");
  EXPECT_EQ(feedback.messages.back().icon, app::MessageIcon::failure);

  launcher.scripts.push_back({"Error: Line 3 - x\r\n", "", 2});
  EXPECT_EQ(compileSource(services, "/src/demo.pb", "", true, {}),
            compileError(TextId::objectCompilerError));
  EXPECT_EQ(feedback.messages.back().text, "The compiler reported an error.\n\nError: Line 3 - x");

  launcher.scripts.push_back({"", "", 139});
  EXPECT_EQ(compileSource(services, "/src/demo.pb", "/dest/Source/", false, {}),
            compileError(TextId::objectCompilerError));
  EXPECT_EQ(feedback.messages.back().text, "The compiler reported an unknown error.");
  EXPECT_EQ(log.content,
            "Error: the source file cannot be opened\r\nError: Line 3 - x\r\n"
            "The compiler reported an unknown error.\r\n");
  EXPECT_FALSE(files.exists("/dest/Source/briskoSourceCompilation.exe"));
}

// A conversion needs the listing: a compiler that ends well without writing it has failed.
TEST_F(CompileSourceTest, ConversionWithoutAListingFails) {
  app::ConversionOptions options;
  options.flags = app::kCommented;
  launcher.scripts.push_back({"PureBasic - done\r\n", "", 0});
  EXPECT_EQ(compileSource(services, "/src/demo.pb", "/dest/Source/", false, options),
            compileError(TextId::noListing));
  EXPECT_EQ(feedback.messages.back().text,
            "The compiler wrote no assembly listing.\n\nPureBasic - done");

  // The listing under another letter case counts.
  files.addFile("/dest/Source/PUREBASIC.ASM", "; listing");
  launcher.scripts.push_back({"", "", 0});
  EXPECT_EQ(compileSource(services, "/src/demo.pb", "/dest/Source/", false, options), kCompiled);
}

TEST_F(CompileSourceTest, CompilerThatCannotStartIsReported) {
  launcher.scripts.push_back({"", "", 0, true});
  testing::StringLog log;
  feedback.setActiveLog(&log);
  EXPECT_EQ(compileSource(services, "/src/demo.pb", "/missing/", false, {}),
            (Compilation{CompileVerdict::notStarted, failed(TextId::compilerProblem)}));
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_EQ(feedback.messages[0].title, "Error!");
  EXPECT_EQ(feedback.messages[0].text, "The PB compiler failed to start.");
  EXPECT_EQ(feedback.messages[0].icon, app::MessageIcon::error);
  EXPECT_EQ(log.content, "The PB compiler failed to start.\r\n");
}

TEST(ProgramRunnerCommandLine, QuotesThePathUnlessItIsQuotedAlready) {
  EXPECT_EQ(ProgramRunner::commandLine("/a b/tool.exe", ""), "\"/a b/tool.exe\"");
  EXPECT_EQ(ProgramRunner::commandLine("/a b/tool.exe", "x y"), "\"/a b/tool.exe\" x y");
  EXPECT_EQ(ProgramRunner::commandLine("\"C:\\t.exe\" -v", "x"), "\"C:\\t.exe\" -v x");
}

}  // namespace
}  // namespace brisko::pipeline
