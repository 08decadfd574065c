#include "toolchain/discovery.h"

#include "platform/paths.h"

namespace brisko::toolchain {

std::optional<CommandKey> commandKeyFor(int versionClass) {
  switch (versionClass) {
    case 10:
    case 30:
    case 40:
      return CommandKey{platform::RegistryRoot::localMachine,
                        "Software\\Classes\\PureBasic.exe\\shell\\open\\command"};
    case 5:
    case 20:
    case 50:
    case 60:
    case 65:
      return CommandKey{platform::RegistryRoot::classesRoot,
                        "Applications\\PureBasic.exe\\shell\\open\\command"};
    case 70:
    case 75:
    case 100:
      return CommandKey{platform::RegistryRoot::currentUser,
                        "Software\\Classes\\PureBasic.exe\\shell\\open\\command"};
    default:
      return std::nullopt;
  }
}

std::string quoteField(std::string_view command, int n) {
  int field = 1;
  std::size_t start = 0;
  while (field < n) {
    const auto quote = command.find('"', start);
    if (quote == std::string_view::npos) return {};
    start = quote + 1;
    ++field;
  }
  const auto end = command.find('"', start);
  return std::string(command.substr(start, end == std::string_view::npos ? end : end - start));
}

std::string selectFromCommand(std::string_view command, CommandPart part) {
  switch (part) {
    case CommandPart::installationFolder:
      return platform::folderPart(quoteField(command, 2));
    case CommandPart::toolsFile:
      return quoteField(command, 10);
    case CommandPart::whole:
      break;
  }
  return std::string(command);
}

std::string discoverInstallation(const platform::InstallationCommandSource& source,
                                 CommandPart part) {
  const auto key = commandKeyFor(source.versionClass());
  if (!key) return {};
  const auto command = source.readCommand(key->root, key->subKey);
  if (!command) return {};
  return selectFromCommand(*command, part);
}

}  // namespace brisko::toolchain
