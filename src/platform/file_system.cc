#include "platform/file_system.h"

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

}  // namespace brisko::platform
