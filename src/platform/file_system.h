// The file-system operations the program needs, behind one interface so that the logic
// can run against the real disk or against an in-memory tree in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brisko::platform {

struct FolderEntry {
  std::string name;  // file part only
  bool isFolder = false;
};

// A file opened for writing; bytes are written in order. Destroying it closes it.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool write(std::string_view bytes) = 0;
  // Flushes and closes; further writes fail. Returns false when the data could not be stored.
  virtual bool close() = 0;
};

// Held while a conversion writes into a folder; destroying it releases the folder. The
// operating system releases it too when the process ends, also after a crash.
class FolderLock {
 public:
  virtual ~FolderLock() = default;
};

struct FolderLockAttempt {
  std::unique_ptr<FolderLock> lock;  // none when the folder is held or cannot be locked
  bool heldElsewhere = false;        // another process (or object) holds it
};

// Paths are UTF-8 texts in the platform's own form; folder paths may end with a separator.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual bool exists(const std::string& path) const = 0;
  virtual bool isFolder(const std::string& path) const = 0;
  // Size in bytes of a file; nothing for a missing path or a folder.
  virtual std::optional<std::uint64_t> fileSize(const std::string& path) const = 0;
  // Every entry of a folder (files and folders, without "." and ".."), in the order the
  // file system returns them; nothing when the folder cannot be listed.
  virtual std::optional<std::vector<FolderEntry>> listFolder(const std::string& folder) const = 0;
  // The whole content of a file; nothing when it cannot be opened or read.
  virtual std::optional<std::string> readFile(const std::string& path) const = 0;

  // Creates (or truncates) a file for writing; nothing when it cannot be created.
  virtual std::unique_ptr<OutputFile> createFile(const std::string& path) = 0;
  // Opens a file for appending, creating it when missing; nothing on failure.
  virtual std::unique_ptr<OutputFile> appendFile(const std::string& path) = 0;
  virtual bool deleteFile(const std::string& path) = 0;
  // Renames a file; fails when the target exists.
  virtual bool moveFile(const std::string& from, const std::string& to) = 0;
  // Creates one folder level; a trailing separator is allowed.
  virtual bool makeFolder(const std::string& path) = 0;

  // Takes the folder's lock without waiting: held elsewhere is said so; a folder that cannot
  // be locked at all (a file system without locks) gives neither a lock nor heldElsewhere.
  virtual FolderLockAttempt lockFolder(const std::string& folder) = 0;

  // Convenience: create a file and write all bytes to it.
  bool writeFile(const std::string& path, std::string_view bytes);
  // Convenience: append all bytes to a file (created when missing).
  bool appendToFile(const std::string& path, std::string_view bytes);

  // Whether files may be created, written and deleted from a second thread while the first
  // goes on reading (true for the real file systems, which keep no state of their own).
  virtual bool allowsWritesFromAnotherThread() const { return false; }

  // The operating system's words for why the calling thread's last failed create, write,
  // close, move or folder creation failed ("No space left on device"); empty when it gave none.
  virtual std::string failureReason() const { return {}; }

  // Creates the folder and every missing folder above it (trailing spaces and separators
  // ignored). True when the folder is there afterwards.
  bool makeFolders(const std::string& path);
};

}  // namespace brisko::platform
