// The windowing the program needs: numbered windows holding numbered controls, a menu, a
// two-field status bar, tooltips, message boxes, the open-file dialog and an event queue.
// Texts are UTF-8. Control numbers are unique across windows and are the controls' own
// identifiers; window numbers are the program's (0 for the main window).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brisko::platform {

enum class ControlKind {
  frame,         // a group box with a caption
  checkBox,      // starts unchecked
  label,         // static text
  dropDownList,  // the height is that of the opened list
  textField,     // one line of editable text
  button,
  folderTree,  // drives and folders only, the selection kept visible without the focus
  image,       // shows the logo bitmap of the start-up resources
  richText,    // read-only, lines centred and wrapped at the box's width
};

struct ControlSetup {
  int number = 0;
  ControlKind kind = ControlKind::label;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  std::string text;
};

struct WindowSetup {
  int number = 0;
  int clientWidth = 0;
  int clientHeight = 0;
  std::string caption;
  // -1: a window of its own, with a minimise button; otherwise the number of the window
  // that owns it (system menu only).
  int owner = -1;
};

// One entry of a menu title; number 0 is a separator.
struct MenuItem {
  int number = 0;
  std::string text;
};
struct MenuTitle {
  std::string text;
  std::vector<MenuItem> items;
};

enum class GuiIcon { error, information };

// The character format for rich text added from now on.
struct RichTextFormat {
  unsigned red = 0;
  unsigned green = 0;
  unsigned blue = 0;
  bool bold = false;
  bool underline = false;
};

enum class GuiEventKind {
  control,  // a button or check box was clicked, a list selection changed
  menu,     // a menu item was chosen
  close,    // the close box of a window was used
};

struct GuiEvent {
  GuiEventKind kind = GuiEventKind::control;
  int window = 0;
  int number = 0;  // control or menu item; 0 for close
};

class Gui {
 public:
  virtual ~Gui() = default;

  // The start-up resources of the program's file: the application icon "ICONAPP" and the
  // logo bitmap "BMPLOGO". Returns whether the icon was obtained (a missing logo is not a
  // failure). Windows opened afterwards carry the icon.
  virtual bool loadResources() = 0;
  virtual void releaseResources() = 0;

  // Opens a window of the given client size centred on the screen and shows it; a window of
  // the same number is closed first. False when it cannot be created.
  virtual bool openWindow(const WindowSetup& setup) = 0;
  // Closes the window and its controls; nothing when it is not open.
  virtual void closeWindow(int window) = 0;
  virtual void setWindowEnabled(int window, bool enabled) = 0;
  // Redraws the window and its controls at once.
  virtual void repaintWindow(int window) = 0;

  // The window's tooltip control (one per window): tips at most maxWidth pixels wide, with
  // the title and the information icon. False when it cannot be created.
  virtual bool createToolTips(int window, int maxWidth, const std::string& title) = 0;
  // Shows text when the pointer rests on the control.
  virtual void addToolTip(int control, const std::string& text) = 0;
  virtual bool createMenu(int window, const std::vector<MenuTitle>& titles) = 0;
  // A status bar along the bottom with fields of the given widths (-1: the rest).
  virtual bool createStatusBar(int window, const std::vector<int>& fieldWidths) = 0;
  virtual void setStatusField(int window, int field, const std::string& text) = 0;

  // Creating a control is not checked: a control that failed simply does not react.
  virtual void createControl(int window, const ControlSetup& setup) = 0;
  // Width in pixels of text drawn in the default GUI font on the window; before the window is
  // open, as it will be drawn there (so a window can be sized to its texts).
  virtual int textWidth(int window, const std::string& text) const = 0;

  virtual void setText(int control, const std::string& text) = 0;
  virtual std::string text(int control) const = 0;
  virtual void setChecked(int control, bool checked) = 0;
  virtual bool isChecked(int control) const = 0;
  virtual void setEnabled(int control, bool enabled) = 0;
  virtual void setFocus(int control) = 0;

  virtual void addListEntry(int control, const std::string& text) = 0;
  virtual void selectListEntry(int control, int index) = 0;
  // The selected entry; -1 when none is.
  virtual int selectedListEntry(int control) const = 0;

  // The folder tree's selected folder with its trailing separator; empty when none is.
  virtual std::string folderTreePath(int control) const = 0;
  // Opens the tree down to the folder and selects it (separators of either kind).
  virtual void setFolderTreePath(int control, const std::string& folder) = 0;
  // Reads the folders again, keeping the selection, so that new folders show.
  virtual void refreshFolderTree(int control) = 0;

  virtual void setRichTextFormat(int control, const RichTextFormat& format) = 0;
  // Appends one line in the current format.
  virtual void addRichTextLine(int control, const std::string& text) = 0;

  // A modal message box with an OK button, owned by the main window when it is open.
  virtual void messageBox(const std::string& title, const std::string& text, GuiIcon icon) = 0;
  // The open-file dialog. filter holds description and pattern pairs separated by "|"
  // ("Text files | *.txt;*.log"); selectedFilter is the index of the pair shown first.
  // Returns the chosen path, or an empty text when the dialog was cancelled.
  virtual std::string openFileDialog(const std::string& title, const std::string& defaultFile,
                                     const std::string& filter, int selectedFilter) = 0;

  // Waits for the next event, handling window messages meanwhile.
  virtual GuiEvent waitEvent() = 0;
  // Handles at most one pending window message without waiting and returns the event it
  // gave (or one already queued), if any.
  virtual std::optional<GuiEvent> pollEvent() = 0;
};

// The windowing of the system (Windows only).
std::unique_ptr<Gui> makeSystemGui();

// The program's command line after its own name, as the system passed it (Windows only).
std::string programParameterText();

}  // namespace brisko::platform
