// The real file system on Windows, through the wide-character Win32 calls.
#include <windows.h>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/system_file_system.h"
#include "platform/win32/wide_text.h"

namespace brisko::platform {
namespace {

using win32::narrow;
using win32::widen;

// Drops trailing separators, but keeps the one of a drive root ("C:\") and of "\".
std::string withoutTrailingSeparators(const std::string& path) {
  std::string result = path;
  while (result.size() > 1 && isPathSeparator(result.back())) {
    if (result.size() == 3 && result[1] == ':') break;
    result.pop_back();
  }
  return result;
}

std::optional<WIN32_FILE_ATTRIBUTE_DATA> attributesOf(const std::string& path) {
  if (path.empty()) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  return data;
}

bool isDirectory(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The reason of the calling thread's last failure, in the system's words.
thread_local std::string lastFailure;

bool failed() {
  const DWORD error = GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring reason = length > 0 && text != nullptr ? std::wstring(text, length) : L"";
  if (text != nullptr) LocalFree(text);
  // Without the final full stop and line break the system puts at the end.
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' ||
                             reason.back() == L' ' || reason.back() == L'.')) {
    reason.pop_back();
  }
  lastFailure = narrow(reason);
  return false;
}

class Win32OutputFile : public OutputFile {
 public:
  explicit Win32OutputFile(HANDLE file) : file_(file) {}
  ~Win32OutputFile() override { close(); }

  bool write(std::string_view bytes) override {
    if (file_ == INVALID_HANDLE_VALUE) return false;
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
      const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
      DWORD written = 0;
      if (!WriteFile(file_, data, chunk, &written, nullptr) || written == 0) {
        failed_ = true;
        return failed();
      }
      data += written;
      left -= written;
    }
    return true;
  }

  bool close() override {
    if (file_ == INVALID_HANDLE_VALUE) return !failed_;
    const bool ok = CloseHandle(file_) != 0 || failed();
    file_ = INVALID_HANDLE_VALUE;
    return ok && !failed_;
  }

 private:
  HANDLE file_;
  bool failed_ = false;
};

// A file in the folder opened without sharing and deleted when its handle closes; Windows
// closes the handle when the process ends, also after a crash, so the lock never outlives
// its holder. A second opener gets a sharing violation.
class Win32FolderLock : public FolderLock {
 public:
  explicit Win32FolderLock(HANDLE file) : file_(file) {}
  ~Win32FolderLock() override { CloseHandle(file_); }

 private:
  HANDLE file_;
};

class Win32FileSystem : public FileSystem {
 public:
  bool allowsWritesFromAnotherThread() const override { return true; }

  bool exists(const std::string& path) const override { return attributesOf(path).has_value(); }

  bool isFolder(const std::string& path) const override {
    const auto data = attributesOf(path);
    return data && isDirectory(*data);
  }

  std::optional<std::uint64_t> fileSize(const std::string& path) const override {
    const auto data = attributesOf(path);
    if (!data || isDirectory(*data)) return std::nullopt;
    return (static_cast<std::uint64_t>(data->nFileSizeHigh) << 32) | data->nFileSizeLow;
  }

  std::optional<std::vector<FolderEntry>> listFolder(const std::string& folder) const override {
    const std::string pattern = withTrailingSeparator(folder) + "*";
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(widen(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      // A drive root without entries has no "." either; that is an empty folder.
      if (GetLastError() == ERROR_FILE_NOT_FOUND && (folder.empty() || isFolder(folder))) {
        return std::vector<FolderEntry>{};
      }
      return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      entries.push_back({narrow(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &found));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    if (!complete) return std::nullopt;
    return entries;
  }

  std::optional<std::string> readFile(const std::string& path) const override {
    if (path.empty()) return std::nullopt;
    const HANDLE file =
        CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string content;
    char buffer[65536];
    for (;;) {
      DWORD read = 0;
      if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
        CloseHandle(file);
        return std::nullopt;
      }
      if (read == 0) break;
      content.append(buffer, read);
    }
    CloseHandle(file);
    return content;
  }

  std::unique_ptr<OutputFile> createFile(const std::string& path) override {
    return open(path, GENERIC_WRITE, CREATE_ALWAYS);
  }

  std::unique_ptr<OutputFile> appendFile(const std::string& path) override {
    // With only FILE_APPEND_DATA every write goes to the current end of the file.
    return open(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  }

  bool deleteFile(const std::string& path) override {
    return !path.empty() && DeleteFileW(widen(path).c_str()) != 0;
  }

  bool moveFile(const std::string& from, const std::string& to) override {
    // MoveFileW refuses an existing target; folders are not moved through this call.
    if (from.empty() || to.empty() || isFolder(from)) return false;
    return MoveFileW(widen(from).c_str(), widen(to).c_str()) != 0 || failed();
  }

  bool makeFolder(const std::string& path) override {
    if (path.empty()) return false;
    return CreateDirectoryW(widen(withoutTrailingSeparators(path)).c_str(), nullptr) != 0 ||
           failed();
  }

  std::string failureReason() const override { return lastFailure; }

  FolderLockAttempt lockFolder(const std::string& folder) override {
    FolderLockAttempt attempt;
    if (folder.empty()) return attempt;
    const std::string path = withoutTrailingSeparators(folder) + "\\brisko.lock";
    const HANDLE file =
        CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      attempt.heldElsewhere = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
      return attempt;
    }
    attempt.lock = std::make_unique<Win32FolderLock>(file);
    return attempt;
  }

 private:
  static std::unique_ptr<OutputFile> open(const std::string& path, DWORD access,
                                          DWORD disposition) {
    if (path.empty()) return nullptr;
    const HANDLE file = CreateFileW(widen(path).c_str(), access, FILE_SHARE_READ, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      failed();
      return nullptr;
    }
    return std::make_unique<Win32OutputFile>(file);
  }
};

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() {
  return std::make_unique<Win32FileSystem>();
}

}  // namespace brisko::platform
