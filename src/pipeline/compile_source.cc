#include "pipeline/compile_source.h"

#include <optional>
#include <vector>

#include "language/text_ids.h"
#include "pipeline/listing_text.h"
#include "pipeline/program_runner.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

constexpr std::size_t kReadBufferSize = 1024;

std::string compilerSwitches(const std::string& executablePath,
                             const app::ConversionOptions& options) {
  std::string switches = " /EXE \"" + executablePath + "\"";
  if (options.has(app::kThreadsafe)) switches += " /THREAD";
  if (options.has(app::kUnicode)) switches += " /UNICODE";
  if (options.has(app::kInlineAsm)) switches += " /INLINEASM";
  if (options.has(app::kCommented)) switches += " /COMMENTED";
  return switches;
}

// The compiler's output without the line break at its end.
std::string_view withoutFinalLineBreaks(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string listingPathIn(const platform::FileSystem& files, const std::string& folder) {
  const std::string name = "Purebasic.asm";
#ifndef _WIN32
  if (const auto entries = files.listFolder(folder)) {
    std::string found;
    for (const platform::FolderEntry& entry : *entries) {
      if (entry.isFolder || platform::asciiLowerCase(entry.name) != "purebasic.asm") continue;
      if (found.empty() || entry.name == "PureBasic.asm") found = entry.name;
    }
    if (!found.empty()) return folder + found;
  }
#else
  (void)files;
#endif
  return folder + name;
}

Compilation compileSource(app::Services& services, const std::string& sourcePath,
                          const std::string& outputFolder, bool checkMode,
                          const app::ConversionOptions& options) {
  app::Feedback& feedback = services.feedback;
  feedback.setStatus(language::TextId::statusbarCompilingSource);

  const std::string folder = outputFolder.empty() ? services.paths.tempFolder : outputFolder;
  const std::string executable = folder + "briskoSourceCompilation.exe";
  const std::string parameters = "\"" + sourcePath + "\"" + compilerSwitches(executable, options);

  ProgramRunner runner(services.processes);
  auto compiler = runner.start(services.paths.compilerPath, parameters, folder,
                               platform::CapturedStream::standardOutput);
  if (!compiler) {
    return {CompileVerdict::notStarted,
            feedback.reportError(language::TextId::compilerProblem, false)};
  }
  std::vector<char> buffer(kReadBufferSize);
  const std::string output = compiler->collectOutput(buffer);
  const int exitCode = compiler->exitCode();
  services.files.deleteFile(executable);
  compiler->close();

  const auto position = exitCode == 1 ? output.find("Error: Line") : std::string::npos;
  const std::string& title = feedback.text(language::TextId::guiTitle);
  std::optional<language::TextId> failure;
  // The text shown and logged for a failure; the compiler's own words where it said any.
  std::string errorText;
  std::string message;
  if (position != std::string::npos) {
    failure = language::TextId::objectCompilerError;
    // Everything from "Error: Line" on, less the final line break (two whole characters).
    errorText =
        withoutLastCharacter(withoutLastCharacter(std::string_view(output).substr(position)));
    message = feedback.text(language::TextId::objectCompilerError) + "\n\n" + errorText;
  } else if (exitCode != 0) {
    // Another message, or none at all (a crash): still a failure, never a success.
    failure = language::TextId::objectCompilerError;
    errorText = withoutFinalLineBreaks(output);
    if (errorText.empty()) {
      errorText = feedback.text(language::TextId::compilerUnknownError);
      message = errorText;
    } else {
      message = feedback.text(language::TextId::objectCompilerError) + "\n\n" + errorText;
    }
  } else if (options.has(app::kCommented) &&
             !services.files.exists(listingPathIn(services.files, folder))) {
    // The conversion needs the listing; a compiler that ended without it has failed.
    failure = language::TextId::noListing;
    errorText = feedback.text(language::TextId::noListing);
    message = errorText;
    const std::string_view said = withoutFinalLineBreaks(output);
    if (!said.empty()) {
      message += "\n\n";
      message += said;
      errorText += ' ';
      errorText += said;
    }
  }
  if (failure) {
    feedback.messageBox(title, message, app::MessageIcon::failure);
    if (app::LogSink* log = feedback.activeLog()) log->writeLine(errorText);
    return {CompileVerdict::compileError, app::failed(*failure)};
  }
  if (checkMode) {
    feedback.messageBox(title, feedback.text(language::TextId::objectNoCompilerError),
                        app::MessageIcon::information);
  }
  return {CompileVerdict::compiled, app::ok()};
}

}  // namespace brisko::pipeline
