#include "memory_file_system.h"

#include <algorithm>

namespace brisko::platform {
namespace {

std::string parentOf(const std::string& key) {
  const auto slash = key.rfind('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return key.substr(0, slash);
}

std::string nameOf(const std::string& key) {
  const auto slash = key.rfind('/');
  return slash == std::string::npos ? key : key.substr(slash + 1);
}

}  // namespace

class MemoryOutputFile : public OutputFile {
 public:
  MemoryOutputFile(MemoryFileSystem& files, std::string key)
      : files_(files), key_(std::move(key)) {}
  bool write(std::string_view bytes) override {
    if (closed_ || files_.failingWrites_.count(key_)) {
      files_.lastFailure_ = "No space left on device";
      return false;
    }
    auto it = files_.nodes_.find(key_);
    if (it == files_.nodes_.end() || it->second.isFolder) return false;
    it->second.content.append(bytes);
    return true;
  }
  bool close() override {
    closed_ = true;
    if (files_.failingWrites_.count(key_) == 0) return true;
    files_.lastFailure_ = "No space left on device";
    return false;
  }

 private:
  MemoryFileSystem& files_;
  std::string key_;
  bool closed_ = false;
};

MemoryFileSystem::MemoryFileSystem() {
  nodes_[""].isFolder = true;
  nodes_["/"].isFolder = true;
}

std::string MemoryFileSystem::canonical(const std::string& path) {
  std::string key = path;
  std::replace(key.begin(), key.end(), '\\', '/');
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

bool MemoryFileSystem::parentIsFolder(const std::string& key) const {
  auto it = nodes_.find(parentOf(key));
  return it != nodes_.end() && it->second.isFolder;
}

void MemoryFileSystem::link(const std::string& key) {
  auto& siblings = nodes_[parentOf(key)].children;
  const std::string name = nameOf(key);
  if (std::find(siblings.begin(), siblings.end(), name) == siblings.end()) siblings.push_back(name);
}

void MemoryFileSystem::unlink(const std::string& key) {
  auto& siblings = nodes_[parentOf(key)].children;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), nameOf(key)), siblings.end());
}

// An empty path names nothing, as on a real disk.
bool MemoryFileSystem::exists(const std::string& path) const {
  return !path.empty() && nodes_.count(canonical(path)) != 0;
}

bool MemoryFileSystem::isFolder(const std::string& path) const {
  if (path.empty()) return false;
  auto it = nodes_.find(canonical(path));
  return it != nodes_.end() && it->second.isFolder;
}

std::optional<std::uint64_t> MemoryFileSystem::fileSize(const std::string& path) const {
  auto it = nodes_.find(canonical(path));
  if (it == nodes_.end() || it->second.isFolder) return std::nullopt;
  return it->second.content.size();
}

std::optional<std::vector<FolderEntry>> MemoryFileSystem::listFolder(
    const std::string& folder) const {
  const std::string key = canonical(folder);
  auto it = nodes_.find(key);
  if (it == nodes_.end() || !it->second.isFolder || inaccessible_.count(key)) return std::nullopt;
  std::vector<FolderEntry> entries;
  for (const auto& name : it->second.children) {
    const std::string child = (key == "/" ? "/" : key + "/") + name;
    entries.push_back({name, nodes_.at(key.empty() ? name : child).isFolder});
  }
  return entries;
}

std::optional<std::string> MemoryFileSystem::readFile(const std::string& path) const {
  const std::string key = canonical(path);
  auto it = nodes_.find(key);
  if (it == nodes_.end() || it->second.isFolder || inaccessible_.count(key)) return std::nullopt;
  return it->second.content;
}

std::unique_ptr<OutputFile> MemoryFileSystem::createFile(const std::string& path) {
  const std::string key = canonical(path);
  if (inaccessible_.count(key) || !parentIsFolder(key)) {
    lastFailure_ = inaccessible_.count(key) ? "Permission denied" : "No such file or directory";
    return nullptr;
  }
  auto it = nodes_.find(key);
  if (it != nodes_.end() && it->second.isFolder) return nullptr;
  nodes_[key] = Node{};
  link(key);
  return std::make_unique<MemoryOutputFile>(*this, key);
}

std::unique_ptr<OutputFile> MemoryFileSystem::appendFile(const std::string& path) {
  const std::string key = canonical(path);
  if (inaccessible_.count(key) || !parentIsFolder(key)) return nullptr;
  auto it = nodes_.find(key);
  if (it != nodes_.end() && it->second.isFolder) return nullptr;
  if (it == nodes_.end()) {
    nodes_[key] = Node{};
    link(key);
  }
  return std::make_unique<MemoryOutputFile>(*this, key);
}

bool MemoryFileSystem::deleteFile(const std::string& path) {
  const std::string key = canonical(path);
  auto it = nodes_.find(key);
  if (it == nodes_.end() || it->second.isFolder || inaccessible_.count(key)) return false;
  nodes_.erase(it);
  unlink(key);
  return true;
}

bool MemoryFileSystem::moveFile(const std::string& from, const std::string& to) {
  const std::string source = canonical(from);
  const std::string target = canonical(to);
  auto it = nodes_.find(source);
  if (it == nodes_.end() || it->second.isFolder || nodes_.count(target) ||
      !parentIsFolder(target)) {
    return false;
  }
  Node node = std::move(it->second);
  nodes_.erase(it);
  unlink(source);
  nodes_[target] = std::move(node);
  link(target);
  return true;
}

bool MemoryFileSystem::makeFolder(const std::string& path) {
  const std::string key = canonical(path);
  if (nodes_.count(key) || !parentIsFolder(key) || inaccessible_.count(key)) {
    lastFailure_ = nodes_.count(key) ? "File exists" : "No such file or directory";
    return false;
  }
  nodes_[key].isFolder = true;
  link(key);
  return true;
}

void MemoryFileSystem::addFolder(const std::string& path) {
  const std::string key = canonical(path);
  if (key.empty() || nodes_.count(key)) return;
  addFolder(parentOf(key));
  nodes_[key].isFolder = true;
  link(key);
}

void MemoryFileSystem::addFile(const std::string& path, std::string content) {
  const std::string key = canonical(path);
  addFolder(parentOf(key));
  nodes_[key] = Node{false, std::move(content), {}};
  link(key);
}

namespace {

class MemoryFolderLock : public FolderLock {
 public:
  MemoryFolderLock(std::shared_ptr<std::set<std::string>> locked, std::string key)
      : locked_(std::move(locked)), key_(std::move(key)) {}
  ~MemoryFolderLock() override { locked_->erase(key_); }

 private:
  std::shared_ptr<std::set<std::string>> locked_;
  std::string key_;
};

}  // namespace

FolderLockAttempt MemoryFileSystem::lockFolder(const std::string& folder) {
  FolderLockAttempt attempt;
  const std::string key = canonical(folder);
  if (!isFolder(folder)) return attempt;
  if (!lockedFolders_->insert(key).second) {
    attempt.heldElsewhere = true;
    return attempt;
  }
  attempt.lock = std::make_unique<MemoryFolderLock>(lockedFolders_, key);
  return attempt;
}

void MemoryFileSystem::makeInaccessible(const std::string& path) {
  inaccessible_.insert(canonical(path));
}

void MemoryFileSystem::failWrites(const std::string& path) {
  failingWrites_.insert(canonical(path));
}

}  // namespace brisko::platform
