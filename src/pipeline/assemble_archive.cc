#include "pipeline/assemble_archive.h"

#include <vector>

#include "language/text_ids.h"
#include "pipeline/program_runner.h"
#include "platform/paths.h"

namespace brisko::pipeline {
namespace {

constexpr std::size_t kReadBufferSize = 1024;

void deleteObjects(platform::FileSystem& files, const std::string& folder) {
  const auto entries = files.listFolder(folder);
  if (!entries) return;
  for (const platform::FolderEntry& entry : *entries) {
    if (entry.isFolder) continue;
    const auto dot = entry.name.rfind('.');
    if (dot != std::string::npos && entry.name.substr(dot + 1) == "obj") {
      files.deleteFile(folder + entry.name);
    }
  }
}

// A tool that ended with an error: its own text, or the unknown-error text when it wrote
// nothing, shown and logged.
void reportToolError(Conversion& conversion, int errorText, int unknownText,
                     const std::string& output) {
  app::Feedback& feedback = conversion.services.feedback;
  const std::string& title = feedback.text(language::kGuiTitle);
  if (!output.empty()) {
    feedback.messageBox(title, feedback.text(errorText) + "\n\n" + output,
                        app::MessageIcon::information);
    conversion.logLine(output);
  } else {
    feedback.messageBox(title, feedback.text(unknownText), app::MessageIcon::information);
    conversion.logLine(feedback.text(unknownText));
  }
}

int archive(Conversion& conversion) {
  app::Services& services = conversion.services;
  const std::string& base = conversion.sourceBaseName;
  const std::string bin = conversion.binFolder();
  const std::string builtLibrary = conversion.sourceFolder() + base + ".lib";

  conversion.logProgress(language::kObjectCreatingCOFFfile,
                         std::string("..") + platform::kPathSeparator + "Bin" +
                             platform::kPathSeparator + base + ".lib");
  ProgramRunner runner(services.processes);
  auto polib =
      runner.start(services.paths.polibPath, "*.obj /out:\"" + builtLibrary + "\"",
                   conversion.destination + "Bin", platform::CapturedStream::standardOutput);
  if (!polib) {
    conversion.logOutcome(false);
    return services.feedback.reportError(language::kErrorsPolibProblem, false);
  }
  std::vector<char> buffer(kReadBufferSize);
  const std::string output = polib->collectOutput(buffer);
  const int exitCode = polib->exitCode();
  polib->close();
  deleteObjects(services.files, bin);

  if (exitCode != 0) {
    conversion.logOutcome(false);
    reportToolError(conversion, language::kObjectPolibError, language::kObjectPolibUnknownError,
                    output);
    return language::kObjectPolibError;
  }
  const std::string library = bin + base + ".lib";
  services.files.deleteFile(library);
  if (!services.files.moveFile(builtLibrary, library)) {
    // polib said it succeeded, yet there is no library where the user looks for it.
    conversion.logOutcome(false);
    return services.feedback.reportError(language::kErrorsCreatingFileError, false,
                                         app::pathDetail(library));
  }
  conversion.logOutcome(true);
  return 0;
}

int assembleLibrary(Conversion& conversion) {
  app::Services& services = conversion.services;
  deleteObjects(services.files, conversion.binFolder());
  services.feedback.setStatus(language::kStatusbarCreatingOBJFiles);

  const std::string sourceFolder = conversion.sourceFolder();
  const auto entries = services.files.listFolder(sourceFolder);
  if (!entries) return services.feedback.reportError(language::kErrorsASMFilesProblem, false);
  int assembled = 0;
  for (const platform::FolderEntry& entry : *entries) {
    if (entry.isFolder || entry.name == "PureBasic.asm") continue;
    const auto dot = entry.name.rfind('.');
    if (dot == std::string::npos || entry.name.substr(dot + 1) != "asm") continue;
    services.window.pollEvents();
    // Long library builds show which source is being assembled.
    services.feedback.setStatusDetail(std::string("Source") + platform::kPathSeparator +
                                      entry.name);
    const std::string object = entry.name.substr(0, dot) + ".obj";
    if (const int result = assembleFile(conversion, sourceFolder + entry.name, object)) {
      return result;
    }
    ++assembled;
  }
  if (assembled == 0) return services.feedback.reportError(language::kErrorsNoASMFiles, false);
  return archive(conversion);
}

}  // namespace

int assembleFile(Conversion& conversion, const std::string& sourcePath,
                 const std::string& objectName) {
  app::Services& services = conversion.services;
  conversion.logProgress(
      language::kObjectCreatingCOFFfile,
      std::string("..") + platform::kPathSeparator + "Bin" + platform::kPathSeparator + objectName);
  const std::string bin = conversion.binFolder();
  const std::string parameters = "\"" + sourcePath + "\" \"" + bin + objectName + "\"";
  ProgramRunner runner(services.processes);
  auto fasm = runner.start(services.paths.fasmPath, parameters, bin,
                           platform::CapturedStream::standardError);
  if (!fasm) {
    conversion.logOutcome(false);
    return services.feedback.reportError(language::kErrorsFasmProblem, false);
  }
  while (fasm->isRunning()) {
  }
  const std::string errorText = fasm->readErrorText();
  const int exitCode = fasm->exitCode();
  fasm->close();
  if (exitCode == 0) {
    conversion.logOutcome(true);
    return 0;
  }
  conversion.logOutcome(false);
  reportToolError(conversion, language::kObjectFasmError, language::kObjectFasmUnknownError,
                  errorText);
  return language::kObjectFasmError;
}

int assembleAndArchive(Conversion& conversion) {
  if (!conversion.libraryOutput()) {
    const std::string& base = conversion.sourceBaseName;
    return assembleFile(conversion, conversion.sourceFolder() + base + "_briskoLinkFile.asm",
                        base + ".obj");
  }
  return assembleLibrary(conversion);
}

}  // namespace brisko::pipeline
