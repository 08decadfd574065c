#include "toolchain/discovery.h"

#include "platform/paths.h"

namespace brisko::toolchain {

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
  const auto command = source.ideOpenCommand();
  if (!command) return {};
  return selectFromCommand(*command, part);
}

}  // namespace brisko::toolchain
