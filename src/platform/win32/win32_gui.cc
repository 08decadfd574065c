// The windowing on Win32: top-level windows of one window class whose procedure turns
// clicks, menu choices and close boxes into queued events; controls are the standard
// classes (the folder tree a TreeView filled with drives and folders as they are opened,
// the about text a rich edit control).
#include <windows.h>
// The common controls, dialogs and rich edit need the types of windows.h.
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <algorithm>
#include <cwchar>
#include <deque>
#include <map>
#include <set>
#include <vector>

#include "platform/gui.h"
#include "platform/win32/wide_text.h"

namespace brisko::platform {
namespace {

using win32::narrow;
using win32::widen;

constexpr wchar_t kWindowClass[] = L"brisko_window";
// The status bar's identifier, clear of the control numbers.
constexpr int kStatusBarId = 1000;
constexpr DWORD kOpenFileBufferCharacters = 32768;

HFONT guiFont() {
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool sameFolderStart(const std::wstring& folder, const std::wstring& path) {
  return path.size() >= folder.size() &&
         _wcsnicmp(folder.c_str(), path.c_str(), folder.size()) == 0;
}

// The items of a folder tree carry the index of their folder's path (with its trailing
// backslash) in the tree's list of paths.
struct FolderTree {
  std::vector<std::wstring> paths;
};

struct WindowRecord {
  HWND handle = nullptr;
  HWND statusBar = nullptr;
  HWND toolTips = nullptr;
  int clientWidth = 0;
  int clientHeight = 0;
};

struct ControlRecord {
  HWND handle = nullptr;
  int window = 0;
  ControlKind kind = ControlKind::label;
};

class Win32Gui : public Gui {
 public:
  Win32Gui();
  ~Win32Gui() override;
  Win32Gui(const Win32Gui&) = delete;
  Win32Gui& operator=(const Win32Gui&) = delete;

  bool loadResources() override;
  void releaseResources() override;

  bool openWindow(const WindowSetup& setup) override;
  void closeWindow(int window) override;
  void setWindowEnabled(int window, bool enabled) override;
  void repaintWindow(int window) override;

  bool createToolTips(int window, int maxWidth, const std::string& title) override;
  void addToolTip(int control, const std::string& text) override;
  bool createMenu(int window, const std::vector<MenuTitle>& titles) override;
  bool createStatusBar(int window, const std::vector<int>& fieldWidths) override;
  void setStatusField(int window, int field, const std::string& text) override;

  void createControl(int window, const ControlSetup& setup) override;
  int textWidth(int window, const std::string& text) const override;

  void setText(int control, const std::string& text) override;
  std::string text(int control) const override;
  void setChecked(int control, bool checked) override;
  bool isChecked(int control) const override;
  void setEnabled(int control, bool enabled) override;
  void setFocus(int control) override;

  void addListEntry(int control, const std::string& text) override;
  void selectListEntry(int control, int index) override;
  int selectedListEntry(int control) const override;

  std::string folderTreePath(int control) const override;
  void setFolderTreePath(int control, const std::string& folder) override;
  void refreshFolderTree(int control) override;

  void setRichTextFormat(int control, const RichTextFormat& format) override;
  void addRichTextLine(int control, const std::string& text) override;

  void messageBox(const std::string& title, const std::string& text, GuiIcon icon) override;
  std::string openFileDialog(const std::string& title, const std::string& defaultFile,
                             const std::string& filter, int selectedFilter) override;

  GuiEvent waitEvent() override;
  std::optional<GuiEvent> pollEvent() override;

 private:
  static LRESULT CALLBACK windowProcedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
  void handleCommand(int window, WPARAM wParam, LPARAM lParam);
  void forgetWindow(HWND handle);
  void processMessage(MSG& message);

  HWND windowHandle(int window) const;
  int windowNumber(HWND handle) const;
  HWND controlHandle(int control) const;
  const ControlRecord* controlRecord(int control) const;

  // The folder tree.
  void fillDrives(int control);
  HTREEITEM addFolderItem(int control, HTREEITEM parent, const std::wstring& name,
                          std::wstring path);
  void fillFolder(int control, HTREEITEM item);
  std::wstring itemPath(int control, HTREEITEM item) const;

  HINSTANCE instance_ = GetModuleHandleW(nullptr);
  HICON icon_ = nullptr;
  HBITMAP logo_ = nullptr;
  HMODULE richEditLibrary_ = nullptr;
  const wchar_t* richEditClass_ = nullptr;
  std::map<int, WindowRecord> windows_;
  std::map<int, ControlRecord> controls_;
  std::map<int, FolderTree> trees_;
  std::map<int, RichTextFormat> richFormats_;
  std::set<int> richTextsWithLines_;
  std::deque<GuiEvent> events_;
};

Win32Gui::Win32Gui() {
  INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                               ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = instance_;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);
}

Win32Gui::~Win32Gui() {
  // Owned windows first: they go with their owner anyway.
  std::vector<int> open;
  for (const auto& entry : windows_) open.push_back(entry.first);
  for (auto window = open.rbegin(); window != open.rend(); ++window) closeWindow(*window);
  releaseResources();
  if (richEditLibrary_ != nullptr) FreeLibrary(richEditLibrary_);
  UnregisterClassW(kWindowClass, instance_);
}

bool Win32Gui::loadResources() {
  // The icon is a shared resource of the program's file: it is never destroyed.
  icon_ = LoadIconW(instance_, L"ICONAPP");
  if (logo_ == nullptr) {
    logo_ = static_cast<HBITMAP>(
        LoadImageW(instance_, L"BMPLOGO", IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  }
  return icon_ != nullptr;
}

void Win32Gui::releaseResources() {
  icon_ = nullptr;
  if (logo_ != nullptr) DeleteObject(logo_);
  logo_ = nullptr;
}

HWND Win32Gui::windowHandle(int window) const {
  const auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : found->second.handle;
}

int Win32Gui::windowNumber(HWND handle) const {
  for (const auto& [number, record] : windows_) {
    if (record.handle == handle) return number;
  }
  return -1;
}

const ControlRecord* Win32Gui::controlRecord(int control) const {
  const auto found = controls_.find(control);
  return found == controls_.end() ? nullptr : &found->second;
}

HWND Win32Gui::controlHandle(int control) const {
  const ControlRecord* record = controlRecord(control);
  return record == nullptr ? nullptr : record->handle;
}

// Places a window of the given style so that its client area has the size asked for, centred
// in the work area.
void placeCentred(HWND handle, int clientWidth, int clientHeight) {
  RECT client{};
  RECT frame{};
  GetClientRect(handle, &client);
  GetWindowRect(handle, &frame);
  const int width = (frame.right - frame.left) + clientWidth - (client.right - client.left);
  const int height = (frame.bottom - frame.top) + clientHeight - (client.bottom - client.top);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + std::max(0, static_cast<int>(work.right - work.left - width) / 2);
  const int y = work.top + std::max(0, static_cast<int>(work.bottom - work.top - height) / 2);
  SetWindowPos(handle, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32Gui::openWindow(const WindowSetup& setup) {
  closeWindow(setup.number);
  HWND owner = setup.owner >= 0 ? windowHandle(setup.owner) : nullptr;
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  if (setup.owner < 0) style |= WS_MINIMIZEBOX;
  RECT frame{0, 0, setup.clientWidth, setup.clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  HWND handle = CreateWindowExW(0, kWindowClass, widen(setup.caption).c_str(), style, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                owner, nullptr, instance_, this);
  if (handle == nullptr) return false;
  windows_[setup.number] = {handle, nullptr, nullptr, setup.clientWidth, setup.clientHeight};
  if (icon_ != nullptr) {
    SendMessageW(handle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  }
  placeCentred(handle, setup.clientWidth, setup.clientHeight);
  ShowWindow(handle, SW_SHOW);
  UpdateWindow(handle);
  return true;
}

void Win32Gui::closeWindow(int window) {
  HWND handle = windowHandle(window);
  if (handle != nullptr) DestroyWindow(handle);  // WM_NCDESTROY forgets it
}

// The window's controls and its tooltip control go with it; so do the windows it owns,
// which the system destroys first.
void Win32Gui::forgetWindow(HWND handle) {
  const int window = windowNumber(handle);
  if (window < 0) return;
  if (windows_[window].toolTips != nullptr) DestroyWindow(windows_[window].toolTips);
  for (auto control = controls_.begin(); control != controls_.end();) {
    if (control->second.window == window) {
      trees_.erase(control->first);
      richFormats_.erase(control->first);
      richTextsWithLines_.erase(control->first);
      control = controls_.erase(control);
    } else {
      ++control;
    }
  }
  windows_.erase(window);
}

void Win32Gui::setWindowEnabled(int window, bool enabled) {
  HWND handle = windowHandle(window);
  if (handle != nullptr) EnableWindow(handle, enabled ? TRUE : FALSE);
}

void Win32Gui::repaintWindow(int window) {
  HWND handle = windowHandle(window);
  if (handle == nullptr) return;
  RedrawWindow(handle, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

bool Win32Gui::createToolTips(int window, int maxWidth, const std::string& title) {
  if (windowHandle(window) == nullptr) return false;
  // Without an owner, so that the tips of an inactive window still show.
  HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, nullptr);
  if (tips == nullptr) return false;
  windows_[window].toolTips = tips;
  SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, maxWidth);
  const std::wstring wideTitle = widen(title);
  SendMessageW(tips, TTM_SETTITLEW, TTI_INFO, reinterpret_cast<LPARAM>(wideTitle.c_str()));
  return true;
}

void Win32Gui::addToolTip(int control, const std::string& text) {
  const ControlRecord* record = controlRecord(control);
  if (record == nullptr) return;
  HWND tips = windows_[record->window].toolTips;
  if (tips == nullptr) return;
  std::wstring wideText = widen(text);
  // The tool is the control itself; subclassing it lets the tip follow the pointer.
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = windowHandle(record->window);
  tool.uId = reinterpret_cast<UINT_PTR>(record->handle);
  tool.lpszText = wideText.data();
  SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool Win32Gui::createMenu(int window, const std::vector<MenuTitle>& titles) {
  HWND handle = windowHandle(window);
  if (handle == nullptr) return false;
  HMENU bar = CreateMenu();
  if (bar == nullptr) return false;
  for (const MenuTitle& title : titles) {
    HMENU popup = CreatePopupMenu();
    if (popup == nullptr) {
      DestroyMenu(bar);
      return false;
    }
    for (const MenuItem& item : title.items) {
      if (item.number == 0) {
        AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
      } else {
        AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(item.number), widen(item.text).c_str());
      }
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), widen(title.text).c_str());
  }
  if (!SetMenu(handle, bar)) {
    DestroyMenu(bar);
    return false;
  }
  // The menu bar takes its height from the window, not from the client area.
  const WindowRecord& record = windows_[window];
  placeCentred(handle, record.clientWidth, record.clientHeight);
  return true;
}

bool Win32Gui::createStatusBar(int window, const std::vector<int>& fieldWidths) {
  HWND handle = windowHandle(window);
  if (handle == nullptr) return false;
  HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                             handle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                             instance_, nullptr);
  if (bar == nullptr) return false;
  std::vector<int> edges;
  int edge = 0;
  for (int width : fieldWidths) {
    edge = width < 0 ? -1 : edge + width;
    edges.push_back(edge);
  }
  SendMessageW(bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  windows_[window].statusBar = bar;
  return true;
}

void Win32Gui::setStatusField(int window, int field, const std::string& text) {
  const auto found = windows_.find(window);
  if (found == windows_.end() || found->second.statusBar == nullptr) return;
  const std::wstring wide = widen(text);
  SendMessageW(found->second.statusBar, SB_SETTEXTW, static_cast<WPARAM>(field),
               reinterpret_cast<LPARAM>(wide.c_str()));
}

void Win32Gui::createControl(int window, const ControlSetup& setup) {
  HWND parent = windowHandle(window);
  if (parent == nullptr) return;
  const wchar_t* className = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD exStyle = 0;
  switch (setup.kind) {
    case ControlKind::frame:
      className = L"BUTTON";
      style |= BS_GROUPBOX;
      break;
    case ControlKind::checkBox:
      className = L"BUTTON";
      style |= BS_AUTOCHECKBOX | WS_TABSTOP;
      break;
    case ControlKind::label:
      style |= SS_LEFT;
      break;
    case ControlKind::dropDownList:
      className = WC_COMBOBOXW;
      style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
      break;
    case ControlKind::textField:
      className = L"EDIT";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::button:
      className = L"BUTTON";
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case ControlKind::folderTree:
      className = WC_TREEVIEWW;
      style |= TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::image:
      style |= SS_BITMAP;
      break;
    case ControlKind::richText:
      if (richEditLibrary_ == nullptr) {
        richEditLibrary_ = LoadLibraryW(L"msftedit.dll");
        richEditClass_ = MSFTEDIT_CLASS;
        if (richEditLibrary_ == nullptr) {
          richEditLibrary_ = LoadLibraryW(L"riched20.dll");
          richEditClass_ = RICHEDIT_CLASSW;
        }
      }
      className = richEditClass_ != nullptr ? richEditClass_ : L"EDIT";
      style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL;
      exStyle = WS_EX_CLIENTEDGE;
      break;
  }
  HWND handle = CreateWindowExW(exStyle, className, widen(setup.text).c_str(), style, setup.x,
                                setup.y, setup.width, setup.height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(setup.number)),
                                instance_, nullptr);
  if (handle == nullptr) return;
  SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(guiFont()), FALSE);
  controls_[setup.number] = {handle, window, setup.kind};
  if (setup.kind == ControlKind::folderTree) {
    fillDrives(setup.number);
  } else if (setup.kind == ControlKind::image && logo_ != nullptr) {
    SendMessageW(handle, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_));
  } else if (setup.kind == ControlKind::richText) {
    SendMessageW(handle, EM_SETTARGETDEVICE, 0, 0);  // wrap at the box's width
  }
}

int Win32Gui::textWidth(int window, const std::string& text) const {
  // A window not yet open is measured on the screen, which it will be drawn on.
  HWND handle = windowHandle(window);
  HDC context = GetDC(handle);
  if (context == nullptr) return 0;
  HGDIOBJ previous = SelectObject(context, guiFont());
  const std::wstring wide = widen(text);
  SIZE size{};
  GetTextExtentPoint32W(context, wide.c_str(), static_cast<int>(wide.size()), &size);
  SelectObject(context, previous);
  ReleaseDC(handle, context);
  return size.cx;
}

void Win32Gui::setText(int control, const std::string& text) {
  const ControlRecord* record = controlRecord(control);
  if (record == nullptr) return;
  if (record->kind == ControlKind::folderTree) {
    setFolderTreePath(control, text);
  } else {
    SetWindowTextW(record->handle, widen(text).c_str());
  }
}

std::string Win32Gui::text(int control) const {
  const ControlRecord* record = controlRecord(control);
  if (record == nullptr) return {};
  if (record->kind == ControlKind::folderTree) return folderTreePath(control);
  const int length = GetWindowTextLengthW(record->handle);
  std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(record->handle, wide.data(), length + 1);
  wide.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return narrow(wide);
}

void Win32Gui::setChecked(int control, bool checked) {
  HWND handle = controlHandle(control);
  if (handle != nullptr)
    SendMessageW(handle, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Gui::isChecked(int control) const {
  HWND handle = controlHandle(control);
  return handle != nullptr && SendMessageW(handle, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Gui::setEnabled(int control, bool enabled) {
  HWND handle = controlHandle(control);
  if (handle != nullptr) EnableWindow(handle, enabled ? TRUE : FALSE);
}

void Win32Gui::setFocus(int control) {
  HWND handle = controlHandle(control);
  if (handle != nullptr) SetFocus(handle);
}

void Win32Gui::addListEntry(int control, const std::string& text) {
  HWND handle = controlHandle(control);
  if (handle == nullptr) return;
  const std::wstring wide = widen(text);
  SendMessageW(handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void Win32Gui::selectListEntry(int control, int index) {
  HWND handle = controlHandle(control);
  if (handle != nullptr) SendMessageW(handle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32Gui::selectedListEntry(int control) const {
  HWND handle = controlHandle(control);
  if (handle == nullptr) return -1;
  const LRESULT selected = SendMessageW(handle, CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

// ---- The folder tree.

HTREEITEM Win32Gui::addFolderItem(int control, HTREEITEM parent, const std::wstring& name,
                                  std::wstring path) {
  FolderTree& tree = trees_[control];
  tree.paths.push_back(std::move(path));
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
  insert.item.pszText = const_cast<wchar_t*>(name.c_str());
  // Every folder may have subfolders until it is opened and read.
  insert.item.cChildren = 1;
  insert.item.lParam = static_cast<LPARAM>(tree.paths.size() - 1);
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(controlHandle(control), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void Win32Gui::fillDrives(int control) {
  trees_[control].paths.clear();
  const DWORD length = GetLogicalDriveStringsW(0, nullptr);
  std::vector<wchar_t> drives(length + 1, L'\0');
  GetLogicalDriveStringsW(length, drives.data());
  for (const wchar_t* drive = drives.data(); *drive != L'\0'; drive += std::wcslen(drive) + 1) {
    std::wstring root = drive;  // "C:\"
    std::wstring name = root;
    if (name.size() > 1 && name.back() == L'\\') name.pop_back();
    addFolderItem(control, TVI_ROOT, name, root);
  }
}

std::wstring Win32Gui::itemPath(int control, HTREEITEM item) const {
  if (item == nullptr) return {};
  TVITEMW data{};
  data.mask = TVIF_PARAM;
  data.hItem = item;
  if (!SendMessageW(controlHandle(control), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data))) {
    return {};
  }
  const auto found = trees_.find(control);
  if (found == trees_.end()) return {};
  const auto index = static_cast<std::size_t>(data.lParam);
  return index < found->second.paths.size() ? found->second.paths[index] : std::wstring();
}

// Reads the subfolders of a folder item that has none yet, sorted by name.
void Win32Gui::fillFolder(int control, HTREEITEM item) {
  HWND tree = controlHandle(control);
  if (tree == nullptr ||
      SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)) != 0) {
    return;
  }
  const std::wstring folder = itemPath(control, item);
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry{};
  HANDLE search = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &entry,
                                   FindExSearchLimitToDirectories, nullptr, 0);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const DWORD attributes = entry.dwFileAttributes;
      const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      // Hidden system folders are the system's own (links kept for old programs).
      const bool systemHidden = (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) ==
                                (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
      if (!isFolder || systemHidden || std::wcscmp(entry.cFileName, L".") == 0 ||
          std::wcscmp(entry.cFileName, L"..") == 0) {
        continue;
      }
      names.emplace_back(entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
  });
  for (const std::wstring& name : names) {
    addFolderItem(control, item, name, folder + name + L"\\");
  }
  if (names.empty()) {
    TVITEMW data{};
    data.mask = TVIF_CHILDREN;
    data.hItem = item;
    data.cChildren = 0;
    SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&data));
  }
}

std::string Win32Gui::folderTreePath(int control) const {
  HWND tree = controlHandle(control);
  if (tree == nullptr) return {};
  const auto selected =
      reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  return narrow(itemPath(control, selected));
}

void Win32Gui::setFolderTreePath(int control, const std::string& folder) {
  HWND tree = controlHandle(control);
  if (tree == nullptr) return;
  std::wstring wanted = widen(folder);
  std::replace(wanted.begin(), wanted.end(), L'/', L'\\');
  if (!wanted.empty() && wanted.back() != L'\\') wanted += L'\\';

  // Walk down from the drives, opening each folder on the way.
  HTREEITEM deepest = nullptr;
  auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  while (item != nullptr && !wanted.empty()) {
    const std::wstring path = itemPath(control, item);
    if (!sameFolderStart(path, wanted)) {
      item = reinterpret_cast<HTREEITEM>(
          SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
      continue;
    }
    deepest = item;
    if (path.size() == wanted.size()) break;
    fillFolder(control, item);
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    item = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
  }
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(deepest));
  if (deepest != nullptr) {
    SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(deepest));
  }
}

void Win32Gui::refreshFolderTree(int control) {
  HWND tree = controlHandle(control);
  if (tree == nullptr) return;
  const std::string selected = folderTreePath(control);
  SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
  SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  fillDrives(control);
  setFolderTreePath(control, selected);
  SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(tree, nullptr, TRUE);
}

// ---- Rich text.

void Win32Gui::setRichTextFormat(int control, const RichTextFormat& format) {
  richFormats_[control] = format;
}

void Win32Gui::addRichTextLine(int control, const std::string& text) {
  HWND box = controlHandle(control);
  if (box == nullptr) return;
  const bool first = richTextsWithLines_.insert(control).second;
  const RichTextFormat format = richFormats_[control];

  // New text takes the format of the empty selection at the end.
  CHARRANGE end{-1, -1};
  SendMessageW(box, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
  CHARFORMAT2W character{};
  character.cbSize = sizeof character;
  character.dwMask = CFM_COLOR | CFM_BOLD | CFM_UNDERLINE;
  character.dwEffects = (format.bold ? CFE_BOLD : 0) | (format.underline ? CFE_UNDERLINE : 0);
  character.crTextColor = RGB(format.red, format.green, format.blue);
  SendMessageW(box, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&character));
  const std::wstring line = (first ? L"" : L"\r") + widen(text);
  SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));

  CHARRANGE all{0, -1};
  SendMessageW(box, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
  PARAFORMAT paragraph{};
  paragraph.cbSize = sizeof paragraph;
  paragraph.dwMask = PFM_ALIGNMENT;
  paragraph.wAlignment = PFA_CENTER;
  SendMessageW(box, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&paragraph));
  CHARRANGE top{0, 0};
  SendMessageW(box, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&top));
}

// ---- Dialogs.

void Win32Gui::messageBox(const std::string& title, const std::string& text, GuiIcon icon) {
  const UINT type = MB_OK | (icon == GuiIcon::error ? MB_ICONERROR : MB_ICONINFORMATION);
  MessageBoxW(windowHandle(0), widen(text).c_str(), widen(title).c_str(), type);
}

// "Text files | *.txt" becomes the dialog's list of zero-ended texts, without the blanks
// around each part.
std::wstring dialogFilter(const std::string& filter) {
  std::wstring result;
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = filter.find('|', start);
    std::string part = filter.substr(start, bar == std::string::npos ? bar : bar - start);
    const std::size_t first = part.find_first_not_of(' ');
    const std::size_t last = part.find_last_not_of(' ');
    part = first == std::string::npos ? std::string() : part.substr(first, last - first + 1);
    result += widen(part);
    result += L'\0';
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  result += L'\0';
  return result;
}

std::string Win32Gui::openFileDialog(const std::string& title, const std::string& defaultFile,
                                     const std::string& filter, int selectedFilter) {
  std::vector<wchar_t> file(kOpenFileBufferCharacters, L'\0');
  const std::wstring initial = widen(defaultFile);
  std::copy_n(initial.begin(), std::min<std::size_t>(initial.size(), file.size() - 1),
              file.begin());
  const std::wstring wideFilter = dialogFilter(filter);
  const std::wstring wideTitle = widen(title);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = windowHandle(0);
  dialog.lpstrFilter = wideFilter.c_str();
  dialog.nFilterIndex = static_cast<DWORD>(selectedFilter + 1);
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = kOpenFileBufferCharacters;
  dialog.lpstrTitle = wideTitle.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&dialog)) return {};
  return narrow(file.data());
}

// ---- Events.

LRESULT CALLBACK Win32Gui::windowProcedure(HWND handle, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* gui = reinterpret_cast<Win32Gui*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
  if (gui == nullptr) return DefWindowProcW(handle, message, wParam, lParam);
  return gui->handleMessage(handle, message, wParam, lParam);
}

LRESULT Win32Gui::handleMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  const int window = windowNumber(handle);
  switch (message) {
    case WM_COMMAND:
      if (window >= 0) handleCommand(window, wParam, lParam);
      return 0;
    case WM_CLOSE:
      if (window >= 0) events_.push_back({GuiEventKind::close, window, 0});
      return 0;  // the program decides whether the window goes
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->code == TVN_ITEMEXPANDINGW) {
        const auto* change = reinterpret_cast<const NMTREEVIEWW*>(lParam);
        if ((change->action & TVE_EXPAND) != 0) {
          fillFolder(static_cast<int>(header->idFrom), change->itemNew.hItem);
        }
        return FALSE;
      }
      break;
    }
    case WM_NCDESTROY:
      forgetWindow(handle);
      break;
    default:
      break;
  }
  return DefWindowProcW(handle, message, wParam, lParam);
}

void Win32Gui::handleCommand(int window, WPARAM wParam, LPARAM lParam) {
  const int number = LOWORD(wParam);
  const int code = HIWORD(wParam);
  if (lParam == 0) {
    if (code == 0) events_.push_back({GuiEventKind::menu, window, number});
    return;
  }
  const ControlRecord* record = controlRecord(number);
  if (record == nullptr || record->handle != reinterpret_cast<HWND>(lParam)) return;
  const bool clicked =
      (record->kind == ControlKind::button || record->kind == ControlKind::checkBox) &&
      code == BN_CLICKED;
  const bool selected = record->kind == ControlKind::dropDownList && code == CBN_SELCHANGE;
  if (clicked || selected) events_.push_back({GuiEventKind::control, window, number});
}

void Win32Gui::processMessage(MSG& message) {
  // The tab key moves the focus between the controls of a window of the program.
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (windowNumber(root) >= 0) {
      const bool backwards = GetKeyState(VK_SHIFT) < 0;
      HWND next = GetNextDlgTabItem(root, GetFocus(), backwards ? TRUE : FALSE);
      if (next != nullptr) SetFocus(next);
      return;
    }
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

GuiEvent Win32Gui::waitEvent() {
  while (events_.empty()) {
    MSG message{};
    if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
      // The message queue is ending: treat it as the main window's close box.
      return {GuiEventKind::close, 0, 0};
    }
    processMessage(message);
  }
  const GuiEvent event = events_.front();
  events_.pop_front();
  return event;
}

std::optional<GuiEvent> Win32Gui::pollEvent() {
  if (events_.empty()) {
    MSG message{};
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return std::nullopt;
      }
      processMessage(message);
    }
  }
  if (events_.empty()) return std::nullopt;
  const GuiEvent event = events_.front();
  events_.pop_front();
  return event;
}

}  // namespace

std::unique_ptr<Gui> makeSystemGui() {
  return std::make_unique<Win32Gui>();
}

// The command line after the program's name, skipped as the C runtime does for WinMain:
// a quoted name up to its closing quote, otherwise up to the first blank.
std::string programParameterText() {
  const wchar_t* line = GetCommandLineW();
  if (line == nullptr) return {};
  if (*line == L'"') {
    ++line;
    while (*line != L'\0' && *line != L'"') ++line;
    if (*line == L'"') ++line;
  } else {
    while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return narrow(line);
}

}  // namespace brisko::platform
