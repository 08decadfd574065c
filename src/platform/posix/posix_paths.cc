#include "platform/paths.h"

namespace brisko::platform {

const char kPathSeparator = '/';

bool isAbsolutePath(std::string_view path) {
  return !path.empty() && path[0] == '/';
}

}  // namespace brisko::platform
