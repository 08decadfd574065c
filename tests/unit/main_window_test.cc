#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <array>

#include "english_texts.h"
#include "fake_assembler.h"
#include "fake_gui.h"
#include "fakes.h"
#include "language/text_ids.h"
#include "listing_builder.h"
#include "memory_file_system.h"
#include "platform/installation_command.h"
#include "platform/paths.h"
#include "ui/gui_feedback.h"
#include "ui/window_program.h"

namespace brisko::ui {
namespace {

using platform::GuiEvent;
using platform::GuiEventKind;

GuiEvent click(int control, int window = kMainWindow) {
  return {GuiEventKind::control, window, control};
}
GuiEvent menuItem(int item) {
  return {GuiEventKind::menu, kMainWindow, item};
}
GuiEvent closeBox(int window) {
  return {GuiEventKind::close, window, 0};
}

const ControlRow& row(const std::vector<ControlRow>& rows, int number) {
  for (const ControlRow& candidate : rows) {
    if (candidate.number == number) return candidate;
  }
  throw std::out_of_range("no such control");
}

// The layout for texts of the given widths by control number; the others have none.
MainLayout layoutFor(const std::map<int, int>& widths) {
  return mainWindowLayout([&widths](int number) {
    const auto found = widths.find(number);
    return found == widths.end() ? 0 : found->second;
  });
}

TEST(MainWindowLayout, ControlsKeepTheTableWhereTheirTextsFitAndGrowWhereNot) {
  // Creation order: frames before the boxes they hold, "Export global variables" last of its row.
  const std::vector<ControlRow> rows = layoutFor({}).controls;
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[0].number, kCompilerOptionsFrame);
  EXPECT_EQ(rows[2].number, kUnicodeBox);
  EXPECT_EQ(rows[6].number, kOtherInstallationBrowse);
  EXPECT_EQ(rows[8].number, kExportGlobalsBox);
  EXPECT_EQ(rows[12].number, kCHeaderBox);
  EXPECT_EQ(rows[24].number, kConvertButton);

  // Text widths by control; the window's width; controls' x and width.
  const struct {
    std::map<int, int> widths;
    int windowWidth;
    std::vector<std::array<int, 3>> places;
  } kCases[] = {
      // Texts that fit keep the table; the labels are as wide as their texts, the list and the
      // source field follow them, and the field ends 20 pixels before "Browse".
      {{{kOutputFormatLabel, 96}, {kSourceLabel, 88}, {kPbWrapperBox, 130}, {kCheckButton, 78}},
       552,
       {{kOutputFormatLabel, 204, 101}, {kOutputFormatList, 310, 150}, {kSourceField, 135, 313}}},
      // The last box of a row reaches past the frames: the window, frames, tree and field
      // widen, and the controls at the right edge move.
      {{{kPbWrapperBox, 144}},
       566,
       {{kPbWrapperBox, 381, 164}, {kBriskoOptionsFrame, 12, 542}, {kSourceField, 47, 415}}},
      // The C header's box, alone under the wrapper's, widens the window like a row.
      {{{kCHeaderBox, 160}}, 582, {{kCHeaderBox, 381, 180}, {kDestinationTree, 27, 528}}},
      // A box in mid-row pushes those right of it; the variants box pushes the C header's.
      {{{kThreadsafeBox, 170}, {kVariantsBox, 140}},
       592,
       {{kUnicodeBox, 244, 150}, {kInlineAsmBox, 421, 150}, {kCHeaderBox, 391, 150}}},
      // The installation's field follows its label and ends before its own "Browse".
      {{{kOtherInstallationLabel, 150}, {kOtherInstallationBrowse, 70}},
       552,
       {{kOtherInstallationField, 197, 229}, {kOtherInstallationBrowse, 446, 82}}},
      // Buttons at the right edge grow leftwards.
      {{{kConvertButton, 60}, {kBrowseButton, 70}},
       552,
       {{kConvertButton, 468, 72}, {kCancelButton, 398, 50}, {kSourceField, 47, 379}}},
  };
  for (const auto& [widths, windowWidth, places] : kCases) {
    const MainLayout layout = layoutFor(widths);
    EXPECT_EQ(layout.width, windowWidth);
    for (const auto& [number, x, width] : places) {
      EXPECT_EQ(row(layout.controls, number).x, x) << windowWidth << ": " << number;
      EXPECT_EQ(row(layout.controls, number).width, width) << windowWidth << ": " << number;
    }
  }
}

TEST(MainWindowParameters, FirstParameterQuotedOrNot) {
  EXPECT_EQ(firstParameter("  \"C:\\My Files\\a.pb\" next"), "C:\\My Files\\a.pb");
  EXPECT_EQ(firstParameter("C:\\a.pb C:\\b.pb"), "C:\\a.pb");
  EXPECT_EQ(firstParameter("\"unclosed name"), "unclosed name");
  EXPECT_EQ(firstParameter("   "), "");
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : feedback(gui) {
    feedback.attachTexts(&texts);
    files.addFolder("/tmp/brisko-test");
    files.addFolder("/pb");
    files.addFile("/src/my demo.pb", "Procedure A()\r\nEndProcedure\r\n");
    files.addFile("/src/empty.pb", "");
    files.addFolder("/dest");
    paths.pbFolder = "/pb/";
    paths.compilerPath = "/pb/compilers/PBcompiler.exe";
    paths.tempFolder = "/tmp/brisko-test/";
  }

  std::optional<language::TextId> run(std::string_view parameters = "") {
    MainWindow window(gui, platform, feedback, paths);
    return window.run(parameters);
  }
  // Runs with the source field and the boxes set just before the first event; the source
  // field as each later event arrives goes to laterSources.
  std::optional<language::TextId> runWith(const std::string& source, std::vector<GuiEvent> events,
                                          std::vector<int> ticked = {}) {
    gui.events.assign(events.begin(), events.end());
    laterSources.clear();
    bool prepared = false;
    gui.beforeEvent = [&](const GuiEvent&) {
      if (prepared) {
        laterSources.push_back(gui.text(kSourceField));
        return;
      }
      prepared = true;
      gui.control(kSourceField).text = source;
      for (int box : ticked) gui.control(box).checked = true;
    };
    return run();
  }
  std::vector<std::string> laterSources;

  language::LanguageTable texts = testing::englishTexts();
  testing::FakeGui gui;
  GuiFeedback feedback;
  platform::MemoryFileSystem files;
  testing::ScriptedLauncher launcher;
  testing::FixedClock clock;
  testing::FakeEnvironment environment;
  testing::FakeInstallationCommand command;
  testing::FakeIdeProbe probe;
  testing::FixedTempFolder temp;
  const platform::Platform platform{files, launcher, clock, environment, temp, command, probe};
  app::ToolchainPaths paths;
};

TEST_F(MainWindowTest, OpensWithMeasuredLabelsTooltipsMenuAndStatus) {
  // A longer translation of "Select source file" moves the source field.
  std::vector<std::string> changed = texts.texts();
  const auto selectSource = static_cast<std::size_t>(language::TextId::guiSelectSource);
  changed[selectSource] = "Choisissez le fichier source, s'il vous plait";
  texts = language::LanguageTable(changed);

  EXPECT_EQ(run(), std::nullopt);
  EXPECT_EQ(gui.windows.count(kMainWindow), 0u) << "closed on return";
  const int sourceWidth = 6 * static_cast<int>(changed[selectSource].size());
  ASSERT_EQ(gui.creationOrder.size(), 25u);
  // Measured texts: two boxes of the second row need more room, 22 pixels past the frames, so
  // the window and its status bar widen; the source field follows its label.
  EXPECT_EQ(gui.statusWidths, (std::vector<int>{274, 300}));
  EXPECT_EQ(gui.creationOrder[18].number, kSourceField);
  EXPECT_EQ(gui.creationOrder[18].x, 47 + sourceWidth);
  EXPECT_EQ(gui.toolTips.size(), 13u);
  EXPECT_EQ(gui.toolTips[kOutputFormatList],
            "Use this to select the output format (only .obj is supported at the moment).");
  ASSERT_EQ(gui.menu.size(), 2u);
  EXPECT_EQ(gui.menu[0].text, "Options");
  EXPECT_EQ(gui.menu[0].items[2].number, kMenuQuit);
  EXPECT_EQ(gui.menu[1].items[0].text, "&About");
  EXPECT_EQ(gui.statusFields[0], "Status = awaiting instructions");
  EXPECT_EQ(gui.repaints, 1);
}

TEST_F(MainWindowTest, CreationFailuresReturnTheGuiError) {
  for (const char* part : {"window", "tooltips", "menu", "status bar"}) {
    gui.failing = {part};
    EXPECT_EQ(run(), language::TextId::guiProblem) << part;
  }
}

TEST_F(MainWindowTest, CatalogueFailureEndsBeforeTheLoop) {
  files.addFile("/pb/PureLibraries/Broken", "");
  gui.events = {menuItem(kMenuAbout)};
  EXPECT_EQ(run(), language::TextId::functionLists);
  EXPECT_EQ(gui.events.size(), 1u);
  EXPECT_EQ(gui.statusFields[0], "Status = initialising compiler environment.");
}

TEST_F(MainWindowTest, ParameterNamingANonEmptyFileFillsSourceAndTree) {
  std::string source;
  std::string tree;
  gui.events = {click(kThreadsafeBox)};
  gui.beforeEvent = [&](const GuiEvent&) {
    source = gui.text(kSourceField);
    tree = gui.folderTreePath(kDestinationTree);
  };
  run("\"/src/my demo.pb\" other");
  EXPECT_EQ(source, "/src/my demo.pb");
  EXPECT_EQ(tree, "/src/");

  for (const char* ignored : {"/src/empty.pb", "/src/missing.pb", "/src"}) {
    source = "unset";
    gui.events = {click(kThreadsafeBox)};
    run(ignored);
    EXPECT_EQ(source, "") << ignored;
  }
}

TEST_F(MainWindowTest, BrowseTakesOnlyNonEmptyFiles) {
  gui.dialogAnswer = "/src/empty.pb";
  gui.events = {click(kBrowseButton)};
  std::string source = "unset";
  gui.beforeEvent = [&](const GuiEvent&) { source = gui.text(kSourceField); };
  gui.events.push_back(click(kThreadsafeBox));
  run();
  ASSERT_EQ(gui.dialogs.size(), 1u);
  EXPECT_EQ(gui.dialogs[0], "Choose a file to open...|Purebasic file (*.pb, *.pbi) | *.pb;*.pbi");
  EXPECT_EQ(source, "");

  gui.dialogAnswer = "/src/my demo.pb";
  gui.events = {click(kBrowseButton), click(kThreadsafeBox)};
  run();
  EXPECT_EQ(source, "/src/my demo.pb");
  EXPECT_EQ(gui.statusFields[0], "Status = awaiting instructions");
}

TEST_F(MainWindowTest, UnusableSourcesAreReportedAndCleared) {
  EXPECT_EQ(runWith("   ", {click(kCheckButton)}), std::nullopt);
  EXPECT_TRUE(gui.messages.empty());
  EXPECT_TRUE(launcher.started.empty());

  runWith(" /src ", {click(kConvertButton), click(kThreadsafeBox)});
  EXPECT_EQ(gui.messages.back(), "Error!|Invalid file.\n(/src)");
  EXPECT_EQ(laterSources, std::vector<std::string>{""});
  EXPECT_EQ(gui.focusedControl, kSourceField);

  runWith("/src/gone.pb", {click(kCheckButton)});
  EXPECT_EQ(gui.messages.back(), "Error!|File not found.\n(/src/gone.pb)");
  EXPECT_TRUE(launcher.started.empty());
}

TEST_F(MainWindowTest, CheckRunsTheCompilerWithTheTickedOptions) {
  launcher.scripts.push_back({"no error", "", 0});
  runWith("  /src/my demo.pb ", {click(kCheckButton)}, {kThreadsafeBox, kInlineAsmBox});
  ASSERT_EQ(launcher.started.size(), 1u);
  const std::string& line = launcher.started[0].commandLine;
  EXPECT_NE(line.find("\"/src/my demo.pb\""), std::string::npos) << line;
  EXPECT_NE(line.find("/THREAD"), std::string::npos);
  EXPECT_NE(line.find("/INLINEASM"), std::string::npos);
  EXPECT_EQ(line.find("/UNICODE"), std::string::npos);
  EXPECT_EQ(launcher.started[0].workingFolder, "/tmp/brisko-test/");
  EXPECT_EQ(gui.messages.back(), "brisko (PB --> .obj)|The compiler reported no errors.");
  EXPECT_EQ(gui.statusFields[0], "Status = awaiting instructions");
}

TEST_F(MainWindowTest, ConvertLocksTheWindowAndWritesBelowTheTreesFolder) {
  bool lockedDuringRun = false;
  launcher.onStart = [&](const testing::StartedProcess&) {
    lockedDuringRun = !gui.windowEnabled[kMainWindow] && !gui.control(1).enabled &&
                      !gui.control(kExportGlobalsBox).enabled &&
                      !gui.control(kCHeaderBox).enabled && !gui.control(kVariantsBox).enabled &&
                      !gui.control(kOtherInstallationField).enabled;
  };
  launcher.scripts.push_back({"", "", 0, false});
  gui.events = {click(kConvertButton)};
  gui.beforeEvent = [&](const GuiEvent&) {
    gui.control(kSourceField).text = "/src/my demo.pb";
    gui.control(kDestinationTree).text = "/dest/";
    gui.control(kOutputFormatList).selected = 1;
  };
  run();
  EXPECT_TRUE(lockedDuringRun);
  EXPECT_TRUE(files.isFolder("/dest/Bin"));
  EXPECT_TRUE(gui.windowEnabled[kMainWindow]);
  EXPECT_EQ(gui.treeRefreshes, 1);  // the new folders show in the tree
  EXPECT_EQ(gui.statusFields[0], "Status = awaiting instructions");
}

TEST_F(MainWindowTest, SuccessfulConversionNamesTheWrittenFileUntilTheNextAction) {
  // The compiler writes the listing, FASM the object named last; the C header's box is ticked.
  launcher.onStart = [&](const testing::StartedProcess& started) {
    const std::string& line = started.commandLine;
    if (line.find("PBcompiler.exe") != std::string::npos) {
      files.addFile(started.workingFolder + "PureBasic.asm", testing::sampleListing().text());
    } else {
      const std::size_t from = line.rfind("\" \"") + 3;
      const std::size_t source = line.find("\" \"") + 3;
      files.addFile(line.substr(from, line.size() - from - 1),
                    testing::fakeObject(files, line.substr(source, from - 3 - source)));
    }
  };
  launcher.scripts = {{}, {}};
  std::vector<std::string> statusBeforeBrowse;
  gui.events = {click(kConvertButton), click(kBrowseButton)};
  gui.beforeEvent = [&](const GuiEvent& event) {
    gui.control(kSourceField).text = "/src/my demo.pb";
    gui.control(kDestinationTree).text = "/dest/";
    gui.control(kCHeaderBox).checked = true;
    if (event.number == kBrowseButton)
      statusBeforeBrowse = {gui.statusFields[0], gui.statusFields[1]};
  };
  run();
  EXPECT_TRUE(files.readFile("/dest/Bin/my demo.h").value_or("").find("#ifndef MY_DEMO_H\r\n") !=
              std::string::npos);
  EXPECT_EQ(statusBeforeBrowse,
            (std::vector<std::string>{"Status = written: my demo.obj", "/dest/Bin/my demo.obj"}));
  EXPECT_TRUE(gui.messages.empty());                                 // nothing modal
  EXPECT_EQ(gui.statusFields[0], "Status = awaiting instructions");  // after "Browse"
}

TEST_F(MainWindowTest, ConvertWithoutAFormatRunsNothing) {
  gui.events = {click(kConvertButton)};
  gui.beforeEvent = [&](const GuiEvent&) {
    gui.control(kSourceField).text = "/src/my demo.pb";
    gui.control(kOutputFormatList).selected = -1;
  };
  run();
  EXPECT_TRUE(launcher.started.empty());
  EXPECT_FALSE(files.exists("/src/Bin"));
}

TEST_F(MainWindowTest, ExistingAsmGreysFormatAndExportGlobalsUntilCleared) {
  bool greyed = false;
  bool restored = false;
  int step = 0;
  gui.events = {click(kUseExistingAsmBox), click(kUseExistingAsmBox), click(kThreadsafeBox)};
  gui.beforeEvent = [&](const GuiEvent&) {
    ++step;
    if (step == 1) gui.control(kUseExistingAsmBox).checked = true;
    if (step == 2) {
      greyed = !gui.control(kOutputFormatList).enabled && !gui.control(kExportGlobalsBox).enabled;
      gui.control(kUseExistingAsmBox).checked = false;
    }
    if (step == 3) {
      restored = gui.control(kOutputFormatList).enabled && gui.control(kExportGlobalsBox).enabled;
    }
  };
  run();
  EXPECT_TRUE(greyed);
  EXPECT_TRUE(restored);
}

TEST_F(MainWindowTest, OtherInstallationAndVariantsAreRememberedAndGoWithTheConversion) {
  // The settings folder of either platform.
  environment.variables = {{"XDG_CONFIG_HOME", "/home/me/.config"},
                           {"APPDATA", "/home/me/.config"}};
  const std::string settings = platform::userSettingsFolder(environment) + "brisko.prefs";
  files.addFile(settings, "[Window]\r\nOtherPbFolder = /old\r\nBothThreadVariants = 1\r\n");
  gui.dialogAnswer = "/pb64/compilers/PBcompiler.exe";
  std::vector<std::string> seen;
  gui.events = {click(kOtherInstallationBrowse), click(kConvertButton)};
  gui.beforeEvent = [&](const GuiEvent&) {
    seen.push_back(gui.text(kOtherInstallationField) +
                   (gui.isChecked(kVariantsBox) ? " variants" : ""));
    gui.control(kSourceField).text = "/src/my demo.pb";
    gui.control(kDestinationTree).text = "/dest/";
  };
  run();
  // The remembered folder is replaced by the installation of the compiler picked.
  EXPECT_EQ(seen, (std::vector<std::string>{"/old variants", "/pb64/ variants"}));
  EXPECT_EQ(gui.dialogs.at(0),
            "Choose the other processor's PureBasic.exe or PBcompiler.exe...|PureBasic "
            "(PureBasic.exe, PBcompiler.exe) | PureBasic.exe;PBcompiler.exe");
  // The conversion checks that installation's tools before anything runs.
  EXPECT_EQ(gui.messages.back(),
            "Error!|Cannot locate the Purebasic compiler.\nbrisko looked for it at "
            "/pb64/compilers/PBcompiler.exe\nThe installation folder /pb64/ was named as the other "
            "processor's installation.");
  EXPECT_TRUE(launcher.started.empty());
  EXPECT_EQ(files.readFile(settings).value_or(""),
            "[Window]\r\nOtherPbFolder = /pb64/\r\nBothThreadVariants = 1\r\n");
}

TEST_F(MainWindowTest, WindowServicesActOnTheMainWindow) {
  MainWindow window(gui, platform, feedback, paths);
  gui.openWindow({kMainWindow, 552, 590, "", -1});
  gui.createStatusBar(kMainWindow, {252, 300});
  for (int control : {1, 11, 17, 20}) gui.createControl(kMainWindow, {control, {}, 0, 0, 0, 0, ""});
  window.lockWindow();
  EXPECT_FALSE(gui.windowEnabled[kMainWindow]);
  EXPECT_FALSE(gui.control(20).enabled);
  window.unlockWindow();
  EXPECT_TRUE(gui.windowEnabled[kMainWindow]);
  EXPECT_TRUE(gui.control(1).enabled && gui.control(11).enabled && gui.control(20).enabled);
  window.refreshDestinationView();
  window.pollEvents();
  EXPECT_EQ(gui.treeRefreshes, 1);
  EXPECT_EQ(gui.polls, 1);

  feedback.setStatusDetail("Scanning Gadget");
  EXPECT_EQ(gui.statusFields[1], "Scanning Gadget");
  feedback.setStatus(language::TextId::statusbarCompilingSource);
  EXPECT_EQ(gui.statusFields[0], "Status = compiling the selected source file.");
  EXPECT_EQ(gui.statusFields[1], "");
}

TEST_F(MainWindowTest, MenuRegistersOpensAboutAndQuits) {
  command.command = R"("/pb/PureBasic.exe" "%1" "" "" "/pb/Tools.prefs")";
  std::vector<std::string> aboutLines;
  int aboutOwner = -2;
  gui.events = {menuItem(kMenuRegisterIdeTool),
                menuItem(kMenuAbout),
                click(kOkayButton, 1),
                menuItem(kMenuAbout),
                closeBox(kAboutWindow),
                menuItem(kMenuAbout),
                menuItem(kMenuQuit),
                click(kThreadsafeBox)};
  int seen = 0;
  gui.beforeEvent = [&](const GuiEvent&) {
    ++seen;
    if (seen == 3) {
      aboutLines = gui.control(kAboutText).lines;
      aboutOwner = gui.windows[kAboutWindow].owner;
    }
    // Okay and the close box each close the about window, and the loop goes on.
    if (seen == 4 || seen == 6) {
      EXPECT_FALSE(gui.hasWindow(kAboutWindow)) << seen;
    }
  };
  EXPECT_EQ(run(), std::nullopt);
  EXPECT_EQ(gui.events.size(), 1u) << "Quit ends the loop";
  EXPECT_NE(files.readFile("/pb/Tools.prefs").value_or("").find("Command = /opt/brisko/bin/brisko"),
            std::string::npos);
  EXPECT_EQ(aboutOwner, kMainWindow);
  ASSERT_GE(aboutLines.size(), 7u);
  EXPECT_EQ(aboutLines[0], "*brisko version 2.0 Beta 1");
  EXPECT_EQ(aboutLines[1], "(.pb / pbi --> .obj / .lib)");
  EXPECT_EQ(aboutLines[4], "2008");
  EXPECT_EQ(aboutLines.back().find('\r'), std::string::npos);
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsEvenWithAboutOpen) {
  gui.events = {menuItem(kMenuAbout), closeBox(kMainWindow), click(kThreadsafeBox)};
  EXPECT_EQ(run(), std::nullopt);
  EXPECT_EQ(gui.events.size(), 1u);
  EXPECT_TRUE(gui.windows.empty());
}

class WindowProgramTest : public MainWindowTest {
 protected:
  WindowProgramTest() {
    for (const char* tool : {"PBcompiler.exe", "fasm.exe", "polib.exe"}) {
      files.addFile(std::string("/pb/compilers/") + tool, "MZ");
    }
    command.command = R"("/pb/PureBasic.exe" "%1")";
  }
  int runProgram() { return runWindowProgram(gui, platform, ""); }
};

TEST_F(WindowProgramTest, FatalStartsAreShownAndStillExitWithZero) {
  gui.iconAvailable = false;
  EXPECT_EQ(runProgram(), 0);
  ASSERT_EQ(gui.messages.size(), 1u);
  EXPECT_EQ(gui.messages[0],
            "Error!|There was a problem initialising the program.\n\nTerminating brisko.");
  EXPECT_TRUE(gui.creationOrder.empty());

  gui.iconAvailable = true;
  gui.failing = {"menu"};
  EXPECT_EQ(runProgram(), 0);
  EXPECT_EQ(gui.messages.back(),
            "Error!|There was a problem initialising the GUI.\n\nTerminating brisko.");

  gui.failing.clear();
  EXPECT_EQ(runProgram(), 0);
  EXPECT_EQ(gui.messages.size(), 2u);
}

TEST_F(WindowProgramTest, MissingCompilerSaysWhereBriskoLookedAndWhatTheOpenCommandHeld) {
  files.deleteFile("/pb/compilers/PBcompiler.exe");
  const std::string place = platform::ideOpenCommandPlace();
  const std::string relative = ", so the path was taken relative to the current folder.";
  const std::pair<std::string, std::string> kCases[] = {
      {R"("/pb/PureBasic.exe" "%1")",
       "/pb/compilers/PBcompiler.exe\nThe installation folder /pb/ comes from the PureBasic IDE's "
       "open command in " +
           place + R"(, which holds "/pb/PureBasic.exe" "%1")"},
      {"  ", "compilers/PBcompiler.exe\nThe PureBasic IDE's open command in " + place +
                 " is empty" + relative},
      {R"(C:\PB\PureBasic.exe "%1")",
       "compilers/PBcompiler.exe\nThe PureBasic IDE's open command in " + place +
           R"( names no installation folder (it holds C:\PB\PureBasic.exe "%1"))" + relative},
  };
  for (const auto& [openCommand, explanation] : kCases) {
    command.command = openCommand;
    gui.messages.clear();
    EXPECT_EQ(runProgram(), 0);
    EXPECT_EQ(gui.messages.at(0),
              "Error!|Cannot locate the Purebasic compiler.\nbrisko looked for it at " +
                  explanation + "\nTo point brisko at an installation, set " + place +
                  " to the PureBasic IDE's open command (see the README).\n\nTerminating brisko.");
  }
}

}  // namespace
}  // namespace brisko::ui
