#include "ui/main_window.h"
#include "platform/text.h"

#include <algorithm>

#include "app/version.h"
#include "language/preferences.h"
#include "language/text_ids.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "session/request_validation.h"

namespace brisko::ui {
namespace {

using language::TextId;
using platform::ControlKind;
using platform::GuiEvent;
using platform::GuiEventKind;

// A control without a caption or without a tooltip.
constexpr std::nullopt_t kNone = std::nullopt;

// The controls as placed for texts that fit; mainWindowLayout widens those whose texts do not,
// and the two labels to their texts' width, and moves what stands right of them.
constexpr ControlRow kMainControls[] = {
    {kCompilerOptionsFrame, ControlKind::frame, 12, 13, 528, 90, TextId::guiCompilerOptions, kNone},
    {kThreadsafeBox, ControlKind::checkBox, 27, 37, 150, 18, TextId::guiThreadsafeOption,
     TextId::tooltipsThreadsafeOption},
    {kUnicodeBox, ControlKind::checkBox, 204, 37, 150, 18, TextId::guiUnicodeOption,
     TextId::tooltipsUnicodeOption},
    {kInlineAsmBox, ControlKind::checkBox, 381, 37, 150, 18, TextId::guiInlineAsmOption,
     TextId::tooltipsInlineAsmOption},
    {kOtherInstallationLabel, ControlKind::label, 27, 67, 5, 20, TextId::guiOtherInstallation,
     kNone},
    {kOtherInstallationField, ControlKind::textField, 47, 64, 401, 22, kNone,
     TextId::tooltipsOtherInstallation},
    {kOtherInstallationBrowse, ControlKind::button, 468, 64, 60, 23, TextId::guiBrowse, kNone},
    {kBriskoOptionsFrame, ControlKind::frame, 12, 116, 528, 114, TextId::guiBriskoOptions, kNone},
    {kExportGlobalsBox, ControlKind::checkBox, 27, 140, 150, 18, TextId::guiExportGlobals,
     TextId::tooltipsExportGlobals},
    {kLogFileBox, ControlKind::checkBox, 204, 140, 150, 18, TextId::guiLogFile,
     TextId::tooltipsLogFile},
    {kPbWrapperBox, ControlKind::checkBox, 381, 140, 150, 18, TextId::guiPbWrapper,
     TextId::tooltipsPbWrapper},
    {kVariantsBox, ControlKind::checkBox, 27, 164, 150, 18, TextId::guiVariants,
     TextId::tooltipsVariants},
    {kCHeaderBox, ControlKind::checkBox, 381, 164, 150, 18, TextId::guiCHeader,
     TextId::tooltipsCHeader},
    {kUseExistingAsmBox, ControlKind::checkBox, 27, 194, 150, 18, TextId::guiUseExistingAsmFiles,
     TextId::tooltipsUseExistingAsmFiles},
    {kOutputFormatLabel, ControlKind::label, 204, 196, 5, 20, TextId::guiOutputFormat, kNone},
    {kOutputFormatList, ControlKind::dropDownList, 214, 193, 150, 140, kNone,
     TextId::tooltipsOutputFormat},
    {kSourceFrame, ControlKind::frame, 12, 243, 528, 104, TextId::guiSource, kNone},
    {kSourceLabel, ControlKind::label, 27, 267, 5, 20, TextId::guiSelectSource, kNone},
    {kSourceField, ControlKind::textField, 47, 264, 401, 22, kNone, kNone},
    {kBrowseButton, ControlKind::button, 468, 264, 60, 23, TextId::guiBrowse, kNone},
    {kCheckButton, ControlKind::button, 27, 304, 90, 27, TextId::guiCheckErrors,
     TextId::tooltipsCheckErrors},
    {kDestinationFrame, ControlKind::frame, 12, 363, 528, 170, TextId::guiSelectDestination, kNone},
    {kDestinationTree, ControlKind::folderTree, 27, 387, 498, 130, kNone,
     TextId::tooltipsDestinationFolder},
    {kCancelButton, ControlKind::button, 420, 554, 50, 27, TextId::guiCancel, kNone},
    {kConvertButton, ControlKind::button, 490, 554, 50, 27, TextId::guiBrisko, kNone},
};

// The room beside a control's text (see roomBesideText): a check box's box is 13 pixels wide
// and its text starts a few pixels after it; a drop-down list's button is as wide as a
// scroll bar (17 pixels) within a three-dimensional edge, with a margin before the text; a
// button's text needs its edges and a margin on both sides; a frame's caption starts 8 pixels
// in.
constexpr int kCheckBoxRoom = 20;
constexpr int kDropDownListRoom = 28;
constexpr int kButtonRoom = 12;
constexpr int kFrameRoom = 20;
constexpr int kLabelRoom = 5;

// The rows whose controls keep their gaps, left to right; a text field moves with its label but
// keeps to its "Browse".
const std::vector<int> kRowsFlowingRight[] = {
    {kThreadsafeBox, kUnicodeBox, kInlineAsmBox},
    {kOtherInstallationLabel, kOtherInstallationField},
    {kExportGlobalsBox, kLogFileBox, kPbWrapperBox},
    {kVariantsBox, kCHeaderBox},
    {kUseExistingAsmBox, kOutputFormatLabel, kOutputFormatList},
    {kSourceLabel, kSourceField},
};
// The text fields and the "Browse" each ends before.
constexpr std::pair<int, int> kFieldsBeforeBrowse[] = {
    {kOtherInstallationField, kOtherInstallationBrowse},
    {kSourceField, kBrowseButton},
};
// The controls that keep to the right edge of the frames.
constexpr int kRightEdgeControls[] = {kOtherInstallationBrowse, kBrowseButton, kCancelButton,
                                      kConvertButton};
// How far right the controls inside the frames may reach: the table's rightmost check boxes
// end here, 9 pixels inside the frames.
constexpr int kContentRight = 531;
constexpr int kFieldGap = 20;

constexpr int kToolTipWidth = 150;
constexpr int kStatusDetailWidth = 300;
// The controls a conversion locks: the first 21 and those added after the about window's.
constexpr int kFirstLockedControl = 1;
constexpr int kLastLockedControl = 21;
constexpr int kLaterLockedControls[] = {kVariantsBox, kOtherInstallationLabel,
                                        kOtherInstallationField, kOtherInstallationBrowse};

constexpr const char* kSourceFilter = "Purebasic file (*.pb, *.pbi) | *.pb;*.pbi";
constexpr const char* kInstallationFilter =
    "PureBasic (PureBasic.exe, PBcompiler.exe) | PureBasic.exe;PBcompiler.exe";
// Where the window's settings are kept, in the user's settings folder.
constexpr const char* kSettingsFileName = "brisko.prefs";
constexpr const char* kSettingsGroup = "Window";
constexpr const char* kOtherInstallationKey = "OtherPbFolder";
constexpr const char* kVariantsKey = "BothThreadVariants";

constexpr const char* kAboutLines[] = {
    "(.pb / pbi --> .obj / .lib)", "", "Written by the brisko developers", "2008", "",
};
// Added one line at a time, split at each CR LF.
constexpr const char* kAboutCredits =
    "With thanks to:\r\n"
    "the PureBasic team, whose compiler does the real work,\r\n"
    "Tomasz Grysztar for the flat assembler (FASM),\r\n"
    "Pelle Orinius for the librarian (polib),\r\n"
    "and the expat developers for the XML parser.";
constexpr platform::RichTextFormat kHeadingFormat{0, 0, 255, true, true};
constexpr platform::RichTextFormat kPlainFormat{0, 0, 255, false, false};

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<TextId> textsShownBy(const ControlRow& row) {
  if (row.number == kOutputFormatList) {
    return {std::begin(kOutputFormatEntries), std::end(kOutputFormatEntries)};
  }
  if (row.text) return {*row.text};
  return {};
}

int roomBesideText(ControlKind kind) {
  switch (kind) {
    case ControlKind::checkBox:
      return kCheckBoxRoom;
    case ControlKind::dropDownList:
      return kDropDownListRoom;
    case ControlKind::button:
      return kButtonRoom;
    case ControlKind::frame:
      return kFrameRoom;
    case ControlKind::label:
      return kLabelRoom;
    default:
      return 0;
  }
}

MainLayout mainWindowLayout(const std::function<int(int)>& textWidth) {
  MainLayout layout;
  layout.controls.assign(std::begin(kMainControls), std::end(kMainControls));
  const auto find = [](std::vector<ControlRow>& rows, int number) -> ControlRow& {
    return *std::find_if(rows.begin(), rows.end(),
                         [number](const ControlRow& row) { return row.number == number; });
  };
  std::vector<ControlRow> table = layout.controls;
  const auto placed = [&](int number) -> ControlRow& { return find(layout.controls, number); };
  const auto original = [&](int number) -> const ControlRow& { return find(table, number); };
  const auto right = [](const ControlRow& row) { return row.x + row.width; };

  // Every control as wide as its text needs; a label exactly so.
  for (ControlRow& row : layout.controls) {
    const int needed = textWidth(row.number) + roomBesideText(row.kind);
    row.width = row.kind == ControlKind::label ? needed : std::max(row.width, needed);
  }
  // Along a row, each control keeps the table's gap after the one before it.
  for (const auto& flow : kRowsFlowingRight) {
    for (std::size_t i = 1; i < flow.size(); ++i) {
      const ControlRow& before = placed(flow[i - 1]);
      ControlRow& row = placed(flow[i]);
      const int gap = original(flow[i]).x - right(original(flow[i - 1]));
      row.x = std::max(row.x, right(before) + gap);
    }
  }
  // The controls at the right edge grow leftwards; "Cancel" keeps its gap before "Brisko".
  for (const int number : kRightEdgeControls) {
    ControlRow& row = placed(number);
    row.x = right(original(number)) - row.width;
  }
  ControlRow& cancel = placed(kCancelButton);
  const int cancelGap = original(kConvertButton).x - right(original(kCancelButton));
  cancel.x = std::min(cancel.x, placed(kConvertButton).x - cancelGap - cancel.width);

  // Rows reaching past the frames' inner edge widen the window by as much.
  int reach = kContentRight;
  for (const auto& flow : kRowsFlowingRight) {
    for (const int number : flow) {
      const bool field = number == kSourceField || number == kOtherInstallationField;
      if (!field) reach = std::max(reach, right(placed(number)));
    }
  }
  reach = std::max(reach, right(placed(kCheckButton)));
  const int wider = reach - kContentRight;
  layout.width += wider;
  for (ControlRow& row : layout.controls) {
    if (row.kind == ControlKind::frame || row.number == kDestinationTree) row.width += wider;
  }
  for (const int number : kRightEdgeControls) placed(number).x += wider;

  // Each text field ends a fixed gap left of its "Browse".
  for (const auto& [fieldNumber, browse] : kFieldsBeforeBrowse) {
    ControlRow& field = placed(fieldNumber);
    field.width = placed(browse).x - kFieldGap - field.x;
  }
  return layout;
}

std::string firstParameter(std::string_view parameterText) {
  std::size_t at = 0;
  while (at < parameterText.size() && isBlank(parameterText[at])) ++at;
  if (at < parameterText.size() && parameterText[at] == '"') {
    const std::size_t end = parameterText.find('"', at + 1);
    const std::size_t stop = end == std::string_view::npos ? parameterText.size() : end;
    return std::string(parameterText.substr(at + 1, stop - at - 1));
  }
  std::size_t end = at;
  while (end < parameterText.size() && !isBlank(parameterText[end])) ++end;
  return std::string(parameterText.substr(at, end - at));
}

MainWindow::MainWindow(platform::Gui& gui, const platform::Platform& platform,
                       app::Feedback& feedback, const app::ToolchainPaths& paths)
    : gui_(gui), platform_(platform), feedback_(feedback), session_(platform, feedback, paths) {}

MainWindow::~MainWindow() {
  closeWindows();
}

void MainWindow::closeWindows() {
  gui_.closeWindow(kAboutWindow);
  gui_.closeWindow(kMainWindow);
}

std::optional<TextId> MainWindow::open() {
  // The controls fit their texts in this language; the window widens when they need it.
  const MainLayout layout = mainWindowLayout([this](int number) {
    int widest = 0;
    for (const ControlRow& row : kMainControls) {
      if (row.number != number) continue;
      for (const TextId id : textsShownBy(row)) {
        widest = std::max(widest, gui_.textWidth(kMainWindow, text(id)));
      }
    }
    return widest;
  });
  if (!gui_.openWindow({kMainWindow, layout.width, layout.height, text(TextId::guiTitle), -1})) {
    return TextId::guiProblem;
  }
  if (!gui_.createToolTips(kMainWindow, kToolTipWidth, text(TextId::guiTitle))) {
    return TextId::guiProblem;
  }
  const std::vector<platform::MenuTitle> menu = {
      {"Options",
       {{kMenuRegisterIdeTool, text(TextId::menusOptionsPbIde)},
        {0, ""},
        {kMenuQuit, text(TextId::menusOptionsQuit)}}},
      {"Help", {{kMenuAbout, text(TextId::menusHelpAbout)}}},
  };
  if (!gui_.createMenu(kMainWindow, menu)) return TextId::guiProblem;

  for (const ControlRow& row : layout.controls) {
    const std::string caption = row.text ? text(*row.text) : std::string();
    gui_.createControl(kMainWindow,
                       {row.number, row.kind, row.x, row.y, row.width, row.height, caption});
    if (row.tooltip) gui_.addToolTip(row.number, text(*row.tooltip));
  }
  for (const TextId entry : kOutputFormatEntries) {
    gui_.addListEntry(kOutputFormatList, text(entry));
  }
  gui_.selectListEntry(kOutputFormatList, 0);

  if (!gui_.createStatusBar(kMainWindow, {layout.width - kStatusDetailWidth, kStatusDetailWidth})) {
    return TextId::guiProblem;
  }
  return std::nullopt;
}

std::optional<TextId> MainWindow::run(std::string_view parameterText) {
  std::optional<TextId> failure = open();
  if (!failure) {
    feedback_.setStatus(TextId::statusbarCompilerEnvironment);
    gui_.repaintWindow(kMainWindow);
    failure = session_.buildCatalogue(*this);
  }
  if (!failure) {
    loadSettings();
    feedback_.setStatus(TextId::statusbarAwaitingInstructions);
    const std::string parameter = firstParameter(parameterText);
    if (!parameter.empty()) takeSourceIfUsable(parameter);
    while (handle(gui_.waitEvent())) {
    }
    saveSettings();
  }
  closeWindows();
  return failure;
}

bool MainWindow::handle(const GuiEvent& event) {
  switch (event.kind) {
    case GuiEventKind::close:
      if (event.window != kAboutWindow) return false;
      gui_.closeWindow(kAboutWindow);
      return true;
    case GuiEventKind::menu:
      if (event.number == kMenuQuit) return false;
      if (event.number == kMenuRegisterIdeTool) registerAsIdeTool();
      if (event.number == kMenuAbout) openAbout();
      return true;
    case GuiEventKind::control:
      break;
  }
  switch (event.number) {
    case kCancelButton:
      return false;
    case kBrowseButton:
      browse();
      break;
    case kOtherInstallationBrowse:
      browseInstallation();
      break;
    case kCheckButton:
    case kConvertButton: {
      const auto request = buildRequest(event.number == kCheckButton ? app::RequestMode::check
                                                                     : app::RequestMode::convert);
      if (request) runRequest(*request);
      break;
    }
    case kUseExistingAsmBox:
      greyOptionsForExistingAsm();
      break;
    case kOkayButton:
      gui_.closeWindow(kAboutWindow);
      break;
    default:
      break;  // the other controls are read when a request is built
  }
  return true;
}

// A file larger than zero bytes becomes the source, and the tree shows its folder.
void MainWindow::takeSourceIfUsable(const std::string& path) {
  const platform::FileSystem& files = platform_.files;
  if (!files.exists(path) || files.isFolder(path)) return;
  const auto size = files.fileSize(path);
  if (!size || *size == 0) return;
  gui_.setText(kSourceField, path);
  gui_.setFolderTreePath(kDestinationTree, platform::folderPart(path));
}

void MainWindow::browseInstallation() {
  feedback_.setStatus(TextId::statusbarOpeningFile);
  const std::string path =
      gui_.openFileDialog(text(TextId::guiChooseInstallation), "", kInstallationFilter, 0);
  if (!path.empty()) {
    // PBcompiler.exe stands in compilers/ below the installation folder, PureBasic.exe in it.
    std::string folder = platform::folderPart(path);
    if (platform::equalsIgnoringCase(platform::filePart(path), "PBcompiler.exe")) {
      folder = platform::folderPart(folder.substr(0, folder.size() - 1));
    }
    gui_.setText(kOtherInstallationField, folder);
  }
  feedback_.setStatus(TextId::statusbarAwaitingInstructions);
}

std::string MainWindow::settingsPath() const {
  const std::string folder = platform::userSettingsFolder(platform_.environment);
  return folder.empty() ? folder : folder + kSettingsFileName;
}

void MainWindow::loadSettings() {
  const std::string path = settingsPath();
  const auto bytes = path.empty() ? std::nullopt : platform_.files.readFile(path);
  if (!bytes) return;
  const language::Preferences settings = language::Preferences::parse(*bytes);
  const language::PreferenceGroup* group = settings.findGroup(kSettingsGroup);
  if (group == nullptr) return;
  if (const auto folder = group->find(kOtherInstallationKey)) {
    gui_.setText(kOtherInstallationField, *folder);
  }
  gui_.setChecked(kVariantsBox, group->find(kVariantsKey) == "1");
}

// Kept as UTF-8, with the rest of the file as it was. A file that cannot be written costs only
// the remembered settings, so nothing is shown.
void MainWindow::saveSettings() {
  const std::string path = settingsPath();
  if (path.empty()) return;
  platform::FileSystem& files = platform_.files;
  language::Preferences settings =
      language::Preferences::parse(files.readFile(path).value_or("\xEF\xBB\xBF"));
  language::PreferenceGroup& group = settings.group(kSettingsGroup);
  group.set(kOtherInstallationKey,
            std::string(platform::trimSpaces(gui_.text(kOtherInstallationField))));
  group.set(kVariantsKey, gui_.isChecked(kVariantsBox) ? "1" : "0");
  if (files.makeFolders(platform::folderPart(path))) files.writeFile(path, settings.write());
}

void MainWindow::browse() {
  feedback_.setStatus(TextId::statusbarOpeningFile);
  const std::string path = gui_.openFileDialog(text(TextId::guiChooseFile), "", kSourceFilter, 0);
  if (!path.empty()) takeSourceIfUsable(path);
  feedback_.setStatus(TextId::statusbarAwaitingInstructions);
}

app::ConversionOptions MainWindow::collectOptions() const {
  struct OptionBox {
    int control;
    app::OptionBit bit;
  };
  static constexpr OptionBox kBoxes[] = {
      {kInlineAsmBox, app::kInlineAsm}, {kThreadsafeBox, app::kThreadsafe},
      {kUnicodeBox, app::kUnicode},     {kExportGlobalsBox, app::kExportGlobals},
      {kPbWrapperBox, app::kPbWrapper}, {kCHeaderBox, app::kCHeader},
      {kLogFileBox, app::kLogFile},     {kUseExistingAsmBox, app::kUseExistingAsmFiles},
      {kVariantsBox, app::kVariants},
  };
  app::ConversionOptions options;
  for (const OptionBox& box : kBoxes) {
    if (gui_.isChecked(box.control)) options.flags |= box.bit;
  }
  return options;
}

std::optional<app::ConversionRequest> MainWindow::buildRequest(app::RequestMode mode) {
  const std::string source(platform::trimSpaces(gui_.text(kSourceField)));
  if (source.empty()) return std::nullopt;
  if (!session::validateSourcePath(feedback_, platform_.files, source).succeeded()) {
    gui_.setText(kSourceField, "");
    gui_.setFocus(kSourceField);
    return std::nullopt;
  }
  app::ConversionRequest request;
  request.sourcePath = source;
  request.options = collectOptions();
  request.mode = mode;
  if (mode == app::RequestMode::convert) {
    request.destinationFolder = gui_.folderTreePath(kDestinationTree);
    request.otherPbFolder = platform::trimSpaces(gui_.text(kOtherInstallationField));
  }
  return request;
}

void MainWindow::runRequest(const app::ConversionRequest& request) {
  if (request.mode == app::RequestMode::check) {
    // The compiler works in the temporary folder and its verdict is shown.
    session_.check(request, *this);
    return;
  }
  const int format = gui_.selectedListEntry(kOutputFormatList);
  if (format != 0 && format != 1) {
    feedback_.setStatus(TextId::statusbarAwaitingInstructions);
    return;
  }
  app::ConversionRequest conversion = request;
  conversion.options.outputFormat = static_cast<app::OutputFormat>(format);
  // The window stays locked, repainted once in its disabled state, while the conversion runs;
  // it polls the window's events meanwhile. A library's sources are assembled with one FASM
  // run per processor at a time.
  saveSettings();
  lockWindow();
  repaintWindow();
  const pipeline::ConversionResult result =
      session_.convert(conversion, platform::processorCount(), *this);
  if (result.foldersReady) refreshDestinationView();
  unlockWindow();
  // The status names the object or library written, its full path beside it, until the next
  // action sets the status again.
  if (result.outcome.succeeded() && !result.writtenFiles.empty()) {
    const std::string& written = result.writtenFiles.front();
    feedback_.setStatus(TextId::statusbarWritten, {platform::filePart(written)});
    feedback_.setStatusDetail(written);
  }
}

// Reused assembly sources fix the output format and the exported variables, and are one
// build's.
void MainWindow::greyOptionsForExistingAsm() {
  const bool reuse = gui_.isChecked(kUseExistingAsmBox);
  for (const int control : {kOutputFormatList, kExportGlobalsBox, kVariantsBox,
                            kOtherInstallationField, kOtherInstallationBrowse}) {
    gui_.setEnabled(control, !reuse);
  }
}

void MainWindow::registerAsIdeTool() {
  feedback_.setStatus(TextId::statusbarAwaitingInstructions);
  session_.registerIde(std::nullopt);
}

void MainWindow::openAbout() {
  if (!gui_.openWindow(
          {kAboutWindow, kAboutWidth, kAboutHeight, text(TextId::helpaboutTitle), kMainWindow})) {
    return;
  }
  gui_.createControl(kAboutWindow, {kLogoImage, ControlKind::image, 10, 10, 368, 75, ""});
  gui_.createControl(kAboutWindow, {kAboutText, ControlKind::richText, 10, 110, 368, 240, ""});
  gui_.createControl(kAboutWindow,
                     {kOkayButton, ControlKind::button, 150, 370, 88, 20, text(TextId::guiOkay)});
  gui_.setRichTextFormat(kAboutText, kHeadingFormat);
  gui_.addRichTextLine(kAboutText, std::string("brisko version ") + app::kVersionText);
  gui_.setRichTextFormat(kAboutText, kPlainFormat);
  for (const char* line : kAboutLines) gui_.addRichTextLine(kAboutText, line);
  std::string_view credits = kAboutCredits;
  for (;;) {
    const std::size_t end = credits.find("\r\n");
    gui_.addRichTextLine(kAboutText, std::string(credits.substr(0, end)));
    if (end == std::string_view::npos) break;
    credits.remove_prefix(end + 2);
  }
}

void MainWindow::lockWindow() {
  gui_.setWindowEnabled(kMainWindow, false);
  for (int control = kFirstLockedControl; control <= kLastLockedControl; ++control) {
    gui_.setEnabled(control, false);
  }
  for (const int control : kLaterLockedControls) gui_.setEnabled(control, false);
}

void MainWindow::unlockWindow() {
  gui_.setWindowEnabled(kMainWindow, true);
  for (int control = kFirstLockedControl; control <= kLastLockedControl; ++control) {
    gui_.setEnabled(control, true);
  }
  for (const int control : kLaterLockedControls) gui_.setEnabled(control, true);
  // What the reuse of existing sources fixes stays greyed.
  greyOptionsForExistingAsm();
}

void MainWindow::repaintWindow() {
  gui_.repaintWindow(kMainWindow);
}

void MainWindow::refreshDestinationView() {
  gui_.refreshFolderTree(kDestinationTree);
}

// The event is taken so that the window stays responsive, but nothing acts on it.
void MainWindow::pollEvents() {
  (void)gui_.pollEvent();
}

}  // namespace brisko::ui
