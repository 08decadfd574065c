#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/system_file_system.h"

namespace brisko::platform {
namespace {

// The reason of the calling thread's last failure, in the system's words.
thread_local std::string lastFailure;

bool failed() {
  lastFailure = std::strerror(errno);
  return false;
}

std::string withoutTrailingSlashes(const std::string& path) {
  std::string result = path;
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

class PosixOutputFile : public OutputFile {
 public:
  explicit PosixOutputFile(int fd) : fd_(fd) {}
  ~PosixOutputFile() override { close(); }
  bool write(std::string_view bytes) override {
    if (fd_ < 0) return false;
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
      const ssize_t n = ::write(fd_, data, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        failed_ = true;
        return failed();
      }
      data += n;
      left -= static_cast<std::size_t>(n);
    }
    return true;
  }
  bool close() override {
    if (fd_ < 0) return !failed_;
    const bool ok = ::close(fd_) == 0 || failed();
    fd_ = -1;
    return ok && !failed_;
  }

 private:
  int fd_;
  bool failed_ = false;
};

// An advisory lock on the folder's own descriptor; the kernel drops it with the descriptor,
// when the process ends however it ends. The descriptor is not inherited by the tools.
class PosixFolderLock : public FolderLock {
 public:
  explicit PosixFolderLock(int fd) : fd_(fd) {}
  ~PosixFolderLock() override { ::close(fd_); }

 private:
  int fd_;
};

class PosixFileSystem : public FileSystem {
 public:
  bool allowsWritesFromAnotherThread() const override { return true; }

  bool exists(const std::string& path) const override {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
  }
  bool isFolder(const std::string& path) const override {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  std::optional<std::uint64_t> fileSize(const std::string& path) const override {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
  }
  std::optional<std::vector<FolderEntry>> listFolder(const std::string& folder) const override {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::vector<FolderEntry> entries;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      entries.push_back({name, isFolder(prefix + name)});
    }
    ::closedir(dir);
    return entries;
  }
  std::optional<std::string> readFile(const std::string& path) const override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      ::close(fd);
      return std::nullopt;
    }
    // Reserved at the file's size (it may still grow or shrink meanwhile) and filled through a
    // buffer that stays in the cache, so the content is written once.
    std::string content;
    content.reserve(static_cast<std::size_t>(st.st_size));
    std::vector<char> buffer(256 * 1024);
    for (;;) {
      const ssize_t n = ::read(fd, buffer.data(), buffer.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        ::close(fd);
        return std::nullopt;
      }
      if (n == 0) break;
      content.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
  }
  std::unique_ptr<OutputFile> createFile(const std::string& path) override {
    return open(path, O_WRONLY | O_CREAT | O_TRUNC);
  }
  std::unique_ptr<OutputFile> appendFile(const std::string& path) override {
    return open(path, O_WRONLY | O_CREAT | O_APPEND);
  }
  bool deleteFile(const std::string& path) override {
    return !isFolder(path) && ::unlink(path.c_str()) == 0;
  }
  bool moveFile(const std::string& from, const std::string& to) override {
    if (exists(to) || isFolder(from)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0 || failed();
  }
  bool makeFolder(const std::string& path) override {
    return ::mkdir(withoutTrailingSlashes(path).c_str(), 0777) == 0 || failed();
  }
  std::string failureReason() const override { return lastFailure; }
  FolderLockAttempt lockFolder(const std::string& folder) override {
    FolderLockAttempt attempt;
    const int fd =
        ::open(withoutTrailingSlashes(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return attempt;
    int result;
    do {
      result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
      attempt.heldElsewhere = errno == EWOULDBLOCK;
      ::close(fd);
      return attempt;
    }
    attempt.lock = std::make_unique<PosixFolderLock>(fd);
    return attempt;
  }

 private:
  static std::unique_ptr<OutputFile> open(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
      failed();
      return nullptr;
    }
    return std::make_unique<PosixOutputFile>(fd);
  }
};

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() {
  return std::make_unique<PosixFileSystem>();
}

}  // namespace brisko::platform
