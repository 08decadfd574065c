// Arguments, console, clock, environment and temporary folder of the running process on
// Windows.
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <malloc.h>

#include <vector>

#include "platform/system.h"
#include "platform/win32/wide_text.h"

namespace brisko::platform {
namespace {

using win32::narrow;
using win32::widen;

class SystemClock : public Clock {
 public:
  LocalTime now() const override {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute};
  }
  std::int64_t steadyMilliseconds() const override {
    return static_cast<std::int64_t>(GetTickCount64());
  }
};

class SystemEnvironment : public Environment {
 public:
  std::optional<std::string> variable(const std::string& name) const override {
    const std::wstring wideName = widen(name);
    std::vector<wchar_t> buffer(256);
    for (;;) {
      SetLastError(ERROR_SUCCESS);
      const DWORD length = GetEnvironmentVariableW(wideName.c_str(), buffer.data(),
                                                   static_cast<DWORD>(buffer.size()));
      if (length == 0) {
        // Zero is also the length of a variable that is set to an empty text.
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
      }
      if (length < buffer.size()) return narrow(std::wstring_view(buffer.data(), length));
      buffer.resize(length);  // the size it needs, terminating zero included
    }
  }

  std::string currentFolder() const override {
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    if (length == 0) return {};
    std::vector<wchar_t> buffer(length);
    const DWORD written = GetCurrentDirectoryW(length, buffer.data());
    if (written == 0 || written >= length) return {};
    std::string folder = narrow(std::wstring_view(buffer.data(), written));
    if (folder.back() != '\\') folder += '\\';
    return folder;
  }

  std::string executablePath() const override {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
      const DWORD length =
          GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0) return {};
      // A full buffer means the path was cut.
      if (length < buffer.size()) return narrow(std::wstring_view(buffer.data(), length));
      if (buffer.size() >= 32768) return {};
      buffer.resize(buffer.size() * 2);
    }
  }
};

// The user's own temporary folder, used as it is: Windows gives every user one, so there
// is nothing to create and nothing to remove.
class UserTempFolder : public TempFolder {
 public:
  std::string path() override {
    if (!tried_) {
      tried_ = true;
      path_ = query();
    }
    return path_;
  }

 private:
  static std::string query() {
    wchar_t shortPath[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, shortPath);
    if (length == 0 || length > MAX_PATH) return {};
    // GetTempPathW may give the short (8.3) form of the folder; take the long one.
    std::wstring folder(shortPath, length);
    const DWORD needed = GetLongPathNameW(folder.c_str(), nullptr, 0);
    if (needed > 0) {
      std::vector<wchar_t> longPath(needed);
      const DWORD written =
          GetLongPathNameW(folder.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
      if (written > 0 && written < longPath.size()) folder.assign(longPath.data(), written);
    }
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return narrow(folder);
  }

  std::string path_;
  bool tried_ = false;
};

}  // namespace

void initialiseConsole() {
  // The program writes UTF-8; the console shows it as such only with this code page.
  SetConsoleOutputCP(CP_UTF8);
}

// The C runtime's argv holds ANSI texts, which cannot carry every name; the wide command
// line can.
std::vector<std::string> programArguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {};
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

void returnFreedMemory() {
  _heapmin();
}

int processorCount() {
  const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count == 0 ? 1 : static_cast<int>(count);
}

std::unique_ptr<Clock> makeSystemClock() {
  return std::make_unique<SystemClock>();
}
std::unique_ptr<Environment> makeSystemEnvironment() {
  return std::make_unique<SystemEnvironment>();
}
std::unique_ptr<TempFolder> makeSystemTempFolder() {
  return std::make_unique<UserTempFolder>();
}

}  // namespace brisko::platform
