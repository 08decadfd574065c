#include "pipeline/compile_source.h"

#include <new>
#include <vector>

#include "language/text_ids.h"
#include "pipeline/listing_text.h"
#include "pipeline/program_runner.h"

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

}  // namespace

int compileSource(app::Services& services, const std::string& sourcePath,
                  const std::string& outputFolder, bool checkMode,
                  const app::ConversionOptions& options) {
  app::Feedback& feedback = services.feedback;
  int result = language::kObjectNoCompilerError;
  feedback.setStatus(language::kStatusbarCompilingSource);

  std::vector<char> buffer;
  try {
    buffer.resize(kReadBufferSize);
  } catch (const std::bad_alloc&) {
    result = language::kErrorsOutOfMemory;
  }

  if (result == language::kObjectNoCompilerError) {
    const std::string folder = outputFolder.empty() ? services.paths.tempFolder : outputFolder;
    const std::string executable = folder + "briskoSourceCompilation.exe";
    const std::string parameters = "\"" + sourcePath + "\"" + compilerSwitches(executable, options);

    ProgramRunner runner(services.processes);
    auto compiler = runner.start(services.paths.compilerPath, parameters, folder,
                                 platform::CapturedStream::standardOutput);
    if (!compiler) {
      result = language::kErrorsCompilerProblem;
    } else {
      const std::string output = compiler->collectOutput(buffer);
      const int exitCode = compiler->exitCode();
      services.files.deleteFile(executable);
      compiler->close();

      const auto position = exitCode == 1 ? output.find("Error: Line") : std::string::npos;
      const std::string& title = feedback.text(language::kGuiTitle);
      if (position != std::string::npos) {
        result = language::kObjectCompilerError;
        // Everything from "Error: Line" on, less the final line break (two whole characters).
        const std::string errorText(
            withoutLastCharacter(withoutLastCharacter(std::string_view(output).substr(position))));
        feedback.messageBox(title,
                            feedback.text(language::kObjectCompilerError) + "\n\n" + errorText,
                            app::MessageIcon::information);
        if (app::LogSink* log = feedback.activeLog()) log->writeLine(errorText);
      } else if (checkMode) {
        feedback.messageBox(title, feedback.text(language::kObjectNoCompilerError),
                            app::MessageIcon::information);
      }
    }
  }

  if (result == language::kErrorsCompilerProblem || result == language::kErrorsOutOfMemory) {
    feedback.reportError(result, false);
  }
  return result;
}

}  // namespace brisko::pipeline
