// Finding the PureBasic installation from the IDE's open command.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/installation_command.h"

namespace brisko::toolchain {

// Field n of a text split at every double quote (field 1 before the first quote); empty
// when missing.
std::string quoteField(std::string_view command, int n);

// The parts of the command value the program uses: the folder of the first quoted path (the
// installation folder), the fifth quoted item (the IDE's tools file), or the whole value.
enum class CommandPart { installationFolder, toolsFile, whole };
std::string selectFromCommand(std::string_view command, CommandPart part);

// Discovery: reads the command from the source and takes the part of it; empty when it
// cannot be read.
std::string discoverInstallation(const platform::InstallationCommandSource& source,
                                 CommandPart part);

}  // namespace brisko::toolchain
