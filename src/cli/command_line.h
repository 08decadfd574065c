// The console front end's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/configuration.h"

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
  // --pb-folder-x64 or --pb-folder-x86: the other processor's installation, and its processor.
  std::optional<std::string> otherPbFolder;
  app::Processor otherProcessor = app::Processor::x64;
  // With --help: the command whose help is asked for (check, convert, registerIde), or none.
  Command helpTopic = Command::none;
};

struct ParseResult {
  CommandLine commandLine;
  std::string error;  // empty when the command line is usable
};

// Parses the arguments after the program name. Options may stand before or after the
// source; global options may stand anywhere.
ParseResult parseCommandLine(const std::vector<std::string>& arguments);

// The synopsis of every command, shown after a usage error.
std::string usageText();

// The help: the synopsis, what each command and option does, how the installation is found,
// what a conversion writes where, and examples; for a command (check, convert, registerIde)
// the parts that concern it. These texts are the console's own, in English.
std::string helpText(Command topic);

}  // namespace brisko::cli
