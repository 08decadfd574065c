#include "toolchain/ide_registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

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
using language::Preferences;
using language::TextId;
using platform::TextEncoding;
using Lines = std::vector<std::string>;

constexpr const char* kProgram = "/opt/br\xC3\xAFsko/brisko";  // a non-ASCII "ï"
constexpr const char* kNoTools = "[ToolsInfo]\r\nToolCount = 0\r\n";

// "key = value" for each key line of the group, in file order.
Lines keysOf(const language::PreferenceGroup* group) {
  if (group == nullptr) return {"<no group>"};
  Lines keys;
  for (const auto& line : group->lines) {
    if (line.kind == language::PreferenceLine::Kind::kKey)
      keys.push_back(line.key + " = " + line.value);
  }
  return keys;
}

// Every line ends with CR LF, the last one too, and no CR or LF stands alone.
bool crLfLinesOnly(std::string_view text) {
  std::ptrdiff_t pairs = 0;
  for (auto at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", at + 2)) {
    ++pairs;
  }
  return text.ends_with("\r\n") && std::ranges::count(text, '\r') == pairs &&
         std::ranges::count(text, '\n') == pairs;
}

Lines groupNames(const Preferences& tools) {
  Lines names;
  for (const auto* group : tools.namedGroups()) names.push_back(group->name);
  return names;
}

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

// A registration raises the count and appends one tool that runs brisko on the IDE's current
// source, in the file's own encoding and with the IDE's CR LF line ends; what was there stays.
// Registering the same program again changes nothing.
TEST_F(IdeRegistrationTest, BlockIsAppendedInTheFilesEncoding) {
  struct Case {
    const char* what;
    std::optional<std::string> bytes;  // nothing: no file yet
    TextEncoding encoding;
    int tools;  // before
  };
  const Case cases[] = {
      {"missing", std::nullopt, TextEncoding::ansi, 0},
      {"ansi", kNoTools, TextEncoding::ansi, 0},
      {"utf8", "\xEF\xBB\xBF" + std::string(kNoTools), TextEncoding::utf8, 0},
      {"utf16", "\xFF\xFE" + platform::utf8ToUtf16le(kNoTools), TextEncoding::utf16le, 0},
      {"three",
       "[ToolsInfo]\r\nToolCount = 3\r\n[Tool_0]\r\nCommand = /a\r\n"
       "[Tool_1]\r\nCommand = /b\r\nArguments = x\r\n[Tool_2]\r\n",
       TextEncoding::ansi, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ide.toolsFile = "/pb/Preferences/" + std::string(c.what) + ".prefs";
    if (c.bytes) files.addFile(ide.toolsFile, *c.bytes);
    probe.asked.clear();
    const Preferences before = Preferences::parse(c.bytes.value_or(kNoTools));
    const std::string count = std::to_string(c.tools + 1);  // the new tool's, from one
    Lines groups = groupNames(before);                      // followed by the new tool's
    groups.push_back("Tool_" + std::to_string(c.tools));

    ASSERT_EQ(registerAs(kProgram), ok());
    EXPECT_EQ(feedback.messages.back().title + "|" + feedback.messages.back().text,
              "brisko (PB --> .obj)|brisko is now tool " + count + " of the PureBasic IDE (\"" +
                  ide.toolsFile + "\").");
    EXPECT_EQ(probe.asked, Lines{ide.program});
    const std::string bytes = toolsFile();
    const Preferences tools = Preferences::parse(bytes);
    EXPECT_EQ(tools.encoding(), c.encoding);
    EXPECT_EQ(groupNames(tools), groups);
    EXPECT_EQ(keysOf(tools.findGroup("ToolsInfo")), Lines{"ToolCount = " + count});
    for (const auto* kept : before.namedGroups()) {
      if (kept->name != "ToolsInfo") {
        EXPECT_EQ(keysOf(tools.findGroup(kept->name)), keysOf(kept));
      }
    }
    // The keys the IDE reads for a tool of its Tools menu, started on the current source.
    EXPECT_EQ(keysOf(tools.findGroup(groups.back())),
              (Lines{"Command = " + std::string(kProgram), "Arguments = \"%FILE\"", "WorkingDir = ",
                     "MenuItemName = brisko", "Shortcut = 0", "ConfigLine = ", "Trigger = 0",
                     "Flags = 0", "ReloadSource = 0", "HideEditor = 0", "HideFromMenu = 0",
                     "SourceSpecific = 0", "Deactivate = 0"}));
    if (c.encoding == TextEncoding::ansi) {
      EXPECT_NE(bytes.find("/opt/br\xEFsko/brisko"), std::string::npos);  // Windows-1252
    }
    const std::string text = c.encoding == TextEncoding::utf16le
                                 ? platform::utf16leToUtf8(platform::withoutByteOrderMark(bytes))
                                 : bytes;
    EXPECT_TRUE(crLfLinesOnly(text)) << text;

    EXPECT_EQ(registerAs(kProgram), failed(TextId::alreadyRegistered));
    EXPECT_EQ(feedback.messages.back().text,
              "brisko is already registered.\n(" + ide.toolsFile + ")");
    EXPECT_EQ(toolsFile(), bytes);
    EXPECT_EQ(probe.asked.size(), 1u);  // the IDE is asked about only when not registered
  }
}

TEST_F(IdeRegistrationTest, OnlyTheExactPathCountsAsRegistered) {
  ASSERT_EQ(registerAs(kProgram), ok());
  // A copy elsewhere, and a path differing only in letter case, are further tools.
  EXPECT_EQ(registerAs("/home/me/brisko"), ok());
  EXPECT_EQ(registerAs("/OPT/br\xC3\xAFsko/brisko"), ok());
  const auto tools = Preferences::parse(toolsFile());
  EXPECT_EQ(tools.findGroup("ToolsInfo")->find("ToolCount"), "3");
  EXPECT_EQ(tools.findGroup("Tool_2")->find("Command"), "/OPT/br\xC3\xAFsko/brisko");
}

// Each refusal is said once and leaves the disk as it was: a file keeps its bytes, a missing
// one is not created.
TEST_F(IdeRegistrationTest, UnusableToolsFileIsReported) {
  enum class File { missing, existing, folder, failingWrites };
  struct Case {
    File file;
    std::string toolsFile;
    std::string program;
    bool ideRunning;
    TextId refusal;
    std::string detail;  // after the message
  };
  const std::string running = "You need to close the Purebasic IDE first.";
  const std::string unable = "Unable to register brisko as a Purebasic IDE tool.";
  const Case cases[] = {
      {File::existing, "/pb/a.prefs", kProgram, true, TextId::pbIdeRunning, ""},
      {File::missing, "/pb/b.prefs", kProgram, true, TextId::pbIdeRunning, ""},
      {File::folder, "/pb/c.prefs", kProgram, false, TextId::unablePbIdeTool, "\n(/pb/c.prefs)"},
      {File::existing, "/pb/d.prefs", "", false, TextId::unablePbIdeTool, "\n(/pb/d.prefs)"},
      {File::missing, "", kProgram, false, TextId::unablePbIdeTool, ""},  // the command names none
      {File::failingWrites, "/pb/e.prefs", kProgram, false, TextId::unablePbIdeTool,
       "\n(/pb/e.prefs)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.toolsFile + "|" + c.program);
    ide.toolsFile = c.toolsFile;
    probe.running = c.ideRunning;
    if (c.file == File::existing) files.addFile(c.toolsFile, kNoTools);
    if (c.file == File::folder) files.addFolder(c.toolsFile);
    if (c.file == File::failingWrites) files.failWrites(c.toolsFile);
    EXPECT_EQ(registerAs(c.program), failed(c.refusal));
    EXPECT_EQ(feedback.messages.back().text,
              (c.refusal == TextId::pbIdeRunning ? running : unable) + c.detail);
    // The file as it was: its bytes, no file, a folder.
    if (c.file == File::existing) {
      EXPECT_EQ(toolsFile(), kNoTools);
    } else if (c.file == File::missing && !c.toolsFile.empty()) {
      EXPECT_FALSE(files.exists(c.toolsFile));
    } else if (c.file == File::folder) {
      EXPECT_TRUE(files.isFolder(c.toolsFile));
    }
  }
  EXPECT_EQ(feedback.messages.size(), std::size(cases));
}

}  // namespace
}  // namespace brisko::toolchain
