// The main window: options, output format, source field, destination tree and buttons, the
// menu, the tooltips and the status bar; its event loop runs every user action. It realises
// the window services on itself, and opens the about window.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/configuration.h"
#include "app/feedback.h"
#include "language/text_ids.h"
#include "platform/gui.h"
#include "platform/platform.h"
#include "session/session.h"

namespace brisko::ui {

// Window numbers.
inline constexpr int kMainWindow = 0;
inline constexpr int kAboutWindow = 1;

// Control numbers; each is also the control's identifier in the system.
enum ControlNumber : int {
  kCompilerOptionsFrame = 1,
  kThreadsafeBox = 2,
  kInlineAsmBox = 3,
  kUnicodeBox = 4,
  kBriskoOptionsFrame = 5,
  kPbWrapperBox = 6,
  kLogFileBox = 7,
  kUseExistingAsmBox = 8,
  kSourceFrame = 9,
  kOutputFormatLabel = 10,
  kOutputFormatList = 11,
  kSourceLabel = 12,
  kSourceField = 13,
  kBrowseButton = 14,
  kCheckButton = 15,
  kDestinationFrame = 16,
  kDestinationTree = 17,
  kCancelButton = 18,
  kConvertButton = 19,
  kExportGlobalsBox = 20,
  kCHeaderBox = 21,
  kLogoImage = 22,
  kAboutText = 23,
  kOkayButton = 24,
  kVariantsBox = 25,
  kOtherInstallationLabel = 26,
  kOtherInstallationField = 27,
  kOtherInstallationBrowse = 28,
};

// Menu item numbers.
inline constexpr int kMenuRegisterIdeTool = 1;
inline constexpr int kMenuQuit = 2;
inline constexpr int kMenuAbout = 3;

// Client sizes.
inline constexpr int kMainWidth = 552;
inline constexpr int kMainHeight = 634;
inline constexpr int kAboutWidth = 388;
inline constexpr int kAboutHeight = 400;

// One control of the main window: its place and the language texts of its caption and
// tooltip, if it has them.
struct ControlRow {
  int number;
  platform::ControlKind kind;
  int x;
  int y;
  int width;
  int height;
  std::optional<language::TextId> text;
  std::optional<language::TextId> tooltip;
};

// The entries of the output-format list, in the order of app::OutputFormat.
inline constexpr language::TextId kOutputFormatEntries[] = {language::TextId::guiMsCoff,
                                                            language::TextId::guiMsCoffLib};

// The texts a control of the table shows: its caption, or the output-format list's entries.
std::vector<language::TextId> textsShownBy(const ControlRow& row);

// The pixels a control of the kind needs beside its text for the text to show whole: a check
// box's box and the gap after it, a drop-down list's button and edges, a button's edges, a
// frame's corners; a label is five pixels wider than its text.
int roomBesideText(platform::ControlKind kind);

// The main window's client size and its controls in creation order.
struct MainLayout {
  int width = kMainWidth;
  int height = kMainHeight;
  std::vector<ControlRow> controls;
};

// The layout for the widths of the texts the controls show (textWidth(number): the widest of
// a control's texts in pixels, 0 for one without text). The control table's places and sizes
// hold where a text fits. A control whose text does not fit is widened to the text and the
// room beside it: controls to its right in its row move right by as much (the labels "Select
// output format" and "Select source file" are always as wide as their texts, so the list and
// the source field follow them), while "Browse", "Cancel" and "Brisko", which keep to the right
// edge, grow leftwards. When a row then reaches past the frames' inner edge, the window, its
// frames, the destination tree and the source field widen by as much, and the controls at the
// right edge move along. The source field always ends 20 pixels left of "Browse".
MainLayout mainWindowLayout(const std::function<int(int)>& textWidth);

// The first parameter of a command line's parameter text: parameters are separated by
// blanks; one in double quotes may hold blanks and is taken without its quotes.
std::string firstParameter(std::string_view parameterText);

class MainWindow : public app::WindowServices {
 public:
  MainWindow(platform::Gui& gui, const platform::Platform& platform, app::Feedback& feedback,
             const app::ToolchainPaths& paths);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Opens the window, builds the library catalogue, takes the source named by the first
  // parameter of parameterText and runs the event loop. Returns nothing when the user quits;
  // otherwise the failure for the caller to report: guiProblem when the window, its tooltips,
  // menu or status bar cannot be created, or the catalogue's failure. The windows are closed
  // on return.
  std::optional<language::TextId> run(std::string_view parameterText);

  // Around a conversion: the window and its controls 1 to 21 disabled, one repaint, the
  // destination tree re-read, enabled again.
  void lockWindow();
  void unlockWindow();
  void repaintWindow();
  void refreshDestinationView();
  void pollEvents() override;

 private:
  std::optional<language::TextId> open();
  // False when the event ends the loop.
  bool handle(const platform::GuiEvent& event);
  void takeSourceIfUsable(const std::string& path);
  void browse();
  // The other processor's installation: its folder from the PureBasic.exe or PBcompiler.exe
  // the user picks.
  void browseInstallation();
  // The variants box and the other processor's installation are remembered between runs in
  // the user's settings folder (brisko.prefs).
  std::string settingsPath() const;
  void loadSettings();
  void saveSettings();
  // The request of a button press; nothing for an empty source field, or for an unusable
  // source, which has been reported and cleared.
  std::optional<app::ConversionRequest> buildRequest(app::RequestMode mode);
  void runRequest(const app::ConversionRequest& request);
  app::ConversionOptions collectOptions() const;
  void greyOptionsForExistingAsm();
  void registerAsIdeTool();
  void openAbout();
  void closeWindows();
  const std::string& text(language::TextId id) const { return feedback_.text(id); }

  platform::Gui& gui_;
  const platform::Platform& platform_;
  app::Feedback& feedback_;
  session::Session session_;
};

}  // namespace brisko::ui
