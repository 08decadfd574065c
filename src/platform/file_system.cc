#include "platform/file_system.h"

namespace brisko::platform {

bool FileSystem::writeFile(const std::string& path, std::string_view bytes) {
  auto file = createFile(path);
  if (!file) return false;
  const bool written = file->write(bytes);
  return file->close() && written;
}

}  // namespace brisko::platform
