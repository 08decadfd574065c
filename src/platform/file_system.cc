#include "platform/file_system.h"

#include "platform/paths.h"

namespace brisko::platform {

namespace {

bool writeAndClose(std::unique_ptr<OutputFile> file, std::string_view bytes) {
  if (!file) return false;
  const bool written = file->write(bytes);
  return file->close() && written;
}

}  // namespace

bool FileSystem::writeFile(const std::string& path, std::string_view bytes) {
  return writeAndClose(createFile(path), bytes);
}

bool FileSystem::appendToFile(const std::string& path, std::string_view bytes) {
  return writeAndClose(appendFile(path), bytes);
}

bool FileSystem::makeFolders(const std::string& path) {
  std::string folder = path;
  while (!folder.empty() && (folder.back() == ' ' || isPathSeparator(folder.back()))) {
    folder.pop_back();
  }
  if (folder.empty() || isFolder(folder)) return !folder.empty();
  const std::string parent = folderPart(folder);
  if (!exists(folder) && !parent.empty() && parent != folder) makeFolders(parent);
  // Also where a file of the name stands: the failure gives the system's reason.
  makeFolder(folder);
  return isFolder(folder);
}

}  // namespace brisko::platform
