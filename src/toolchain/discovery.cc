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

std::string selectFromCommand(std::string_view command, int selector) {
  switch (selector) {
    case 0:
      return platform::folderPart(quoteField(command, 2));
    case 1:
      return quoteField(command, 6);
    case 2:
      return quoteField(command, 8);
    case 3:
      return quoteField(command, 10);
    default:
      return std::string(command);
  }
}

std::string discoverInstallation(const platform::InstallationCommandSource& source, int selector) {
  const auto command = source.ideOpenCommand();
  if (!command) return {};
  return selectFromCommand(*command, selector);
}

}  // namespace brisko::toolchain
