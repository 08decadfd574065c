#include "platform/paths.h"

#include "platform/system.h"

namespace brisko::platform {

const char kPathSeparator = '/';

bool isAbsolutePath(std::string_view path) {
  return !path.empty() && path[0] == '/';
}

std::string userSettingsFolder(const Environment& environment) {
  const auto configHome = environment.variable("XDG_CONFIG_HOME");
  if (configHome && isAbsolutePath(*configHome)) {
    return withTrailingSeparator(*configHome) + "brisko/";
  }
  const auto home = environment.variable("HOME");
  if (!home || !isAbsolutePath(*home)) return {};
  return withTrailingSeparator(*home) + ".config/brisko/";
}

}  // namespace brisko::platform
