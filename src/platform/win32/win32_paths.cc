#include "platform/paths.h"

#include "platform/system.h"

namespace brisko::platform {

const char kPathSeparator = '\\';

bool isAbsolutePath(std::string_view path) {
  return !path.empty() && (isPathSeparator(path[0]) || (path.size() >= 2 && path[1] == ':'));
}

std::string userSettingsFolder(const Environment& environment) {
  const auto appData = environment.variable("APPDATA");
  if (!appData || !isAbsolutePath(*appData)) return {};
  return withTrailingSeparator(*appData) + "brisko\\";
}

}  // namespace brisko::platform
