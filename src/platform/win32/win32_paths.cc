#include "platform/paths.h"

namespace brisko::platform {

const char kPathSeparator = '\\';

bool isAbsolutePath(std::string_view path) {
  return !path.empty() && (isPathSeparator(path[0]) || (path.size() >= 2 && path[1] == ':'));
}

}  // namespace brisko::platform
