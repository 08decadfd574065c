// Registering brisko in the PureBasic IDE's tools menu: one "Tool_" group appended to the
// IDE's tools file, with the file's ToolCount raised by one.
#pragma once

#include <string>

#include "app/feedback.h"
#include "platform/file_system.h"
#include "platform/ide_probe.h"
#include "platform/installation_command.h"

namespace brisko::toolchain {

// The IDE's files as its open command names them, with the platform's separators; empty
// when the command cannot be read or lacks the item.
struct IdeLocation {
  std::string toolsFile;  // the fifth quoted item
  std::string program;    // the first quoted item, the IDE's executable
};
IdeLocation discoverIde(const platform::InstallationCommandSource& source);

// Adds programPath as a tool to the IDE's tools file, creating the file when there is none.
// Success shows the tool's number in the IDE's list and the file (registeredTool, with the
// program's title). Otherwise reports (not fatal) and fails with: unablePbIdeTool when the file
// cannot be read or written (or either path is empty), alreadyRegistered when a tool's Command
// is programPath already (both with the file's path, when there is one), pbIdeRunning while
// the IDE runs. The file is then left as it was (a missing one is not created), unless the
// block could not be appended after the count was raised.
app::Outcome registerIdeTool(platform::FileSystem& files, app::Feedback& feedback,
                             const platform::IdeProbe& ideProbe, const IdeLocation& ide,
                             const std::string& programPath);

}  // namespace brisko::toolchain
