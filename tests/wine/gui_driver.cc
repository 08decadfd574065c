// Drives brisko's main window under wine the way a user would: starts brisko.exe, reads its
// controls, status bar, tooltips and message boxes through window messages, presses its
// buttons and menu items, and saves screenshots. Prints one "ok" or "FAIL" line per check and
// "N passed, M failed" at the end; exits 0 only when every check passed. Run by gui.sh:
//   gui_driver.exe BRISKO_EXE TRANSLATED_BRISKO_EXE WORK_FOLDER SCREENSHOT_FOLDER
// The work folder holds what gui.sh prepared: good.pb, bad.pb, the folders "a folder",
// "my sources" (with answer.pb) and "lib dest", and the place of the IDE's tools file
// Tools.prefs, which the registry names and which does not exist yet. The translated copy of
// brisko.exe has a languages folder beside it with a translation whose texts 33 and 35 are
// longer. The expected places, captions and tooltips of the main window's controls come from
// the window's own control table and the language file each copy loads.
#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>
#include <richedit.h>
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "check_harness.h"
#include "language/language_loader.h"
#include "language/language_table.h"
#include "platform/paths.h"
#include "platform/system_file_system.h"
#include "platform/win32/wide_text.h"
#include "ui/main_window.h"

namespace {

using brisko::language::LanguageTable;
using brisko::language::TextId;
using brisko::platform::ControlKind;
using brisko::platform::win32::narrow;
using brisko::platform::win32::widen;
using brisko::wine_checks::Check;
using brisko::wine_checks::shown;

// ---- texts the window shows outside the language file's labels

constexpr std::wstring_view kCaption = L"brisko (PB --> .obj)";
constexpr std::wstring_view kAwaiting = L"Status = awaiting instructions";

// Menu items and the about window's controls.
constexpr int kMenuRegister = 1;
constexpr int kMenuQuit = 2;
constexpr int kMenuAbout = 3;
constexpr int kAboutImage = 22;
constexpr int kAboutText = 23;
constexpr int kAboutOkay = 24;

constexpr UINT kSendTimeoutMs = 5000;

// ---- text comparison

bool equalNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

// ---- notes between the checks

void note(const std::string& text) {
  std::printf("note %s\n", text.c_str());
  std::fflush(stdout);
}

// ---- waiting and window messages

bool waitUntil(const std::function<bool()>& condition, DWORD milliseconds, DWORD step = 50) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(step);
  }
}

// Sends with a time limit, so that a busy or hung program cannot stop the driver.
LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0,
             bool* delivered = nullptr) {
  DWORD_PTR result = 0;
  const LRESULT sent = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                                           kSendTimeoutMs, &result);
  if (delivered != nullptr) *delivered = sent != 0;
  return static_cast<LRESULT>(result);
}

std::wstring textOf(HWND window) {
  if (window == nullptr) return {};
  const auto length = static_cast<std::size_t>(send(window, WM_GETTEXTLENGTH));
  std::wstring text(length + 1, L'\0');
  const auto copied = static_cast<std::size_t>(
      send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(copied < length ? copied : length);
  return text;
}

void setText(HWND window, std::wstring_view text) {
  const std::wstring copy(text);
  send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()));
}

std::wstring classOf(HWND window) {
  std::array<wchar_t, 256> name{};
  const int length = GetClassNameW(window, name.data(), static_cast<int>(name.size()));
  return std::wstring(name.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

LONG_PTR styleOf(HWND window) {
  return GetWindowLongPtrW(window, GWL_STYLE);
}

// The window's rectangle in the client coordinates of `parent`.
RECT placeIn(HWND window, HWND parent) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string describe(const RECT& r) {
  std::string text(1, '(');
  text += std::to_string(r.left) + ", " + std::to_string(r.top) + ") ";
  text += std::to_string(r.right - r.left) + " x " + std::to_string(r.bottom - r.top);
  return text;
}

std::vector<HWND> windowsOf(DWORD processId) {
  struct Search {
    DWORD processId;
    std::vector<HWND> found;
  } search{processId, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->processId) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Memory inside another process, for the messages of the common controls, whose pointers
// Windows passes on unchanged.
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, std::size_t size) : process_(process), size_(size) {
    base_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  ~RemoteBuffer() {
    if (base_ != nullptr) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
  }

  bool valid() const { return base_ != nullptr; }
  LPARAM at(std::size_t offset = 0) const {
    return reinterpret_cast<LPARAM>(static_cast<char*>(base_) + offset);
  }
  bool write(const void* data, std::size_t size, std::size_t offset = 0) {
    SIZE_T done = 0;
    return offset + size <= size_ &&
           WriteProcessMemory(process_, static_cast<char*>(base_) + offset, data, size, &done) &&
           done == size;
  }
  bool read(void* data, std::size_t size, std::size_t offset = 0) const {
    SIZE_T done = 0;
    return offset + size <= size_ &&
           ReadProcessMemory(process_, static_cast<char*>(base_) + offset, data, size, &done) &&
           done == size;
  }
  std::wstring readText(std::size_t offset, std::size_t maxChars) const {
    std::wstring text(maxChars, L'\0');
    if (!read(text.data(), maxChars * sizeof(wchar_t), offset)) return {};
    text.resize(std::wstring_view(text.c_str()).size());
    return text;
  }

 private:
  HANDLE process_;
  std::size_t size_;
  void* base_ = nullptr;
};

// ---- screenshots: the screen's pixels under a rectangle, written as a PNG file

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void appendChunk(std::vector<std::uint8_t>& out, const char* type,
                 const std::vector<std::uint8_t>& data) {
  appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  appendBigEndian(out, crc32(out.data() + start, out.size() - start));
}

// An 8-bit RGB image; the pixel data goes into stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> encodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  std::vector<std::uint8_t> raw;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    const auto* row = rgb.data() + static_cast<std::size_t>(y) * rowBytes;
    raw.insert(raw.end(), row, row + rowBytes);
  }
  std::vector<std::uint8_t> zlib = {0x78, 0x01};
  std::size_t done = 0;
  do {
    const std::size_t size = raw.size() - done < 65535 ? raw.size() - done : 65535;
    const bool last = done + size == raw.size();
    zlib.push_back(last ? 1 : 0);
    zlib.push_back(static_cast<std::uint8_t>(size & 0xFF));
    zlib.push_back(static_cast<std::uint8_t>(size >> 8));
    zlib.push_back(static_cast<std::uint8_t>(~size & 0xFF));
    zlib.push_back(static_cast<std::uint8_t>((~size >> 8) & 0xFF));
    zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(done),
                raw.begin() + static_cast<std::ptrdiff_t>(done + size));
    done += size;
  } while (done < raw.size());
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  appendBigEndian(zlib, (b << 16) | a);

  std::vector<std::uint8_t> header;
  appendBigEndian(header, static_cast<std::uint32_t>(width));
  appendBigEndian(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", zlib);
  appendChunk(png, "IEND", {});
  return png;
}

// Copies the rectangle (screen coordinates) from the screen. Returns false when nothing could
// be read or every pixel is the same, which is no picture of a window.
bool captureScreen(RECT rect, std::vector<std::uint8_t>& rgb, std::string& problem) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) {
    problem = "empty rectangle " + describe(rect);
    return false;
  }
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool copied = false;
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    copied =
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    SelectObject(memory, old);
  }
  rgb.clear();
  bool uniform = true;
  if (copied) {
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    rgb.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t p = pixels[i];
      if (p != pixels[0]) uniform = false;
      rgb.push_back(static_cast<std::uint8_t>(p >> 16));
      rgb.push_back(static_cast<std::uint8_t>(p >> 8));
      rgb.push_back(static_cast<std::uint8_t>(p));
    }
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied) problem = "BitBlt from the screen failed";
  if (copied && uniform) problem = "the captured image has a single colour";
  return copied && !uniform;
}

std::wstring screenshotFolder;

void saveScreenshot(const std::string& checkName, RECT rect, const std::wstring& fileName) {
  Check check(checkName);
  std::vector<std::uint8_t> rgb;
  std::string problem;
  if (!captureScreen(rect, rgb, problem)) {
    check.fail(problem);
    return;
  }
  const std::vector<std::uint8_t> png =
      encodePng(rect.right - rect.left, rect.bottom - rect.top, rgb);
  const std::wstring path = screenshotFolder + L"\\" + fileName;
  FILE* file = _wfopen(path.c_str(), L"wb");
  const bool written =
      file != nullptr && std::fwrite(png.data(), 1, png.size(), file) == png.size();
  if (file != nullptr) std::fclose(file);
  check.expect(written, "could not write " + narrow(path));
}

RECT windowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

// ---- files

bool fileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string readFile(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return bytes;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
    bytes.append(buffer.data(), n);
  std::fclose(file);
  return bytes;
}

// ---- one running brisko.exe

class Instance {
 public:
  Instance() = default;
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;
  ~Instance() {
    // A window that did not end as it should is ended here, so that later checks start clean.
    if (info_.hProcess != nullptr) {
      if (running()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
      }
      CloseHandle(info_.hProcess);
      CloseHandle(info_.hThread);
    }
  }

  // Starts the program with an optional parameter (passed in double quotes) and waits until
  // its main window is up and the status bar says it awaits instructions.
  bool start(const std::wstring& program, const std::wstring& parameter, const std::wstring& folder,
             Check& check) {
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!parameter.empty()) commandLine += L" \"" + parameter + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info_)) {
      check.fail("CreateProcessW failed for " + narrow(program) + ", error " +
                 std::to_string(GetLastError()));
      return false;
    }
    WaitForInputIdle(info_.hProcess, 20000);
    HWND box = nullptr;
    waitUntil(
        [&] {
          for (HWND w : windowsOf(info_.dwProcessId)) {
            if (!IsWindowVisible(w)) continue;
            if (classOf(w) == L"#32770") box = w;
            if (textOf(w) == kCaption && classOf(w) != L"#32770") main_ = w;
          }
          return main_ != nullptr || box != nullptr || !running();
        },
        30000);
    if (main_ == nullptr) {
      if (box != nullptr) {
        check.fail("a message box came up instead of the main window: " + describeBox(box));
      } else if (!running()) {
        check.fail("the program ended without a window");
      } else {
        check.fail("no main window with the caption " + shown(kCaption) + " within 30 s");
      }
      return false;
    }
    status_ = FindWindowExW(main_, nullptr, STATUSCLASSNAMEW, nullptr);
    if (!check.expect(status_ != nullptr, "the main window has no msctls_statusbar32 child")) {
      return false;
    }
    return check.expect(
        waitUntil([&] { return statusText(0) == kAwaiting; }, 30000),
        "the status bar shows " + shown(statusText(0)) + ", not " + shown(kAwaiting));
  }

  bool running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
  HANDLE process() const { return info_.hProcess; }
  DWORD processId() const { return info_.dwProcessId; }
  DWORD threadId() const { return info_.dwThreadId; }
  HWND main() const { return main_; }
  HWND status() const { return status_; }
  HWND item(int id) const { return GetDlgItem(main_, id); }

  // Waits for the end of the process; its exit code, or -1 when it is still running.
  long long waitForExit(DWORD milliseconds) const {
    if (WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

  std::wstring statusText(int part) const {
    const auto length = static_cast<std::size_t>(LOWORD(send(status_, SB_GETTEXTLENGTHW, part)));
    RemoteBuffer buffer(info_.hProcess, (length + 1) * sizeof(wchar_t) + 16);
    if (!buffer.valid()) return L"<no remote memory>";
    send(status_, SB_GETTEXTW, static_cast<WPARAM>(part), buffer.at());
    return buffer.readText(0, length + 1);
  }

  // The visible message box (or other dialog) of the program, if any.
  HWND dialog() const {
    for (HWND w : windowsOf(info_.dwProcessId)) {
      if (IsWindowVisible(w) && classOf(w) == L"#32770") return w;
    }
    return nullptr;
  }

  // The top-level window with this caption, if any.
  HWND windowCalled(std::wstring_view caption) const {
    for (HWND w : windowsOf(info_.dwProcessId)) {
      if (IsWindowVisible(w) && w != main_ && textOf(w) == caption) return w;
    }
    return nullptr;
  }

  // The message of a MessageBoxW dialog is its static control 0xFFFF.
  static std::wstring boxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    return text != nullptr && equalNoCase(classOf(text), L"Static") ? textOf(text) : L"";
  }

  static std::string describeBox(HWND box) {
    return "title " + shown(textOf(box)) + ", text " + shown(boxText(box));
  }

  // Closes a message box as its OK button would and waits until it is gone.
  static bool closeBox(HWND box) {
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    if (waitUntil([&] { return !IsWindow(box); }, 5000)) return true;
    PostMessageW(box, WM_CLOSE, 0, 0);
    return waitUntil([&] { return !IsWindow(box); }, 5000);
  }

  // Presses a button the way a click does, without waiting for what it starts.
  void press(int id) const { PostMessageW(item(id), BM_CLICK, 0, 0); }
  // Clicks a check box and waits for the click to be handled.
  void click(int id) const { send(item(id), BM_CLICK); }
  void menu(int id) const { PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  long long checked(int id) const { return send(item(id), BM_GETCHECK); }
  void setChecked(int id, bool on) const {
    if ((checked(id) == BST_CHECKED) != on) click(id);
  }

 private:
  PROCESS_INFORMATION info_{};
  HWND main_ = nullptr;
  HWND status_ = nullptr;
};

struct Box {
  HWND window = nullptr;
  std::wstring title;
  std::wstring text;
};

// Waits for a message box, reads it and closes it.
bool takeBox(const Instance& brisko, Box& box, DWORD milliseconds) {
  box.window = nullptr;
  if (!waitUntil([&] { return (box.window = brisko.dialog()) != nullptr; }, milliseconds)) {
    return false;
  }
  // The text is set while the dialog initialises; give it a moment.
  waitUntil([&] { return !Instance::boxText(box.window).empty(); }, 2000);
  box.title = textOf(box.window);
  box.text = Instance::boxText(box.window);
  Instance::closeBox(box.window);
  return true;
}

// ---- the layout of the main window

// The language texts a copy of brisko.exe shows: those of the language file it loads at
// start-up from the "languages" folder beside it, else the built-in English ones.
LanguageTable textsOf(const std::wstring& program, Check& check) {
  LanguageTable texts;
  const auto files = brisko::platform::makeSystemFileSystem();
  const std::string folder = brisko::platform::folderPart(narrow(program)) + "languages\\";
  if (check.expect(brisko::language::loadLanguageTable(*files, folder, texts),
                   "no language texts could be loaded for " + narrow(program))) {
    brisko::language::addMissingBuiltinTexts(texts);
  }
  return texts;
}

std::wstring languageText(const LanguageTable& texts, TextId id) {
  return widen(texts.text(id));
}

const char* kindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::frame:
      return "frame";
    case ControlKind::checkBox:
      return "check box";
    case ControlKind::label:
      return "label";
    case ControlKind::dropDownList:
      return "drop-down list";
    case ControlKind::textField:
      return "text field";
    case ControlKind::button:
      return "button";
    case ControlKind::folderTree:
      return "folder tree";
    case ControlKind::image:
      return "image";
    case ControlKind::richText:
      return "rich-text box";
  }
  return "?";
}

struct ExpectedControl {
  int id;
  ControlKind kind;
  int x, y, width, height;
  std::wstring text;
  bool checkText = true;
};

// The control table's rows, in creation order.
std::vector<brisko::ui::ControlRow> tableRows() {
  return brisko::ui::mainWindowLayout([](int) { return 0; }).controls;
}

int textWidth(HWND window, std::wstring_view text);

// The main window's controls as the layout places them for the texts of `texts`, measured on
// `window` as the window measures them, with their captions; the window's width goes to
// `width`. The drop-down list shows the entry the window selects, its first one; a folder
// tree has no caption to read.
std::vector<ExpectedControl> mainLayout(const LanguageTable& texts, HWND window, int& width) {
  const std::vector<brisko::ui::ControlRow> rows = tableRows();
  const brisko::ui::MainLayout layout = brisko::ui::mainWindowLayout([&](int number) {
    int widest = 0;
    for (const TextId id : brisko::ui::textsShownBy(*std::find_if(
             rows.begin(), rows.end(), [&](const auto& row) { return row.number == number; }))) {
      widest = std::max(widest, textWidth(window, languageText(texts, id)));
    }
    return widest;
  });
  width = layout.width;
  std::vector<ExpectedControl> controls;
  for (const brisko::ui::ControlRow& row : layout.controls) {
    ExpectedControl want{row.number, row.kind, row.x, row.y, row.width, row.height, {}, true};
    if (row.kind == ControlKind::dropDownList) {
      want.text = languageText(texts, TextId::guiMsCoff);
    } else if (row.kind == ControlKind::folderTree) {
      want.checkText = false;
    } else if (row.text) {
      want.text = languageText(texts, *row.text);
    }
    controls.push_back(want);
  }
  return controls;
}

const ExpectedControl* findControl(const std::vector<ExpectedControl>& layout, int id) {
  for (const ExpectedControl& want : layout) {
    if (want.id == id) return &want;
  }
  return nullptr;
}

// The source field ends this many pixels left of "Browse".
constexpr int kSourceFieldGap = 20;

// Where the source field's right edge belongs: kSourceFieldGap left of "Browse".
int sourceFieldEnd(const std::vector<ExpectedControl>& layout) {
  const ExpectedControl* browse = findControl(layout, brisko::ui::kBrowseButton);
  return browse != nullptr ? browse->x - kSourceFieldGap : -1;
}

// The tooltip texts of the main window's controls by control number, as the control table
// names them.
std::map<int, std::wstring> expectedTooltips(const LanguageTable& texts) {
  std::map<int, std::wstring> tips;
  for (const brisko::ui::ControlRow& row : tableRows()) {
    if (row.tooltip) tips[row.number] = languageText(texts, *row.tooltip);
  }
  return tips;
}

// The width of a text in the default GUI font, as the window measures its labels.
int textWidth(HWND window, std::wstring_view text) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return size.cx;
}

void checkKind(Check& check, HWND control, ControlKind kind) {
  const std::wstring name = classOf(control);
  const LONG_PTR style = styleOf(control);
  const LONG_PTR buttonType = style & BS_TYPEMASK;
  bool matches = false;
  switch (kind) {
    case ControlKind::frame:
      matches = equalNoCase(name, L"Button") && buttonType == BS_GROUPBOX;
      break;
    case ControlKind::checkBox:
      matches = equalNoCase(name, L"Button") &&
                (buttonType == BS_AUTOCHECKBOX || buttonType == BS_CHECKBOX);
      break;
    case ControlKind::label:
      matches = equalNoCase(name, L"Static");
      break;
    case ControlKind::dropDownList:
      matches = equalNoCase(name, L"ComboBox") && (style & 3) == CBS_DROPDOWNLIST;
      break;
    case ControlKind::textField:
      matches = equalNoCase(name, L"Edit");
      break;
    case ControlKind::button:
      matches = equalNoCase(name, L"Button") &&
                (buttonType == BS_PUSHBUTTON || buttonType == BS_DEFPUSHBUTTON);
      break;
    case ControlKind::folderTree:
      matches = equalNoCase(name, WC_TREEVIEWW) && (style & TVS_SHOWSELALWAYS) != 0;
      break;
    case ControlKind::image:
      matches = equalNoCase(name, L"Static") && (style & SS_TYPEMASK) == SS_BITMAP;
      break;
    case ControlKind::richText:
      matches = name.find(L"RichEdit") != std::wstring::npos ||
                name.find(L"RICHEDIT") != std::wstring::npos;
      break;
  }
  char styleText[32];
  std::snprintf(styleText, sizeof styleText, "0x%llx", static_cast<long long>(style));
  check.expect(matches, std::string("not a ") + kindName(kind) + ": class " + shown(name) +
                            ", style " + styleText);
}

// Position and size in client coordinates. A drop-down list's window is its closed field; the
// height given to it is the room for the field and the opened list, which must show both
// entries. (How much of that room the list takes is the system's choice: wine keeps the height
// given minus the field's, Windows sizes the list to its entries.)
void checkPlace(Check& check, const Instance& brisko, HWND control, const ExpectedControl& want) {
  const RECT place = placeIn(control, brisko.main());
  check.expectEq("x", place.left, want.x);
  check.expectEq("y", place.top, want.y);
  check.expectEq("width", place.right - place.left, want.width);
  if (want.kind != ControlKind::dropDownList) {
    check.expectEq("height", place.bottom - place.top, want.height);
    return;
  }
  send(control, CB_SHOWDROPDOWN, TRUE);
  HWND list = nullptr;
  waitUntil(
      [&] {
        for (HWND w : windowsOf(brisko.processId())) {
          if (IsWindowVisible(w) && equalNoCase(classOf(w), L"ComboLBox")) list = w;
        }
        return list != nullptr;
      },
      2000);
  if (check.expect(list != nullptr, "CB_SHOWDROPDOWN opened no list")) {
    const RECT field = windowRect(control);
    const RECT opened = windowRect(list);
    const auto itemHeight = send(control, CB_GETITEMHEIGHT, 0);
    check.expect(opened.bottom - opened.top >= 2 * itemHeight,
                 "the opened list is " + std::to_string(opened.bottom - opened.top) +
                     " pixels high, too low for two entries of " + std::to_string(itemHeight));
    check.expect(opened.bottom - field.top <= want.height,
                 "the opened list ends " + std::to_string(opened.bottom - field.top) +
                     " pixels below the field's top, more than " + std::to_string(want.height));
  }
  send(control, CB_SHOWDROPDOWN, FALSE);
}

void checkControl(const Instance& brisko, const ExpectedControl& want,
                  const std::string& prefix = "") {
  Check check(prefix + "control " + std::to_string(want.id) + " (" + kindName(want.kind) +
              "): kind, text, place");
  HWND control = brisko.item(want.id);
  if (control == nullptr) {
    check.fail("GetDlgItem finds no control " + std::to_string(want.id));
    return;
  }
  checkKind(check, control, want.kind);
  check.expect(IsWindowVisible(control) != 0, "not visible");
  if (want.checkText) check.expectEq("text", textOf(control), want.text);
  checkPlace(check, brisko, control, want);
}

// No text is cut off: each control is at least as wide as each text it shows, in the window's
// font, and what the system draws beside it: a check box's box, a drop-down list's button
// within its edges, a button's or a frame's edges.
void checkTextsFit(const Instance& brisko, const LanguageTable& texts, const std::string& prefix) {
  Check check(prefix + "no text is cut off: each control holds its text and what is beside it");
  const int edge = GetSystemMetrics(SM_CXEDGE);
  const std::map<ControlKind, int> room = {
      {ControlKind::checkBox, GetSystemMetrics(SM_CXMENUCHECK) + 2 * edge},
      {ControlKind::dropDownList, GetSystemMetrics(SM_CXVSCROLL) + 3 * edge + 2},
      {ControlKind::button, 2 * edge + 2},
      {ControlKind::frame, 4 * edge + 8}};
  for (const brisko::ui::ControlRow& row : tableRows()) {
    const RECT place = placeIn(brisko.item(row.number), brisko.main());
    for (const TextId id : brisko::ui::textsShownBy(row)) {
      const std::wstring text = languageText(texts, id);
      const int needed =
          textWidth(brisko.main(), text) + (room.count(row.kind) ? room.at(row.kind) : 0);
      check.expect(place.right - place.left >= needed,
                   shown(text) + " needs " + std::to_string(needed) + " pixels; control " +
                       std::to_string(row.number) + " has " +
                       std::to_string(place.right - place.left));
    }
  }
}

// ---- the folder tree

struct TreeReader {
  const Instance& brisko;
  HWND tree;

  std::wstring label(HTREEITEM item) const {
    constexpr std::size_t kChars = 520;
    RemoteBuffer buffer(brisko.process(), sizeof(TVITEMW) + kChars * sizeof(wchar_t));
    if (!buffer.valid()) return {};
    TVITEMW tvItem{};
    tvItem.mask = TVIF_TEXT | TVIF_HANDLE;
    tvItem.hItem = item;
    tvItem.pszText = reinterpret_cast<LPWSTR>(buffer.at(sizeof(TVITEMW)));
    tvItem.cchTextMax = static_cast<int>(kChars);
    buffer.write(&tvItem, sizeof tvItem);
    if (!send(tree, TVM_GETITEMW, 0, buffer.at())) return {};
    buffer.read(&tvItem, sizeof tvItem);
    const auto offset =
        static_cast<std::size_t>(reinterpret_cast<LPARAM>(tvItem.pszText) - buffer.at());
    if (offset > sizeof(TVITEMW)) return {};  // the tree answered with text of its own
    return buffer.readText(offset, kChars);
  }
  HTREEITEM next(HTREEITEM item, UINT relation) const {
    return reinterpret_cast<HTREEITEM>(
        send(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
  }
  HTREEITEM selection() const { return next(nullptr, TVGN_CARET); }
};

// ---- the main instance: layout, tooltips, checks, messages, registration, about window

struct Paths {
  std::wstring brisko;
  std::wstring translated;
  std::wstring work;
};

void checkMainWindow(const Instance& brisko, int clientWidth) {
  Check check("main window: caption, frame style, client size, centred, menu bar");
  HWND main = brisko.main();
  check.expectEq("caption", textOf(main), kCaption);
  const LONG_PTR style = styleOf(main);
  check.expect((style & WS_SYSMENU) && (style & WS_MINIMIZEBOX),
               "no system menu or minimise button");
  check.expect(!(style & WS_MAXIMIZEBOX), "has a maximise button");
  check.expect(!(style & WS_THICKFRAME), "is resizable");
  RECT client{};
  GetClientRect(main, &client);
  check.expectEq("client width", client.right, clientWidth);
  check.expectEq("client height", client.bottom, brisko::ui::kMainHeight);
  const RECT outer = windowRect(main);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int dx = (outer.left + outer.right) - screenWidth;
  const int dy = (outer.top + outer.bottom) - screenHeight;
  const int dyWork = (outer.top + outer.bottom) - (work.top + work.bottom);
  check.expect(std::abs(dx) <= 2 && (std::abs(dy) <= 2 || std::abs(dyWork) <= 2),
               "not centred: window " + describe(outer) + " on a screen of " +
                   std::to_string(screenWidth) + " x " + std::to_string(screenHeight));
  // Wine answers WM_GETICON only inside the window's own process; the icon is then to be
  // seen on the title bar in main.png.
  if (send(main, WM_GETICON, ICON_SMALL) == 0) {
    note("WM_GETICON gives no small icon to another process here; see the title bar in main.png");
  }
  check.expect(GetMenu(main) != nullptr, "no menu bar");
}

// Menus are kept inside the owning process under wine; read them where the system allows.
void checkMenu(const Instance& brisko) {
  HMENU bar = GetMenu(brisko.main());
  if (bar == nullptr || GetMenuItemCount(bar) < 0) {
    note(
        "the menu's titles and items cannot be read from another process here; "
        "its commands are tested through WM_COMMAND");
    return;
  }
  Check check("menu: titles and items");
  auto textAt = [](HMENU menu, UINT position) {
    std::array<wchar_t, 256> text{};
    GetMenuStringW(menu, position, text.data(), static_cast<int>(text.size()), MF_BYPOSITION);
    return std::wstring(text.data());
  };
  check.expectEq("item count of the bar", GetMenuItemCount(bar), 2);
  check.expectEq("first title", textAt(bar, 0), L"Options");
  check.expectEq("second title", textAt(bar, 1), L"Help");
  HMENU options = GetSubMenu(bar, 0);
  HMENU help = GetSubMenu(bar, 1);
  check.expectEq("items under Options", GetMenuItemCount(options), 3);
  check.expectEq("id of Options' first item", GetMenuItemID(options, 0), kMenuRegister);
  check.expectEq("Options' first item", textAt(options, 0), L"&Register brisko as a PB IDE tool");
  check.expect((GetMenuState(options, 1, MF_BYPOSITION) & MF_SEPARATOR) != 0,
               "no separator before Quit");
  check.expectEq("id of Quit", GetMenuItemID(options, 2), kMenuQuit);
  check.expectEq("Quit", textAt(options, 2), L"&Quit");
  check.expectEq("id of About", GetMenuItemID(help, 0), kMenuAbout);
  check.expectEq("About", textAt(help, 0), L"&About");
}

void checkInitialState(const Instance& brisko) {
  Check check("initial state: the list's entries and selection, check boxes clear, enabled");
  HWND list = brisko.item(11);
  check.expectEq("entries in the list", send(list, CB_GETCOUNT), 2);
  for (int entry = 0; entry < 2; ++entry) {
    std::array<wchar_t, 256> text{};
    send(list, CB_GETLBTEXT, static_cast<WPARAM>(entry), reinterpret_cast<LPARAM>(text.data()));
    check.expectEq("entry " + std::to_string(entry), std::wstring(text.data()),
                   entry == 0 ? L"MSCOFF object file (.obj)" : L"MSCOFF static library (.lib)");
  }
  check.expectEq("selected entry", send(list, CB_GETCURSEL), 0);
  for (int id : {2, 4, 3, 20, 7, 6, 21, 8, 25}) {
    check.expectEq("state of check box " + std::to_string(id), brisko.checked(id), BST_UNCHECKED);
  }
  for (int id = 1; id <= 28; ++id) {
    HWND control = brisko.item(id);
    if (control != nullptr) {
      check.expect(IsWindowEnabled(control) != 0, "control " + std::to_string(id) + " disabled");
    }
  }
}

void checkStatusBar(const Instance& brisko, int clientWidth) {
  Check check("status bar: two fields, the second 300 pixels wide, awaiting instructions");
  RemoteBuffer buffer(brisko.process(), 4 * sizeof(int));
  const auto parts = send(brisko.status(), SB_GETPARTS, 4, buffer.at());
  std::array<int, 4> edges{};
  buffer.read(edges.data(), sizeof edges);
  check.expectEq("number of fields", parts, 2);
  check.expectEq("right edge of field 0", edges[0], clientWidth - 300);
  check.expect(edges[1] == -1 || edges[1] == clientWidth,
               "right edge of field 1 is " + std::to_string(edges[1]) + ", expected " +
                   std::to_string(clientWidth) + " or -1");
  check.expectEq("field 0", brisko.statusText(0), kAwaiting);
  check.expectEq("field 1", brisko.statusText(1), L"");
}

// The tooltip control the window made for itself: a tooltips_class32 window without owner.
HWND ownTooltip(const Instance& brisko, int* count = nullptr) {
  HWND found = nullptr;
  int n = 0;
  for (HWND w : windowsOf(brisko.processId())) {
    if (equalNoCase(classOf(w), TOOLTIPS_CLASSW) && GetWindow(w, GW_OWNER) == nullptr) {
      found = w;
      ++n;
    }
  }
  if (count != nullptr) *count = n;
  return found;
}

void checkTooltips(const Instance& brisko, const LanguageTable& texts) {
  const std::map<int, std::wstring> expectedTips = expectedTooltips(texts);
  Check check("tooltips: one tooltip control, thirteen tools by window handle with their texts");
  int count = 0;
  HWND tips = ownTooltip(brisko, &count);
  if (!check.expectEq("tooltip controls without owner", count, 1) || tips == nullptr) return;
  const auto tools = send(tips, TTM_GETTOOLCOUNT);
  check.expectEq("tools", tools, 13);
  check.expectEq("maximum tip width", send(tips, TTM_GETMAXTIPWIDTH), 150);
  {
    // The title, where the tooltip control answers TTM_GETTITLE (wine's leaves the record
    // untouched; its title then shows on tooltip.png).
    constexpr std::size_t kTitleChars = 256;
    constexpr UINT kUntouched = 0xDEAD;
    RemoteBuffer buffer(brisko.process(), sizeof(TTGETTITLE) + kTitleChars * sizeof(wchar_t));
    TTGETTITLE title{};
    title.dwSize = sizeof title;
    title.uTitleBitmap = kUntouched;
    title.cch = kTitleChars;
    title.pszTitle = reinterpret_cast<WCHAR*>(buffer.at(sizeof title));
    buffer.write(&title, sizeof title);
    send(tips, TTM_GETTITLE, 0, buffer.at());
    buffer.read(&title, sizeof title);
    if (title.uTitleBitmap == kUntouched) {
      note("the tooltip control does not answer TTM_GETTITLE here; see tooltip.png");
    } else {
      check.expectEq("tip title", buffer.readText(sizeof title, kTitleChars), kCaption);
      check.expectEq("tip title icon", title.uTitleBitmap, TTI_INFO);
    }
  }
  constexpr std::size_t kChars = 1024;
  std::map<int, int> seen;
  for (long long index = 0; index < tools; ++index) {
    RemoteBuffer buffer(brisko.process(), sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.lpszText = reinterpret_cast<LPWSTR>(buffer.at(sizeof tool));
    buffer.write(&tool, sizeof tool);
    if (!send(tips, TTM_ENUMTOOLSW, static_cast<WPARAM>(index), buffer.at())) {
      check.fail("TTM_ENUMTOOLSW failed for tool " + std::to_string(index));
      continue;
    }
    buffer.read(&tool, sizeof tool);
    const std::wstring text = tool.lpszText == reinterpret_cast<LPWSTR>(buffer.at(sizeof tool))
                                  ? buffer.readText(sizeof tool, kChars)
                                  : L"<no text copied>";
    const std::string name = "tool " + std::to_string(index);
    if (!check.expect((tool.uFlags & TTF_IDISHWND) != 0, name + " is not identified by a handle")) {
      continue;
    }
    check.expect((tool.uFlags & TTF_SUBCLASS) != 0, name + " does not subclass its control");
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(tool.uId));
    const auto expected = expectedTips.find(id);
    if (!check.expect(expected != expectedTips.end(),
                      name + " belongs to control " + std::to_string(id) + ", which has no tip")) {
      continue;
    }
    ++seen[id];
    check.expect(reinterpret_cast<HWND>(tool.uId) == brisko.item(id),
                 name + " names a window that is not control " + std::to_string(id));
    check.expectEq("tip of control " + std::to_string(id), text, expected->second);
  }
  for (const auto& [id, text] : expectedTips) {
    check.expectEq("tools for control " + std::to_string(id), seen[id], 1);
  }
}

// Moves the mouse over "Check for errors" and waits for its tip to show.
void hoverTooltip(const Instance& brisko, const LanguageTable& texts) {
  Check check("tooltip shows on hover over \"Check for errors\"");
  HWND tips = ownTooltip(brisko);
  HWND button = brisko.item(15);
  if (tips == nullptr || button == nullptr) {
    check.fail("no tooltip control or no control 15");
    return;
  }
  SetForegroundWindow(brisko.main());
  const RECT place = windowRect(button);
  const int x = (place.left + place.right) / 2;
  const int y = (place.top + place.bottom) / 2;
  SetCursorPos(x - 8, y - 3);
  Sleep(100);
  bool shownTip = false;
  for (int attempt = 0; attempt < 6 && !shownTip; ++attempt) {
    SetCursorPos(x + attempt, y);
    shownTip = waitUntil([&] { return IsWindowVisible(tips) != 0; }, 700);
  }
  if (!check.expect(shownTip, "the tip did not appear within 4 s")) return;
  check.expectEq("text shown", textOf(tips), expectedTooltips(texts).at(15));
  Sleep(300);  // let the tip finish drawing
  RECT area = windowRect(brisko.main());
  const RECT tip = windowRect(tips);
  UnionRect(&area, &area, &tip);
  check.finish();
  saveScreenshot("screenshot of a tooltip saved (tooltip.png)", area, L"tooltip.png");
  SetCursorPos(0, 0);
  waitUntil([&] { return !IsWindowVisible(tips); }, 2000);
}

void checkUseExistingAsm(const Instance& brisko) {
  Check check("\"Use existing ASM files\" greys out the format list and \"Export globals\"");
  // The window handles the click after the button has reported it: wait for the outcome.
  auto enabled = [&](int id, bool on) {
    return waitUntil([&] { return (IsWindowEnabled(brisko.item(id)) != 0) == on; }, 3000);
  };
  brisko.click(8);
  check.expectEq("box 8 after one click", brisko.checked(8), BST_CHECKED);
  check.expect(enabled(11, false), "the list is enabled while ticked");
  check.expect(enabled(20, false), "box 20 is enabled while ticked");
  check.expect(IsWindowEnabled(brisko.item(7)) != 0, "box 7 was disabled too");
  brisko.click(8);
  check.expectEq("box 8 after two clicks", brisko.checked(8), BST_UNCHECKED);
  check.expect(enabled(11, true), "the list stays disabled");
  check.expect(enabled(20, true), "box 20 stays disabled");
}

// Types a path into the source field, presses "Check for errors" and reads the message box.
void checkForErrors(const Instance& brisko, const std::string& name, const std::wstring& source,
                    std::wstring_view title, std::wstring_view text, bool prefixOnly) {
  Check check(name);
  setText(brisko.item(13), source);
  brisko.press(15);
  Box box;
  if (!takeBox(brisko, box, 60000)) {
    check.fail("no message box within 60 s; status " + shown(brisko.statusText(0)));
    return;
  }
  check.expectEq("title", box.title, title);
  if (prefixOnly) {
    check.expect(box.text.starts_with(text),
                 "text " + shown(box.text) + " does not start with " + shown(text));
  } else {
    check.expectEq("text", box.text, text);
  }
  check.expect(waitUntil([&] { return brisko.statusText(0) == kAwaiting; }, 10000),
               "status afterwards " + shown(brisko.statusText(0)));
  check.expect(brisko.dialog() == nullptr, "a second message box followed");
}

// A folder or a missing file in the source field: an error, the field emptied and focused.
void checkRejectedSource(const Instance& brisko, const std::string& name, const std::wstring& typed,
                         const std::wstring& path, std::wstring_view error) {
  Check check(name);
  setText(brisko.item(13), typed);
  brisko.press(15);
  Box box;
  if (!takeBox(brisko, box, 10000)) {
    check.fail("no message box within 10 s");
    return;
  }
  check.expectEq("title", box.title, L"Error!");
  check.expectEq("text", box.text, std::wstring(error) + L"\n(" + path + L")");
  check.expect(waitUntil([&] { return textOf(brisko.item(13)).empty(); }, 2000),
               "the source field still holds " + shown(textOf(brisko.item(13))));
  auto focus = [&] {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(brisko.threadId(), &thread);
    return thread.hwndFocus;
  };
  check.expect(waitUntil([&] { return focus() == brisko.item(13); }, 2000),
               "the source field does not have the focus");
  check.expectEq("status", brisko.statusText(0), kAwaiting);
}

void checkBlankSource(const Instance& brisko) {
  Check check("a source field of spaces only does nothing");
  setText(brisko.item(13), L"   ");
  brisko.press(15);
  Box box;
  if (takeBox(brisko, box, 1500)) {
    check.fail("a message box came up: title " + shown(box.title) + ", text " + shown(box.text));
  }
  check.expectEq("source field", textOf(brisko.item(13)), L"   ");
  check.expectEq("status", brisko.statusText(0), kAwaiting);
  setText(brisko.item(13), L"");
}

// "Browse": the open-file dialog with its title and filter; cancelling it changes nothing,
// choosing a file puts it into the source field.
void checkBrowse(const Instance& brisko, const Paths& paths) {
  constexpr std::wstring_view kTitle = L"Choose a file to open...";
  const std::wstring source = paths.work + L"\\good.pb";
  auto openDialog = [&](Check& check) -> HWND {
    brisko.press(14);
    HWND dialog = nullptr;
    if (!waitUntil([&] { return (dialog = brisko.dialog()) != nullptr; }, 15000)) {
      check.fail("no dialog within 15 s");
      return nullptr;
    }
    waitUntil([&] { return textOf(dialog) == kTitle; }, 2000);
    check.expectEq("dialog title", textOf(dialog), kTitle);
    check.expectEq("status while choosing", brisko.statusText(0),
                   L"Status = choosing a Purebasic source file");
    return dialog;
  };
  {
    Check check("\"Browse\" opens the file dialog; cancelling it leaves the field as it was");
    setText(brisko.item(13), L"");
    HWND dialog = openDialog(check);
    if (dialog == nullptr) return;
    HWND filter = GetDlgItem(dialog, cmb1);
    if (check.expect(filter != nullptr, "the dialog has no file type list")) {
      std::array<wchar_t, 256> text{};
      send(filter, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text.data()));
      check.expectEq("first file type", std::wstring(text.data()), L"Purebasic file (*.pb, *.pbi)");
      check.expectEq("selected file type", send(filter, CB_GETCURSEL), 0);
    }
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    check.expect(waitUntil([&] { return !IsWindow(dialog); }, 5000), "the dialog stays open");
    check.expect(waitUntil([&] { return brisko.statusText(0) == kAwaiting; }, 5000),
                 "status afterwards " + shown(brisko.statusText(0)));
    check.expectEq("source field", textOf(brisko.item(13)), L"");
  }
  {
    Check check("a file chosen with \"Browse\" goes into the source field");
    HWND dialog = openDialog(check);
    if (dialog == nullptr) return;
    HWND name = GetDlgItem(dialog, cmb13);
    if (name == nullptr) name = GetDlgItem(dialog, edt1);
    if (!check.expect(name != nullptr, "the dialog has no file name field")) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    setText(name, source);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    check.expect(waitUntil([&] { return !IsWindow(dialog); }, 5000), "the dialog stays open");
    check.expect(waitUntil([&] { return textOf(brisko.item(13)) == source; }, 5000),
                 "the source field holds " + shown(textOf(brisko.item(13))));
    check.expect(waitUntil([&] { return brisko.statusText(0) == kAwaiting; }, 5000),
                 "status afterwards " + shown(brisko.statusText(0)));
    setText(brisko.item(13), L"");
  }
}

void checkRegistration(const Instance& brisko, const Paths& paths) {
  const std::wstring toolsFile = paths.work + L"\\Tools.prefs";
  const std::string block = ";\r\n;\r\n[Tool_0]\r\nCommand = " + narrow(paths.brisko) +
                            "\r\nArguments = \"%FILE\"\r\nWorkingDir = \r\n"
                            "MenuItemName = brisko\r\nShortcut = 0\r\nConfigLine = \r\n"
                            "Trigger = 0\r\nFlags = 0\r\nReloadSource = 0\r\nHideEditor = 0\r\n"
                            "HideFromMenu = 0\r\nSourceSpecific = 0\r\nDeactivate = 0\r\n";
  {
    Check check(
        "menu \"Register\" writes the IDE's tools file named in the registry and names the file "
        "and the tool's number");
    brisko.menu(kMenuRegister);
    std::string content;
    const bool written = waitUntil(
        [&] {
          content = readFile(toolsFile);
          return content.ends_with("Deactivate = 0\r\n");
        },
        10000);
    Box box;
    if (check.expect(takeBox(brisko, box, 10000), "no message box within 10 s")) {
      check.expectEq("title", box.title, kCaption);
      check.expectEq("text", box.text,
                     L"brisko is now tool 1 of the PureBasic IDE (\"" + toolsFile + L"\").");
    }
    if (!check.expect(written, "no complete tool block in " + narrow(toolsFile))) {
      check.note("the file holds: " + content);
      return;
    }
    check.expect(content.starts_with(";"), "the file does not start with its comment line");
    check.expect(content.find("[ToolsInfo]\r\nToolCount = 1\r\n") != std::string::npos,
                 "no \"ToolCount = 1\" under [ToolsInfo]");
    check.expect(content.ends_with(block), "the file does not end with the tool block");
    if (!check.ok()) check.note("the file holds: " + content);
  }
  {
    Check check("a second registration says that brisko is already registered, and where");
    const std::string before = readFile(toolsFile);
    brisko.menu(kMenuRegister);
    Box box;
    if (!takeBox(brisko, box, 10000)) {
      check.fail("no message box within 10 s");
      return;
    }
    check.expectEq("title", box.title, L"Error!");
    check.expectEq("text", box.text, L"brisko is already registered.\n(" + toolsFile + L")");
    check.expect(readFile(toolsFile) == before, "the tools file changed");
  }
}

HWND openAbout(const Instance& brisko, Check& check) {
  brisko.menu(kMenuAbout);
  HWND about = nullptr;
  if (!waitUntil([&] { return (about = brisko.windowCalled(L"About...")) != nullptr; }, 10000)) {
    check.fail("no window \"About...\" within 10 s");
  }
  return about;
}

// The character format at the first occurrence of `text` in the about window's text box.
bool formatAt(const Instance& brisko, HWND box, std::wstring_view text, CHARFORMAT2W& format) {
  const std::size_t textBytes = (text.size() + 1) * sizeof(wchar_t);
  RemoteBuffer buffer(brisko.process(), sizeof(FINDTEXTEXW) + sizeof(CHARFORMAT2W) + textBytes);
  if (!buffer.valid()) return false;
  const std::wstring copy(text);
  const std::size_t textAt = sizeof(FINDTEXTEXW) + sizeof(CHARFORMAT2W);
  buffer.write(copy.c_str(), textBytes, textAt);
  FINDTEXTEXW find{};
  find.chrg.cpMin = 0;
  find.chrg.cpMax = -1;
  find.lpstrText = reinterpret_cast<LPCWSTR>(buffer.at(textAt));
  buffer.write(&find, sizeof find);
  if (send(box, EM_FINDTEXTEXW, FR_DOWN | FR_MATCHCASE, buffer.at()) < 0) return false;
  buffer.read(&find, sizeof find);
  send(box, EM_SETSEL, static_cast<WPARAM>(find.chrgText.cpMin),
       static_cast<LPARAM>(find.chrgText.cpMax));
  format = CHARFORMAT2W{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_BOLD | CFM_UNDERLINE | CFM_COLOR;
  buffer.write(&format, sizeof format, sizeof(FINDTEXTEXW));
  send(box, EM_GETCHARFORMAT, SCF_SELECTION, buffer.at(sizeof(FINDTEXTEXW)));
  buffer.read(&format, sizeof format, sizeof(FINDTEXTEXW));
  return true;
}

void checkAbout(const Instance& brisko) {
  HWND about = nullptr;
  {
    Check check("menu \"About\" opens the about window: owner, size, image, text box, button");
    about = openAbout(brisko, check);
    if (about == nullptr) return;
    check.expect(GetWindow(about, GW_OWNER) == brisko.main(), "not owned by the main window");
    RECT client{};
    GetClientRect(about, &client);
    check.expectEq("client width", client.right, 388);
    check.expectEq("client height", client.bottom, 400);
    const LONG_PTR style = styleOf(about);
    check.expect((style & WS_SYSMENU) != 0, "no system menu");
    check.expect(!(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)),
                 "has minimise, maximise or sizing");
    struct AboutControl {
      int id;
      int x, y, width, height;
    };
    for (const AboutControl& wanted :
         {AboutControl{kAboutImage, 10, 10, 368, 75}, AboutControl{kAboutText, 10, 110, 368, 240},
          AboutControl{kAboutOkay, 150, 370, 88, 20}}) {
      HWND control = GetDlgItem(about, wanted.id);
      const std::string name = "control " + std::to_string(wanted.id);
      if (!check.expect(control != nullptr, "no " + name)) continue;
      const RECT place = placeIn(control, about);
      check.expect(place.left == wanted.x && place.top == wanted.y &&
                       place.right - place.left == wanted.width &&
                       place.bottom - place.top == wanted.height,
                   name + " at " + describe(place));
    }
    HWND image = GetDlgItem(about, kAboutImage);
    if (image != nullptr) {
      check.expect(
          equalNoCase(classOf(image), L"Static") && (styleOf(image) & SS_TYPEMASK) == SS_BITMAP,
          "the image is no bitmap static control: " + shown(classOf(image)));
      check.expect(send(image, STM_GETIMAGE, IMAGE_BITMAP) != 0, "the image shows no bitmap");
    }
    HWND okay = GetDlgItem(about, kAboutOkay);
    if (okay != nullptr) check.expectEq("button text", textOf(okay), L"Okay");
    HWND box = GetDlgItem(about, kAboutText);
    if (box != nullptr) {
      const std::wstring name = classOf(box);
      check.expect(name.find(L"RichEdit") != std::wstring::npos ||
                       name.find(L"RICHEDIT") != std::wstring::npos,
                   "the text box is no rich-text box: " + shown(name));
      check.expect((styleOf(box) & ES_READONLY) != 0, "the text box is not read-only");
      const std::wstring text = textOf(box);
      check.expect(text.starts_with(L"brisko version 2.0 Beta 1"),
                   "the text starts " + shown(text.substr(0, 40)));
      check.expect(text.find(L"(.pb / pbi --> .obj / .lib)") != std::wstring::npos,
                   "no line \"(.pb / pbi --> .obj / .lib)\"");
      check.expect(text.find(L"2008") != std::wstring::npos, "no line \"2008\"");
      constexpr COLORREF kBlue = RGB(0, 0, 255);
      CHARFORMAT2W format{};
      if (check.expect(formatAt(brisko, box, L"brisko version", format), "cannot read formats")) {
        check.expect((format.dwEffects & CFE_BOLD) && (format.dwEffects & CFE_UNDERLINE),
                     "the first line is not bold and underlined");
        check.expect(format.crTextColor == kBlue && !(format.dwEffects & CFE_AUTOCOLOR),
                     "the first line is not blue");
      }
      if (check.expect(formatAt(brisko, box, L"(.pb / pbi", format),
                       "cannot read the second line's format")) {
        check.expect(!(format.dwEffects & (CFE_BOLD | CFE_UNDERLINE)),
                     "the second line is bold or underlined");
        check.expect(format.crTextColor == kBlue && !(format.dwEffects & CFE_AUTOCOLOR),
                     "the second line is not blue");
      }
      send(box, EM_SETSEL, 0, 0);
    }
  }
  Sleep(300);
  saveScreenshot("screenshot of the about window saved (about.png)", windowRect(about),
                 L"about.png");
  {
    Check check("\"Okay\" closes the about window; the main window stays");
    PostMessageW(GetDlgItem(about, kAboutOkay), BM_CLICK, 0, 0);
    check.expect(waitUntil([&] { return !IsWindow(about); }, 5000), "still open after 5 s");
    check.expect(brisko.running() && IsWindowVisible(brisko.main()), "the main window is gone");
  }
  {
    Check check("the close box closes the about window; the main window stays");
    about = openAbout(brisko, check);
    if (about == nullptr) return;
    PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    check.expect(waitUntil([&] { return !IsWindow(about); }, 5000), "still open after 5 s");
    check.expect(brisko.running() && IsWindowVisible(brisko.main()), "the main window is gone");
  }
}

void mainInstance(const Paths& paths, const LanguageTable& texts, int& w33, int& w35, int& x11,
                  int& x13) {
  Instance brisko;
  {
    Check check("brisko.exe starts, shows its window and awaits instructions");
    if (!brisko.start(paths.brisko, L"", paths.work, check)) return;
  }
  SetForegroundWindow(brisko.main());
  Sleep(500);
  saveScreenshot("screenshot of the main window saved (main.png)", windowRect(brisko.main()),
                 L"main.png");

  int width = 0;
  const std::vector<ExpectedControl> layout = mainLayout(texts, brisko.main(), width);
  checkMainWindow(brisko, width);
  checkMenu(brisko);
  w33 = textWidth(brisko.main(), languageText(texts, TextId::guiOutputFormat));
  w35 = textWidth(brisko.main(), languageText(texts, TextId::guiSelectSource));
  note("measured label widths in the default GUI font: w33 = " + std::to_string(w33) +
       ", w35 = " + std::to_string(w35));
  for (const ExpectedControl& want : layout) checkControl(brisko, want);
  checkTextsFit(brisko, texts, "");
  {
    const int end = sourceFieldEnd(layout);
    Check check("the source field ends at x = " + std::to_string(end) + ", " +
                std::to_string(kSourceFieldGap) + " pixels left of \"Browse\"");
    check.expectEq("right edge of control 13", placeIn(brisko.item(13), brisko.main()).right, end);
  }
  x11 = placeIn(brisko.item(11), brisko.main()).left;
  x13 = placeIn(brisko.item(13), brisko.main()).left;
  checkInitialState(brisko);
  checkStatusBar(brisko, width);
  checkTooltips(brisko, texts);
  hoverTooltip(brisko, texts);
  checkUseExistingAsm(brisko);

  checkForErrors(brisko, "\"Check for errors\" on a good source: no errors",
                 paths.work + L"\\good.pb", kCaption, L"The compiler reported no errors.", false);
  checkForErrors(brisko, "\"Check for errors\" on a bad source: the compiler's error",
                 paths.work + L"\\bad.pb", kCaption,
                 L"The compiler reported an error.\n\nError: Line 2", true);
  const std::wstring folder = paths.work + L"\\a folder";
  checkRejectedSource(brisko, "a folder (with spaces around it) is an invalid file",
                      L"  " + folder + L"  ", folder, L"Invalid file.");
  const std::wstring missing = paths.work + L"\\missing.pb";
  checkRejectedSource(brisko, "a missing source is not found", missing, missing,
                      L"File not found.");
  checkBlankSource(brisko);
  checkBrowse(brisko, paths);
  checkRegistration(brisko, paths);
  checkAbout(brisko);

  Check check("the close box of the main window ends the program while the about window is open");
  if (openAbout(brisko, check) == nullptr) return;
  PostMessageW(brisko.main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  check.expectEq("exit code", brisko.waitForExit(10000), 0);
}

// ---- conversions, started the way the IDE starts brisko: with the source as parameter

// Presses the main button and waits until the run is over: the window enabled again, the
// status naming the output file, which is there, or a message box. With cHeader box 21 is
// ticked, and the C header must be written beside the output.
void convert(const Instance& brisko, const std::string& name, const std::wstring& source,
             int format, const std::wstring& destination, const std::wstring& output,
             bool cHeader = false) {
  Check check(name);
  setText(brisko.item(13), source);
  send(brisko.item(11), CB_SETCURSEL, static_cast<WPARAM>(format));
  brisko.setChecked(7, true);
  check.expectEq("box 7 (log files)", brisko.checked(7), BST_CHECKED);
  brisko.setChecked(21, cHeader);
  check.expectEq("box 21 (C header)", brisko.checked(21), cHeader ? BST_CHECKED : BST_UNCHECKED);
  const std::wstring target = destination + L"\\Bin\\" + output;
  const std::wstring written = L"Status = written: " + output;
  const std::wstring log = destination + L"\\Logs\\briskoLog.txt";
  bool sawLocked = false;
  brisko.press(19);
  Box box;
  const bool ended = waitUntil(
      [&] {
        if (!IsWindowEnabled(brisko.main())) sawLocked = true;
        if (brisko.dialog() != nullptr) return true;
        return IsWindowEnabled(brisko.main()) && fileExists(target) &&
               brisko.statusText(0) == written;
      },
      90000, 20);
  if (takeBox(brisko, box, 0)) {
    check.fail("message box: title " + shown(box.title) + ", text " + shown(box.text));
    return;
  }
  if (!check.expect(ended, "not finished after 90 s: " + narrow(target) +
                               (fileExists(target) ? " exists" : " missing") + ", status " +
                               shown(brisko.statusText(0)))) {
    return;
  }
  check.expect(sawLocked, "the main window was not seen disabled during the run");
  const std::string text = readFile(log);
  check.expect(text.starts_with("\xEF\xBB\xBF"
                                "Brisko generated log file.\r\n"),
               "no log " + narrow(log) + " with its header");
  const std::string summary = "\"answer" + std::string(format == 0 ? ".obj" : ".lib") +
                              "\" uses the following external functions / symbols :";
  check.expect(text.find(summary) != std::string::npos, "the log has no line " + summary);
  check.expectEq("field 1 of the status bar", brisko.statusText(1), target);
  const std::wstring header = destination + L"\\Bin\\answer.h";
  check.expect(fileExists(header) == cHeader,
               narrow(header) + (cHeader ? " was not written" : " was written unasked"));
  if (cHeader) {
    check.expect(readFile(header).find("#ifndef ANSWER_H") != std::string::npos,
                 "the C header has no include guard ANSWER_H");
  }
  check.expect(IsWindowEnabled(brisko.item(11)) && IsWindowEnabled(brisko.item(20)) &&
                   IsWindowEnabled(brisko.item(21)) && IsWindowEnabled(brisko.item(19)),
               "controls still disabled after the run");
}

void conversionInstance(const Paths& paths) {
  const std::wstring sources = paths.work + L"\\my sources";
  const std::wstring source = sources + L"\\answer.pb";
  const std::wstring libDest = paths.work + L"\\lib dest";
  Instance brisko;
  {
    Check check("a source path parameter fills the source field and points the tree at it");
    if (!brisko.start(paths.brisko, source, paths.work, check)) return;
    check.expectEq("source field", textOf(brisko.item(13)), source);
    const TreeReader tree{brisko, brisko.item(17)};
    HTREEITEM selected = tree.selection();
    if (check.expect(selected != nullptr, "the tree has no selection")) {
      check.expectEq("selected folder", tree.label(selected), L"my sources");
    }
  }
  convert(brisko, "conversion into an object file through the window, with a log", source, 0,
          sources, L"answer.obj");
  saveScreenshot("screenshot of the status after a conversion saved (converted.png)",
                 windowRect(brisko.main()), L"converted.png");

  // The destination: the folder beside the source's, chosen in the tree.
  bool chosen = false;
  {
    const TreeReader tree{brisko, brisko.item(17)};
    HTREEITEM selected = tree.selection();
    HTREEITEM parent = selected != nullptr ? tree.next(selected, TVGN_PARENT) : nullptr;
    for (HTREEITEM child = parent != nullptr ? tree.next(parent, TVGN_CHILD) : nullptr;
         child != nullptr && !chosen; child = tree.next(child, TVGN_NEXT)) {
      if (equalNoCase(tree.label(child), L"lib dest")) {
        send(tree.tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child));
        chosen = tree.selection() == child;
      }
    }
  }
  if (!chosen) {
    note(
        "the folder \"lib dest\" could not be chosen in the tree; the library goes beside "
        "the source");
  }
  convert(brisko,
          chosen ? "conversion into a library, into the folder chosen in the tree"
                 : "conversion into a library, beside the source",
          source, 1, chosen ? libDest : sources, L"answer.lib", true);
  if (chosen) {
    Check check("the library went only into the folder chosen in the tree");
    check.expect(!fileExists(sources + L"\\Bin\\answer.lib"),
                 "answer.lib was written beside the source as well");
  }

  Check check("menu \"Quit\" ends the program with exit code 0");
  brisko.menu(kMenuQuit);
  check.expectEq("exit code", brisko.waitForExit(10000), 0);
}

// ---- a translation with longer label texts, and a folder as parameter

void translatedInstance(const Paths& paths, const LanguageTable& texts, int w33, int w35, int x11,
                        int x13) {
  Instance brisko;
  {
    Check check("translated copy started with a folder as parameter: the field stays empty");
    if (!brisko.start(paths.translated, paths.work + L"\\a folder", paths.work, check)) return;
    check.expectEq("source field", textOf(brisko.item(13)), L"");
  }
  const int long33 = textWidth(brisko.main(), languageText(texts, TextId::guiOutputFormat));
  const int long35 = textWidth(brisko.main(), languageText(texts, TextId::guiSelectSource));
  note("measured widths of the translated labels: " + std::to_string(long33) + ", " +
       std::to_string(long35));
  int width = 0;
  const std::vector<ExpectedControl> layout = mainLayout(texts, brisko.main(), width);
  for (const ExpectedControl& want : layout) {
    if (want.id >= 10 && want.id <= 14) checkControl(brisko, want, "translation: ");
  }
  checkTextsFit(brisko, texts, "translation: ");
  {
    Check check("translation: the list and the source field moved right by the longer labels");
    if (w33 == 0 || w35 == 0) {
      check.fail("no measurements of the English window");
    } else {
      check.expect(long33 > w33 + 40 && long35 > w35 + 40, "the translated labels are not longer");
      check.expectEq("shift of control 11", placeIn(brisko.item(11), brisko.main()).left - x11,
                     long33 - w33);
      check.expectEq("shift of control 13", placeIn(brisko.item(13), brisko.main()).left - x13,
                     long35 - w35);
      check.expectEq("right edge of control 13", placeIn(brisko.item(13), brisko.main()).right,
                     sourceFieldEnd(layout));
    }
  }
  Check check("\"Cancel\" ends the program with exit code 0");
  brisko.press(18);
  check.expectEq("exit code", brisko.waitForExit(10000), 0);
}

}  // namespace

// The IDE's open command, which names the installation brisko uses: a new value, or none.
bool setOpenCommand(const std::wstring& command) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\PureBasic.exe\\shell\\open\\command",
                      0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
  const bool set =
      RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                     bytes) == ERROR_SUCCESS;
  RegCloseKey(key);
  return set;
}

std::wstring openCommand() {
  wchar_t value[4096] = {};
  DWORD bytes = sizeof(value) - sizeof(wchar_t);
  RegGetValueW(HKEY_CURRENT_USER, L"Software\\Classes\\PureBasic.exe\\shell\\open\\command",
               nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes);
  return value;
}

// An x64 installation (the copy in "pb64" whose compiler writes x64 listings) named in the
// registry: the window converts a source into an x64 object, which the script runs afterwards.
void x64Conversion(const Paths& paths) {
  const std::wstring saved = openCommand();
  {
    Check check("the registry names the x64 installation");
    if (!check.expect(
            setOpenCommand(L"\"" + paths.work + L"\\pb64\\PureBasic.exe\" \"%1\" \"\" \"\" \"" +
                           paths.work + L"\\Tools.prefs\""),
            "the open command could not be written")) {
      return;
    }
  }
  const std::wstring sources = paths.work + L"\\x64 sources";
  Instance brisko;
  {
    Check check("brisko.exe starts with the x64 installation");
    if (!brisko.start(paths.brisko, sources + L"\\answer.pb", paths.work, check)) {
      setOpenCommand(saved);
      return;
    }
  }
  convert(brisko,
          "conversion of an x64 listing into an object file and a C header through the window",
          sources + L"\\answer.pb", 0, sources, L"answer.obj", true);
  Check check("menu \"Quit\" ends the x64 instance");
  brisko.menu(kMenuQuit);
  check.expectEq("exit code", brisko.waitForExit(10000), 0);
  check.expect(setOpenCommand(saved), "the open command could not be restored");
}

// Builds for both processors with and without the thread-safe option: the box and the other
// installation's field, then one conversion into four libraries and one wrapper; the next
// instance finds both as they were left.
void variantsConversion(const Paths& paths) {
  const std::wstring sources = paths.work + L"\\variant sources";
  const std::wstring other = paths.work + L"\\pb64";
  {
    Instance brisko;
    {
      Check check("brisko.exe starts for the builds of both processors");
      if (!brisko.start(paths.brisko, sources + L"\\answer.pb", paths.work, check)) return;
      setText(brisko.item(brisko::ui::kOtherInstallationField), other);
      brisko.setChecked(brisko::ui::kVariantsBox, true);
      brisko.setChecked(brisko::ui::kPbWrapperBox, true);
      check.expectEq("box 25 (both thread variants)", brisko.checked(brisko::ui::kVariantsBox),
                     BST_CHECKED);
    }
    convert(brisko, "conversion for both processors and both thread variants through the window",
            sources + L"\\answer.pb", 1, sources, L"answer.lib");
    Check check("four libraries and one wrapper that chooses among them");
    for (const wchar_t* name :
         {L"answer_thread.lib", L"answer_x64.lib", L"answer_x64_thread.lib"}) {
      check.expect(fileExists(sources + L"\\Bin\\" + name), narrow(name) + " is missing");
    }
    const std::string wrapper = readFile(sources + L"\\Bin\\answer.pbi");
    for (const char* line :
         {"CompilerIf #PB_Compiler_Processor = #PB_Processor_x64\r\n",
          "    Import \"answer_x64_thread.lib\"\r\n", "    Import \"answer.lib\"\r\n"}) {
      check.expect(wrapper.find(line) != std::string::npos,
                   std::string("the wrapper lacks ") + line);
    }
    brisko.menu(kMenuQuit);
    check.expectEq("exit code", brisko.waitForExit(10000), 0);
  }
  Instance again;
  Check check("the next instance remembers the box and the other installation");
  if (!again.start(paths.brisko, sources + L"\\answer.pb", paths.work, check)) return;
  check.expectEq("field 27", textOf(again.item(brisko::ui::kOtherInstallationField)), other);
  check.expectEq("box 25", again.checked(brisko::ui::kVariantsBox), BST_CHECKED);
  // Left clear for the instances after this one.
  setText(again.item(brisko::ui::kOtherInstallationField), L"");
  again.setChecked(brisko::ui::kVariantsBox, false);
  again.menu(kMenuQuit);
  check.expectEq("exit code", again.waitForExit(10000), 0);
}

int main() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count != 5) {
    std::fprintf(stderr,
                 "usage: gui_driver BRISKO_EXE TRANSLATED_BRISKO_EXE WORK_FOLDER "
                 "SCREENSHOT_FOLDER\n");
    return 2;
  }
  const Paths paths{arguments[1], arguments[2], arguments[3]};
  screenshotFolder = arguments[4];
  LocalFree(arguments);

  LanguageTable english;
  LanguageTable translation;
  {
    Check check("the language texts of brisko.exe and of its translated copy load");
    english = textsOf(paths.brisko, check);
    translation = textsOf(paths.translated, check);
  }
  int w33 = 0, w35 = 0, x11 = 0, x13 = 0;
  mainInstance(paths, english, w33, w35, x11, x13);
  conversionInstance(paths);
  x64Conversion(paths);
  variantsConversion(paths);
  translatedInstance(paths, translation, w33, w35, x11, x13);
  return brisko::wine_checks::summary();
}
