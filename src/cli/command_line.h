// The console front end's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/configuration.h"
#include "session/startup.h"

namespace brisko::cli {

enum class Command { none, check, convert, registerIde, help, version };

struct CommandLine {
  Command command = Command::none;
  std::string source;
  std::optional<std::string> destination;  // --dest
  app::ConversionOptions options;
  std::optional<int> jobs;               // --jobs: FASM runs at once for a library
  std::optional<std::string> pbFolder;   // --pb-folder
  std::optional<std::string> toolsFile;  // --tools-file
};

struct ParseResult {
  CommandLine commandLine;
  std::string error;  // empty when the command line is usable
};

// Parses the arguments after the program name. Options may stand before or after the
// source; global options may stand anywhere.
ParseResult parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

// After start-up ended because a tool is missing: where brisko looked for it, where that
// installation folder came from, and how to name another; empty for any other failure.
std::string missingToolHelp(const session::StartupState& state);

}  // namespace brisko::cli
