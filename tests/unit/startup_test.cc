#include "session/startup.h"

#include <gtest/gtest.h>

#include "fakes.h"
#include "language/text_ids.h"
#include "memory_file_system.h"

namespace brisko::session {
namespace {

using app::failed;
using app::MessageIcon;
using app::pathDetail;
using language::TextId;
using testing::FakeEnvironment;
using testing::FakeInstallationCommand;
using testing::FixedTempFolder;
using testing::RecordingFeedback;

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() {
    files.addFolder(temp.folder);
    command.command = R"("/pb/PureBasic.exe" "%1")";
  }

  void installTools(const std::string& folder, bool compiler = true, bool fasm = true,
                    bool polib = true) {
    if (compiler) files.addFile(folder + "compilers/PBcompiler.exe", "MZ");
    if (fasm) files.addFile(folder + "compilers/fasm.exe", "MZ");
    if (polib) files.addFile(folder + "compilers/polib.exe", "MZ");
  }

  bool run(std::optional<std::string> pbFolder = std::nullopt, bool resources = true) {
    const platform::Platform platform{files, launcher, clock, environment, temp, command, probe};
    return startUp(platform, feedback, {resources, pbFolder}, state);
  }

  platform::MemoryFileSystem files;
  FakeEnvironment environment;
  FixedTempFolder temp;
  FakeInstallationCommand command;
  testing::ScriptedLauncher launcher;
  testing::FixedClock clock;
  testing::FakeIdeProbe probe;
  RecordingFeedback feedback;
  StartupState state;
};

TEST_F(StartupTest, CompleteInstallationStartsWithEnglishTexts) {
  installTools("/pb/");
  ASSERT_TRUE(run());
  EXPECT_TRUE(feedback.messages.empty());
  EXPECT_EQ(state.paths.pbFolder, "/pb/");
  EXPECT_EQ(state.paths.compilerPath, "/pb/compilers/PBcompiler.exe");
  EXPECT_EQ(state.paths.fasmPath, "/pb/compilers/fasm.exe");
  EXPECT_EQ(state.paths.polibPath, "/pb/compilers/polib.exe");
  EXPECT_EQ(state.paths.tempFolder, "/tmp/brisko-test/");
  EXPECT_EQ(feedback.text(TextId::guiTitle), "brisko (PB --> .obj)");
  // The built-in file was loaded from memory: nothing was written into the temporary folder.
  EXPECT_EQ(files.listFolder(temp.folder)->size(), 0u);
}

TEST_F(StartupTest, ZeroByteFasmIsReportedMissing) {
  installTools("/pb/", true, false, true);
  files.addFile("/pb/compilers/fasm.exe", "");
  EXPECT_FALSE(run());
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_EQ(feedback.messages[0].title, "Error!");
  EXPECT_TRUE(feedback.messages[0].text.starts_with("Cannot locate the FASM executable.\n"));
  EXPECT_EQ(feedback.messages[0].icon, MessageIcon::error);
}

TEST_F(StartupTest, OnlyTheFirstMissingToolIsReported) {
  installTools("/pb/", false, false, true);
  EXPECT_FALSE(run());
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_TRUE(feedback.messages[0].text.starts_with("Cannot locate the Purebasic compiler.\n"));
}

TEST_F(StartupTest, ToolThatIsAFolderCountsAsMissing) {
  installTools("/pb/", true, false, false);
  files.addFolder("/pb/compilers/fasm.exe");
  EXPECT_FALSE(run());
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_TRUE(feedback.messages[0].text.starts_with("Cannot locate the FASM executable.\n"));
}

// Without polib brisko packs libraries itself.
TEST_F(StartupTest, InstallationWithoutPolibStarts) {
  installTools("/pb/", true, true, false);
  EXPECT_TRUE(run());
  EXPECT_TRUE(feedback.messages.empty());
}

TEST_F(StartupTest, NoInstallationGivesRelativeToolPaths) {
  command.command.reset();
  EXPECT_FALSE(run());
  EXPECT_EQ(state.paths.pbFolder, "");
  EXPECT_EQ(state.paths.compilerPath, "compilers/PBcompiler.exe");
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_TRUE(feedback.messages[0].text.starts_with("Cannot locate the Purebasic compiler.\n"));

  // Tools under the current folder are found through the relative paths.
  installTools("");
  feedback.messages.clear();
  EXPECT_TRUE(run());
  EXPECT_TRUE(feedback.messages.empty());
}

TEST_F(StartupTest, FolderGivenDirectlyReplacesDiscovery) {
  installTools("/other/");
  ASSERT_TRUE(run(std::string("/other")));
  EXPECT_EQ(state.paths.pbFolder, "/other/");
  EXPECT_EQ(state.paths.fasmPath, "/other/compilers/fasm.exe");
}

TEST_F(StartupTest, MissingResourcesOrTemporaryFolderEndStartUp) {
  installTools("/pb/");
  EXPECT_FALSE(run(std::nullopt, false));
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_EQ(feedback.messages[0].title, "Error!");
  EXPECT_EQ(feedback.messages[0].text,
            "There was a problem initialising the program.\n\nTerminating brisko.");

  feedback.messages.clear();
  temp.folder.clear();
  EXPECT_FALSE(run());
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_EQ(feedback.messages[0].text,
            "There was a problem initialising the program.\n\nTerminating brisko.");
}

TEST_F(StartupTest, BrokenLanguageFileEndsStartUpWithTheFixedMessage) {
  installTools("/pb/");
  files.addFile("/opt/brisko/bin/languages/Deutsch.lan",
                "\xEF\xBB\xBF<?xml version=\"1.0\"?><QuilletLanguageFile><Group>");
  EXPECT_FALSE(run());
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_EQ(feedback.messages[0].text,
            "There was a problem loading the language file.\nNot even the default language "
            "file could be unpacked!\n\nTerminating brisko.");
}

TEST(ReportError, NonFatalReportShowsDetailAndLogsOneLine) {
  language::LanguageTable texts({"Error!", "no errors!", "Terminating brisko."});
  for (int i = 3; i < 11; ++i) texts.append("text " + std::to_string(i));
  texts.append("File not found.");
  RecordingFeedback feedback;
  testing::StringLog log;
  feedback.attachTexts(&texts);
  feedback.setActiveLog(&log);

  EXPECT_EQ(feedback.reportError(TextId::fileNotFound, false, pathDetail("/src/demo.pb")),
            failed(TextId::fileNotFound));
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_EQ(feedback.messages[0].title, "Error!");
  EXPECT_EQ(feedback.messages[0].text, "File not found.\n(/src/demo.pb)");
  EXPECT_EQ(log.content, "File not found. (/src/demo.pb)\r\n");

  // A fatal report never reaches the log.
  EXPECT_EQ(feedback.reportError(TextId::fileNotFound, true), failed(TextId::fileNotFound));
  ASSERT_EQ(feedback.messages.size(), 2u);
  EXPECT_EQ(feedback.messages[1].text, "File not found.\n\nTerminating brisko.");
  EXPECT_EQ(log.content, "File not found. (/src/demo.pb)\r\n");

  // Without a log nothing is written anywhere but the message.
  feedback.setActiveLog(nullptr);
  feedback.reportError(TextId::fileNotFound, false, "\n\n(/d/)");
  EXPECT_EQ(feedback.messages.back().text, "File not found.\n\n(/d/)");
  EXPECT_EQ(log.content, "File not found. (/src/demo.pb)\r\n");
}

TEST(LanguageTableLookup, IndexBeyondAShortFileIsEmpty) {
  language::LanguageTable texts({"Fehler!"});
  EXPECT_EQ(texts.text(TextId::error), "Fehler!");
  EXPECT_EQ(texts.text(TextId::tooltipsDestinationFolder), "");
  EXPECT_EQ(texts.text(TextId{-1}), "");
}

}  // namespace
}  // namespace brisko::session
