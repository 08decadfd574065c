#include "toolchain/ide_registration.h"

#include <optional>
#include <string_view>

#include "language/preferences.h"
#include "language/text_ids.h"
#include "platform/code_pages.h"
#include "platform/paths.h"
#include "platform/text_encoding.h"
#include "toolchain/discovery.h"

namespace brisko::toolchain {
namespace {

// What a tools file holds when registration has to create it: ANSI, no byte-order mark.
constexpr std::string_view kNewToolsFile =
    ";  PureBasic IDE ToolsMenu Configuration\r\n"
    "; \r\n"
    "[ToolsInfo]\r\n"
    "ToolCount = 0\r\n";

std::string toolBlock(int toolNumber, const std::string& programPath) {
  return ";\r\n"
         ";\r\n"
         "[Tool_" +
         std::to_string(toolNumber) +
         "]\r\n"
         "Command = " +
         programPath +
         "\r\n"
         "Arguments = \"%FILE\"\r\n"
         "WorkingDir = \r\n"
         "MenuItemName = brisko\r\n"
         "Shortcut = 0\r\n"
         "ConfigLine = \r\n"
         "Trigger = 0\r\n"
         "Flags = 0\r\n"
         "ReloadSource = 0\r\n"
         "HideEditor = 0\r\n"
         "HideFromMenu = 0\r\n"
         "SourceSpecific = 0\r\n"
         "Deactivate = 0\r\n";
}

}  // namespace

IdeLocation discoverIde(const platform::InstallationCommandSource& source) {
  const std::string command = discoverInstallation(source, CommandPart::whole);
  IdeLocation ide;
  ide.toolsFile = platform::nativeSeparators(selectFromCommand(command, CommandPart::toolsFile));
  ide.program = platform::nativeSeparators(quoteField(command, 2));
  return ide;
}

app::Outcome registerIdeTool(platform::FileSystem& files, app::Feedback& feedback,
                             const platform::IdeProbe& ideProbe, const IdeLocation& ide,
                             const std::string& programPath) {
  const std::string& toolsFile = ide.toolsFile;
  // A refusal about the file names it, when there is one.
  const auto fail = [&](language::TextId id) {
    return feedback.reportError(id, false, toolsFile.empty() ? "" : app::pathDetail(toolsFile));
  };
  // Without a tools file there is nothing to open; without the program's path there would be
  // nothing to register.
  if (toolsFile.empty() || programPath.empty()) return fail(language::TextId::unablePbIdeTool);

  // A missing file starts as the four lines the IDE expects, in memory only: a refused
  // registration leaves the disk as it was, and the file is created by the write below.
  if (files.isFolder(toolsFile)) return fail(language::TextId::unablePbIdeTool);
  const auto bytes =
      files.exists(toolsFile) ? files.readFile(toolsFile) : std::string(kNewToolsFile);
  if (!bytes) return fail(language::TextId::unablePbIdeTool);
  language::Preferences tools = language::Preferences::parse(*bytes);

  int toolCount = 0;
  for (const language::PreferenceGroup* group : tools.namedGroups()) {
    if (group->name.find("Tool_") == std::string::npos) continue;
    ++toolCount;
    // Exact comparison: a copy of the program elsewhere, or a path differing in letter case,
    // is another tool.
    if (group->find("Command").value_or("") == programPath) {
      return fail(language::TextId::alreadyRegistered);
    }
  }
  if (ideProbe.ideRunning(ide.program)) {
    return feedback.reportError(language::TextId::pbIdeRunning, false);
  }

  // Raise the count, write the file back (groups, keys and comments in their order), then
  // append the new tool in the file's own encoding.
  tools.group("ToolsInfo").set("ToolCount", std::to_string(toolCount + 1));
  if (!files.writeFile(toolsFile, tools.write())) return fail(language::TextId::unablePbIdeTool);
  const std::string block =
      platform::encodeText(toolBlock(toolCount, programPath), tools.encoding());
  if (!files.appendToFile(toolsFile, block)) return fail(language::TextId::unablePbIdeTool);
  // The IDE lists its tools in the file's order: the new one is the last, numbered from one.
  feedback.messageBox(
      feedback.text(language::TextId::guiTitle),
      feedback.text(language::TextId::registeredTool, {std::to_string(toolCount + 1), toolsFile}),
      app::MessageIcon::information);
  return app::ok();
}

}  // namespace brisko::toolchain
