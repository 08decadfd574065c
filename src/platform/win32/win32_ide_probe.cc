// The IDE-running check on Windows: a top-level window of the IDE, known by its title and
// its window class.
#include <windows.h>

#include <cwchar>

#include "platform/ide_probe.h"

namespace brisko::platform {
namespace {

constexpr int kTextBufferCharacters = 1024;

BOOL CALLBACK visitWindow(HWND window, LPARAM foundFlag) {
  wchar_t title[kTextBufferCharacters] = {};
  wchar_t className[kTextBufferCharacters] = {};
  GetWindowTextW(window, title, kTextBufferCharacters);
  GetClassNameW(window, className, kTextBufferCharacters);
  if (std::wcsstr(title, L"PureBasic") != nullptr &&
      std::wcsstr(className, L"WindowClass_") != nullptr) {
    *reinterpret_cast<bool*>(foundFlag) = true;
    return FALSE;  // the first such window settles it
  }
  return TRUE;
}

class WindowIdeProbe : public IdeProbe {
 public:
  bool ideRunning(const std::string&) const override {
    bool found = false;
    EnumWindows(visitWindow, reinterpret_cast<LPARAM>(&found));
    return found;
  }
};

}  // namespace

std::unique_ptr<IdeProbe> makeSystemIdeProbe() {
  return std::make_unique<WindowIdeProbe>();
}

}  // namespace brisko::platform
