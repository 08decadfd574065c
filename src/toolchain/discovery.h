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

// Applies a selector to the command value: 0 the folder of the first quoted path, 1, 2, 3
// the third, fourth and fifth quoted items, any other the whole value.
std::string selectFromCommand(std::string_view command, int selector);

// Discovery: reads the command from the source and applies the selector; empty when it
// cannot be read.
std::string discoverInstallation(const platform::InstallationCommandSource& source, int selector);

}  // namespace brisko::toolchain
