#include "cli/console_app.h"

#include <cstdio>

#include "app/version.h"
#include "cli/command_line.h"
#include "language/text_ids.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "session/request_validation.h"
#include "session/session.h"
#include "session/startup.h"

namespace brisko::cli {
namespace {

// Paths given on the command line may use either separator.
std::string inputPath(const std::string& path) {
  return platform::nativeSeparators(path);
}

// The source as the window would take it (trimmed of spaces), made absolute: the compiler
// runs in another folder.
std::string sourcePath(const CommandLine& line, const platform::Environment& environment) {
  const std::string trimmed(platform::trimSpaces(inputPath(line.source)));
  if (trimmed.empty()) return trimmed;
  return platform::absolutePath(trimmed, environment.currentFolder());
}

// The destination as given (either separator, relative to the current folder), with its
// trailing separator; empty when none was given, so the output goes below the source.
std::string destinationFolder(const CommandLine& line, const platform::Environment& environment) {
  if (!line.destination) return {};
  const std::string trimmed(platform::trimSpaces(inputPath(*line.destination)));
  if (trimmed.empty()) return {};
  return platform::withTrailingSeparator(
      platform::absolutePath(trimmed, environment.currentFolder()));
}

// The other processor's installation folder as given (either separator, relative to the
// current folder).
std::string otherInstallation(const CommandLine& line, const platform::Environment& environment) {
  return platform::absolutePath(inputPath(*line.otherPbFolder), environment.currentFolder());
}

// A destination named on the command line is meant: one that does not exist is made, with
// the folders above it; a file of that name is refused.
bool makeDestination(platform::FileSystem& files, app::Feedback& feedback,
                     const std::string& destination) {
  if (destination.empty() || files.makeFolders(destination)) return true;
  feedback.reportError(language::TextId::outputDirectories, false,
                       app::pathDetail(destination, files.failureReason()));
  return false;
}

// The names joined by ", ", or "none".
std::string namesOrNone(const std::vector<std::string>& names) {
  if (names.empty()) return "none";
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// What a conversion made, printed before the files it wrote. Procedures are counted, and named
// while there are few of them.
std::string summaryText(const pipeline::ConversionSummary& summary) {
  constexpr std::size_t kNamedProcedures = 8;
  std::string text = "The output holds (" + summary.target;
  text += summary.library ? " library, " + std::to_string(summary.libraryMembers) + " members):\n"
                          : " object):\n";
  if (!summary.analysed) {
    return text + "  the existing sources of Source/, assembled without reading them\n";
  }
  const std::vector<std::string>& exported = summary.exportedProcedures;
  text += "  exported procedures: " + std::to_string(exported.size());
  if (!exported.empty() && exported.size() <= kNamedProcedures) {
    text += " (" + namesOrNone(exported) + ")";
  }
  text += "\n  internal procedures: " + std::to_string(summary.internalProcedures) + "\n";
  text += "  exported variables: " + namesOrNone(summary.exportedVariables) + "\n";
  text += "  exported arrays: " + namesOrNone(summary.exportedArrays) + "\n";
  if (!summary.exportedLists.empty()) {
    text += "  exported lists: " + namesOrNone(summary.exportedLists) + "\n";
  }
  text += "  runtime libraries: " + namesOrNone(summary.runtimeLibraries) + "\n";
  return text;
}

int runConvert(session::Session& session, const platform::Platform& platform,
               app::Feedback& feedback, const std::string& source, const CommandLine& line,
               std::FILE* out) {
  if (!session::validateSourcePath(feedback, platform.files, source).succeeded()) {
    return kExitFailure;
  }
  const std::string destination = destinationFolder(line, platform.environment);
  if (!session::validateDestinationPath(feedback, destination).succeeded()) return kExitFailure;
  // With reused sources the source's own folder is taken whatever the destination says.
  if (!line.options.has(app::kUseExistingAsmFiles) &&
      !makeDestination(platform.files, feedback, destination)) {
    return kExitFailure;
  }
  app::WindowServices noWindow;
  app::ConversionRequest request;
  request.sourcePath = source;
  request.destinationFolder = destination;
  request.options = line.options;
  request.mode = app::RequestMode::convert;
  if (line.otherPbFolder) {
    request.otherPbFolder = otherInstallation(line, platform.environment);
    request.otherProcessor = line.otherProcessor;
  }
  const pipeline::ConversionResult result =
      session.convert(request, line.jobs.value_or(platform::processorCount()), noWindow);
  if (!result.outcome.succeeded()) return kExitFailure;
  std::fputs(summaryText(result.summary).c_str(), out);
  for (const std::string& path : result.writtenFiles) std::fprintf(out, "%s\n", path.c_str());
  return kExitSuccess;
}

}  // namespace

int runConsole(const std::vector<std::string>& arguments, const platform::Platform& platform,
               app::Feedback& feedback, std::FILE* usageOut, std::FILE* errorOut) {
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
    std::fputs(helpText(line.helpTopic).c_str(), usageOut);
    return kExitSuccess;
  }
  if (line.command == Command::version) {
    std::fprintf(usageOut, "brisko version %s\n", app::kVersionText);
    return kExitSuccess;
  }

  session::StartupOptions options;
  if (line.pbFolder) options.pbFolderOverride = inputPath(*line.pbFolder);
  options.pbFolderOption = true;
  session::StartupState state;
  if (!session::startUp(platform, feedback, options, state)) return kExitFailure;

  // The installation's library functions, read once as the window does before it takes
  // input; a library file that cannot be read ends the program.
  session::Session session(platform, feedback, state.paths);
  app::WindowServices noWindow;
  // The other processor's installation is checked like the main one, before anything runs.
  if (line.otherPbFolder) {
    const auto failure = session.prepareOtherInstallation(
        otherInstallation(line, platform.environment), true, noWindow);
    if (failure == language::TextId::functionLists) feedback.reportError(*failure, true);
    if (failure) return kExitFailure;
  }
  if (const auto failure = session.buildCatalogue(noWindow)) {
    feedback.reportError(*failure, true);
    return kExitFailure;
  }

  switch (line.command) {
    case Command::check: {
      app::ConversionRequest request;
      request.sourcePath = source;
      request.options = line.options;
      return session.check(request, noWindow) ? kExitSuccess : kExitFailure;
    }
    case Command::convert:
      return runConvert(session, platform, feedback, source, line, usageOut);
    case Command::registerIde: {
      // The IDE's tools file comes from its open command unless --tools-file names one
      // (either separator, relative to the current folder).
      std::optional<std::string> toolsFile;
      if (line.toolsFile) {
        toolsFile = platform::absolutePath(inputPath(*line.toolsFile),
                                           platform.environment.currentFolder());
      }
      return session.registerIde(toolsFile).succeeded() ? kExitSuccess : kExitFailure;
    }
    default:
      return kExitUsage;
  }
}

}  // namespace brisko::cli
