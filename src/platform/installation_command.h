// Where the PureBasic IDE's open command comes from: the registry on Windows, the
// environment variable BRISKO_PB_COMMAND on POSIX.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace brisko::platform {

enum class RegistryRoot { localMachine, classesRoot, currentUser };

class InstallationCommandSource {
 public:
  virtual ~InstallationCommandSource() = default;
  // The Windows version class (5, 10, 20, 30, 40, 50, 60, 65, 70, 75 or 100).
  virtual int versionClass() const = 0;
  // The default value of the key, opened with full access and read into a 1,024-byte
  // buffer; nothing when the key cannot be opened or the value cannot be read. On POSIX
  // root and key are not consulted: the value is the content of BRISKO_PB_COMMAND.
  virtual std::optional<std::string> readCommand(RegistryRoot root,
                                                 const std::string& subKey) const = 0;
};

std::unique_ptr<InstallationCommandSource> makeSystemInstallationCommandSource();

}  // namespace brisko::platform
