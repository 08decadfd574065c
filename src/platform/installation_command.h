// Where the PureBasic IDE's open command comes from: the registry on Windows, the
// environment variable BRISKO_PB_COMMAND on POSIX.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace brisko::platform {

class InstallationCommandSource {
 public:
  virtual ~InstallationCommandSource() = default;
  // The IDE's open command: on Windows the default value of the registry key that the Windows
  // release names (see ideCommandKeyFor), opened with full access and read into a 1,024-byte
  // buffer; on POSIX the content of BRISKO_PB_COMMAND. Nothing when it cannot be read.
  virtual std::optional<std::string> ideOpenCommand() const = 0;
};

std::unique_ptr<InstallationCommandSource> makeSystemInstallationCommandSource();

// Where the system's source reads the IDE's open command, named as a user would look for it:
// on Windows the full name of the registry key the running release consults (on current
// releases HKEY_CURRENT_USER\Software\Classes\PureBasic.exe\shell\open\command), on POSIX
// the environment variable's name, BRISKO_PB_COMMAND.
std::string ideOpenCommandPlace();

}  // namespace brisko::platform
