#include "pipeline/compile_source.h"

#include <vector>

#include "language/text_ids.h"
#include "pipeline/output_layout.h"
#include "pipeline/program_runner.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

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

// Names that differ in case are one file on Windows and two elsewhere: the listing is the file
// of that name in any case, the compiler's own spelling first.
std::string listingPathIn(const platform::FileSystem& files, const std::string& folder) {
  if (const auto entries = files.listFolder(folder)) {
    std::string found;
    for (const platform::FolderEntry& entry : *entries) {
      if (entry.isFolder || !platform::equalsIgnoringCase(entry.name, kListingName)) continue;
      if (found.empty() || entry.name == kListingName) found = entry.name;
    }
    if (!found.empty()) return folder + found;
  }
  return folder + "Purebasic.asm";
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
  if (position != std::string::npos || exitCode != 0) {
    // The compiler's error line: everything from "Error: Line" on, less the final line break
    // (two whole characters). Another message, or none at all (a crash), is still a failure,
    // never a success.
    const std::string_view said =
        position != std::string::npos
            ? platform::withoutLastCharacter(
                  platform::withoutLastCharacter(std::string_view(output).substr(position)))
            : withoutFinalLineBreaks(output);
    reportToolError(feedback, language::TextId::objectCompilerError,
                    language::TextId::compilerUnknownError, said);
    return {CompileVerdict::compileError, app::failed(language::TextId::objectCompilerError)};
  }
  const std::string& title = feedback.text(language::TextId::guiTitle);
  if (options.has(app::kCommented) &&
      !services.files.exists(listingPathIn(services.files, folder))) {
    // The conversion needs the listing; a compiler that ended without it has failed.
    std::string errorText = feedback.text(language::TextId::noListing);
    std::string message = errorText;
    const std::string_view said = withoutFinalLineBreaks(output);
    if (!said.empty()) {
      message += "\n\n";
      message += said;
      errorText += ' ';
      errorText += said;
    }
    feedback.messageBox(title, message, app::MessageIcon::failure);
    if (app::LogSink* log = feedback.activeLog()) log->writeLine(errorText);
    return {CompileVerdict::compileError, app::failed(language::TextId::noListing)};
  }
  if (checkMode) {
    feedback.messageBox(title, feedback.text(language::TextId::objectNoCompilerError),
                        app::MessageIcon::information);
  }
  return {CompileVerdict::compiled, app::ok()};
}

}  // namespace brisko::pipeline
