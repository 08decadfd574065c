#include "cli/console_app.h"

#include <cstdio>

#include "app/request_validation.h"
#include "app/services.h"
#include "app/startup.h"
#include "app/version.h"
#include "cli/command_line.h"
#include "language/text_ids.h"
#include "pipeline/compile_source.h"
#include "pipeline/run_conversion.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "toolchain/ide_registration.h"
#include "toolchain/library_catalogue.h"

namespace brisko::cli {
namespace {

// Paths given on the command line may use either separator.
std::string inputPath(const std::string& path) {
  return platform::nativeSeparators(path);
}

// The source as the window would take it (trimmed of spaces), made absolute: the compiler
// runs in another folder.
std::string sourcePath(const CommandLine& line, const platform::Environment& environment) {
  const std::string trimmed(app::trimSpaces(inputPath(line.source)));
  if (trimmed.empty()) return trimmed;
  return platform::absolutePath(trimmed, environment.currentFolder());
}

int runCheck(app::Services& services, const std::string& source, const CommandLine& line) {
  if (app::validateSourcePath(services.feedback, services.files, source) != 0) {
    return kExitFailure;
  }
  // The check never asks for the listing.
  app::ConversionOptions options = line.options;
  options.flags &= app::kInlineAsm | app::kThreadsafe | app::kUnicode;
  const int result = pipeline::compileSource(services, source, "", true, options);
  services.feedback.setStatus(language::kStatusbarAwaitingInstructions);
  return result == language::kObjectNoCompilerError ? kExitSuccess : kExitFailure;
}

// The destination as given (either separator, relative to the current folder), with its
// trailing separator; empty when none was given, so the output goes below the source.
std::string destinationFolder(const CommandLine& line, const platform::Environment& environment) {
  if (!line.destination) return {};
  const std::string trimmed(app::trimSpaces(inputPath(*line.destination)));
  if (trimmed.empty()) return {};
  return platform::withTrailingSeparator(
      platform::absolutePath(trimmed, environment.currentFolder()));
}

// A destination named on the command line is meant: one that does not exist is made, with
// the folders above it; a file of that name is refused.
bool makeDestination(app::Services& services, const std::string& destination) {
  platform::FileSystem& files = services.files;
  if (destination.empty() || files.isFolder(destination)) return true;
  if (!files.exists(destination)) {
    std::string path = destination;
    while (!path.empty() && platform::isPathSeparator(path.back())) path.pop_back();
    std::vector<std::string> missing;
    for (std::string folder = path; !folder.empty() && !files.exists(folder);) {
      missing.push_back(folder);
      folder = platform::folderPart(folder);
      while (!folder.empty() && platform::isPathSeparator(folder.back())) folder.pop_back();
    }
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
      files.makeFolder(*folder);
    }
    if (files.isFolder(destination)) return true;
  }
  services.feedback.reportError(language::kErrorsOutputDirectories, false,
                                std::string("\n").append(app::pathDetail(destination)));
  return false;
}

int runConvert(app::Services& services, const std::string& source, const CommandLine& line,
               const platform::Environment& environment,
               const toolchain::LibraryCatalogue& catalogue, std::FILE* out) {
  if (app::validateSourcePath(services.feedback, services.files, source) != 0) {
    return kExitFailure;
  }
  const std::string destination = destinationFolder(line, environment);
  if (app::validateDestinationPath(services.feedback, destination) != 0) return kExitFailure;
  // With reused sources the source's own folder is taken whatever the destination says.
  if (!line.options.has(app::kUseExistingAsmFiles) && !makeDestination(services, destination)) {
    return kExitFailure;
  }
  std::vector<std::string> written;
  const int result =
      pipeline::runConversion(services, source, destination, line.options, &catalogue,
                              line.jobs.value_or(platform::processorCount()), &written);
  services.feedback.setStatus(language::kStatusbarAwaitingInstructions);
  if (result != 0) return kExitFailure;
  for (const std::string& path : written) std::fprintf(out, "%s\n", path.c_str());
  return kExitSuccess;
}

// The IDE's tools file comes from its open command unless --tools-file names one (either
// separator, relative to the current folder). The tool registered is this program's file.
int runRegisterIde(ConsolePlatform& console, const CommandLine& line) {
  toolchain::IdeLocation ide = toolchain::discoverIde(console.installationCommand);
  if (line.toolsFile) {
    ide.toolsFile =
        platform::absolutePath(inputPath(*line.toolsFile), console.environment.currentFolder());
  }
  const int result = toolchain::registerIdeTool(console.files, console.feedback, console.ideProbe,
                                                ide, console.environment.executablePath());
  return result == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace

int runConsole(const std::vector<std::string>& arguments, ConsolePlatform& platform,
               std::FILE* usageOut, std::FILE* errorOut) {
  const ParseResult parsed = parseCommandLine(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(errorOut, "brisko: %s\n%s", parsed.error.c_str(), usageText().c_str());
    return kExitUsage;
  }
  const CommandLine& line = parsed.commandLine;
  const bool takesSource = line.command == Command::check || line.command == Command::convert;
  const std::string source = sourcePath(line, platform.environment);
  if (takesSource && source.empty()) {
    std::fprintf(errorOut, "brisko: the source file name is empty\n%s", usageText().c_str());
    return kExitUsage;
  }
  if (line.command == Command::help) {
    std::fputs(usageText().c_str(), usageOut);
    return kExitSuccess;
  }
  if (line.command == Command::version) {
    std::fprintf(usageOut, "brisko version %s\n", app::kVersionText);
    return kExitSuccess;
  }

  app::StartupInputs inputs{platform.files,      platform.environment,
                            platform.tempFolder, platform.installationCommand,
                            platform.feedback,   true,
                            std::nullopt};
  if (line.pbFolder) inputs.pbFolderOverride = inputPath(*line.pbFolder);
  app::StartupState state;
  if (!app::startUp(inputs, state)) {
    std::fputs(missingToolHelp(state).c_str(), errorOut);
    return kExitFailure;
  }

  // The installation's library functions, read once as the window does before it takes
  // input; a library file that cannot be read ends the program.
  app::WindowServices noWindow;
  platform.feedback.setStatus(language::kStatusbarCompilerEnvironment);
  toolchain::LibraryCatalogue catalogue;
  const int scanned = toolchain::buildLibraryCatalogue(
      {platform.files, platform.feedback, noWindow}, state.paths.pbFolder, catalogue);
  if (scanned != 0) {
    platform.feedback.reportError(scanned, true);
    return kExitFailure;
  }

  app::Services services{platform.files,    platform.processes, platform.clock,
                         platform.feedback, noWindow,           state.paths};
  switch (line.command) {
    case Command::check:
      return runCheck(services, source, line);
    case Command::convert:
      return runConvert(services, source, line, platform.environment, catalogue, usageOut);
    case Command::registerIde:
      return runRegisterIde(platform, line);
    default:
      return kExitUsage;
  }
}

}  // namespace brisko::cli
