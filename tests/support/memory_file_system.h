// An in-memory file system for tests. Both "\" and "/" separate folders; a path names the
// same entry with or without a trailing separator. Folders list their entries in the order
// they were created, standing in for the file system's own order.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace brisko::platform {

class MemoryFileSystem : public FileSystem {
 public:
  MemoryFileSystem();

  bool exists(const std::string& path) const override;
  bool isFolder(const std::string& path) const override;
  std::optional<std::uint64_t> fileSize(const std::string& path) const override;
  std::optional<std::vector<FolderEntry>> listFolder(const std::string& folder) const override;
  std::optional<std::string> readFile(const std::string& path) const override;
  std::unique_ptr<OutputFile> createFile(const std::string& path) override;
  std::unique_ptr<OutputFile> appendFile(const std::string& path) override;
  bool deleteFile(const std::string& path) override;
  bool moveFile(const std::string& from, const std::string& to) override;
  bool makeFolder(const std::string& path) override;
  // A folder is held from the lock's creation until its destruction; a second attempt while
  // it is held says heldElsewhere.
  FolderLockAttempt lockFolder(const std::string& folder) override;

  // Test set-up: creates the file and every missing folder above it.
  void addFile(const std::string& path, std::string content);
  // Test set-up: creates the folder and every missing folder above it.
  void addFolder(const std::string& path);
  // Makes opening, reading or creating this path fail.
  void makeInaccessible(const std::string& path);
  // Lets this path be created, but makes every write to it and its close fail, as on a full
  // disk; the bytes are not stored.
  void failWrites(const std::string& path);

  std::string failureReason() const override { return lastFailure_; }

  static std::string canonical(const std::string& path);

 private:
  std::string lastFailure_;
  struct Node {
    bool isFolder = false;
    std::string content;
    std::vector<std::string> children;  // names, in creation order (folders only)
  };
  friend class MemoryOutputFile;

  bool parentIsFolder(const std::string& key) const;
  void link(const std::string& key);
  void unlink(const std::string& key);

  std::map<std::string, Node> nodes_;
  std::set<std::string> inaccessible_;
  std::set<std::string> failingWrites_;
  std::shared_ptr<std::set<std::string>> lockedFolders_ = std::make_shared<std::set<std::string>>();
};

}  // namespace brisko::platform
