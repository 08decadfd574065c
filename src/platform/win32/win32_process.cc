// Child processes on Windows: CreateProcessW with a hidden window and one anonymous pipe
// for the captured stream.
#include <windows.h>

#include <vector>

#include "platform/process.h"
#include "platform/threads.h"
#include "platform/win32/wide_text.h"

namespace brisko::platform {
namespace {

constexpr DWORD kDrainPauseMilliseconds = 10;
// After the process ended, a descendant that still holds the pipe open does not hold us up
// for longer than this moment of silence.
constexpr DWORD kQuietEndMilliseconds = 200;

class Win32ChildProcess : public ChildProcess {
 public:
  Win32ChildProcess(HANDLE process, HANDLE pipe, CapturedStream captured)
      : process_(process), pipe_(pipe), captured_(captured) {}

  ~Win32ChildProcess() override {
    // Closing our end first makes further writes of the child fail instead of blocking on
    // a full pipe, so the wait below ends.
    CloseHandle(pipe_);
    WaitForSingleObject(process_, INFINITE);
    CloseHandle(process_);
  }

  bool isRunning() override {
    if (captured_ == CapturedStream::standardError) {
      const bool tookSome = drainAvailable();
      if (ended()) {
        drainToEnd();
        return false;
      }
      if (!tookSome) Sleep(kDrainPauseMilliseconds);
      return true;
    }
    if (!ended()) return true;
    return bytesWaiting() > 0;
  }

  std::size_t readOutput(char* buffer, std::size_t size) override {
    std::size_t total = 0;
    while (total < size && !endOfPipe_) {
      const std::size_t left = size - total;
      const DWORD chunk = left > 0x10000 ? 0x10000 : static_cast<DWORD>(left);
      DWORD read = 0;
      if (!ReadFile(pipe_, buffer + total, chunk, &read, nullptr)) {
        // ERROR_BROKEN_PIPE: every writer has closed its end. Anything else ends it too.
        endOfPipe_ = true;
        break;
      }
      total += read;
    }
    return total;
  }

  std::string errorBytes() override {
    if (captured_ == CapturedStream::standardError) {
      waitDraining();
      drainToEnd();
    }
    return errorBytes_;
  }

  // Whether the process has ended, asked without waiting; standard error is taken in first.
  bool endedNow() {
    if (captured_ == CapturedStream::standardError) drainAvailable();
    return ended();
  }

  HANDLE processHandle() const { return process_; }

  int exitCode() override {
    if (captured_ == CapturedStream::standardError) {
      waitDraining();
    } else {
      WaitForSingleObject(process_, INFINITE);
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) return -1;
    return static_cast<int>(code);
  }

 private:
  bool ended() const { return WaitForSingleObject(process_, 0) != WAIT_TIMEOUT; }

  // Bytes in the pipe not yet read; 0 also once the pipe is closed and empty.
  DWORD bytesWaiting() {
    if (endOfPipe_) return 0;
    DWORD available = 0;
    if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr)) {
      endOfPipe_ = true;
      return 0;
    }
    return available;
  }

  // Takes what the pipe holds without blocking; true when something was read.
  bool drainAvailable() {
    const DWORD available = bytesWaiting();
    if (available == 0) return false;
    char buffer[4096];
    const DWORD chunk = available < sizeof buffer ? available : DWORD{sizeof buffer};
    DWORD read = 0;
    if (!ReadFile(pipe_, buffer, chunk, &read, nullptr)) {
      endOfPipe_ = true;
      return false;
    }
    errorBytes_.append(buffer, read);
    return read > 0;
  }

  // Waits for the end of the process, emptying the pipe meanwhile so that it cannot stall.
  void waitDraining() {
    while (WaitForSingleObject(process_, drainAvailable() ? 0 : kDrainPauseMilliseconds) ==
           WAIT_TIMEOUT) {
    }
  }

  // After the process ended: everything left in the pipe, until it is closed or quiet.
  void drainToEnd() {
    DWORD quietSince = GetTickCount();
    while (!endOfPipe_) {
      if (drainAvailable()) {
        quietSince = GetTickCount();
        continue;
      }
      if (endOfPipe_ || GetTickCount() - quietSince >= kQuietEndMilliseconds) break;
      Sleep(kDrainPauseMilliseconds);
    }
  }

  HANDLE process_;
  HANDLE pipe_;
  CapturedStream captured_;
  bool endOfPipe_ = false;
  std::string errorBytes_;
};

bool isFolderPath(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class Win32ProcessLauncher : public ProcessLauncher {
 public:
  std::unique_ptr<ChildProcess> start(const std::string& commandLine,
                                      const std::string& workingFolder,
                                      CapturedStream captured) override {
    if (commandLine.empty()) return nullptr;
    const std::wstring folder = win32::widen(workingFolder);
    if (!folder.empty() && !isFolderPath(folder)) return nullptr;

    // The child writes into an inheritable end; ours must not be inherited, or the pipe
    // would never report its end. Starts from several threads (builds beside each other) take
    // turns: a child started meanwhile would inherit the other child's write end too.
    startLock_.lock();
    std::unique_ptr<ChildProcess> child = startLocked(commandLine, folder, captured);
    startLock_.unlock();
    return child;
  }

 private:
  std::unique_ptr<ChildProcess> startLocked(const std::string& commandLine,
                                            const std::wstring& folder, CapturedStream captured) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return nullptr;
    if (!SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
      CloseHandle(readEnd);
      CloseHandle(writeEnd);
      return nullptr;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    const bool output = captured == CapturedStream::standardOutput;
    // A tool's standard output that nobody reads (FASM's banner) would mix with the console's
    // own lines, and with other runs going at once, so it goes to the null device.
    HANDLE nowhere = INVALID_HANDLE_VALUE;
    if (!output) {
      nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                            OPEN_EXISTING, 0, nullptr);
    }
    startup.hStdOutput = output                            ? writeEnd
                         : nowhere != INVALID_HANDLE_VALUE ? nowhere
                                                           : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = output ? GetStdHandle(STD_ERROR_HANDLE) : writeEnd;

    // CreateProcessW may write into the command line, so it gets a copy of its own.
    const std::wstring wideLine = win32::widen(commandLine);
    std::vector<wchar_t> mutableLine(wideLine.begin(), wideLine.end());
    mutableLine.push_back(L'\0');

    PROCESS_INFORMATION started{};
    const BOOL created =
        CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &started);
    // Only the child may hold the write end now; ours would keep the pipe open forever.
    CloseHandle(writeEnd);
    if (nowhere != INVALID_HANDLE_VALUE) CloseHandle(nowhere);
    if (!created) {
      CloseHandle(readEnd);
      return nullptr;
    }
    CloseHandle(started.hThread);
    return std::make_unique<Win32ChildProcess>(started.hProcess, readEnd, captured);
  }

  Lock startLock_;

 public:
  // Waits on the process handles in short steps, so that the pipes are emptied between them.
  std::vector<std::size_t> waitForEnded(const std::vector<ChildProcess*>& children,
                                        int timeoutMilliseconds) override {
    const ULONGLONG deadline =
        GetTickCount64() +
        static_cast<ULONGLONG>(timeoutMilliseconds < 0 ? 0 : timeoutMilliseconds);
    for (;;) {
      std::vector<std::size_t> ended;
      std::vector<HANDLE> handles;
      for (std::size_t i = 0; i < children.size(); ++i) {
        auto* child = dynamic_cast<Win32ChildProcess*>(children[i]);
        if (child == nullptr) {
          if (!children[i]->isRunning()) ended.push_back(i);
        } else if (child->endedNow()) {
          ended.push_back(i);
        } else if (handles.size() < MAXIMUM_WAIT_OBJECTS) {
          handles.push_back(child->processHandle());
        }
      }
      if (!ended.empty()) return ended;
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return ended;
      const ULONGLONG left = deadline - now;
      const DWORD wait =
          left < kDrainPauseMilliseconds ? static_cast<DWORD>(left) : kDrainPauseMilliseconds;
      if (handles.empty()) {
        Sleep(wait);
      } else {
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait);
      }
    }
  }
};

}  // namespace

std::unique_ptr<ProcessLauncher> makeProcessLauncher() {
  return std::make_unique<Win32ProcessLauncher>();
}

}  // namespace brisko::platform
