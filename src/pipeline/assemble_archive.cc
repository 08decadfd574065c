#include "pipeline/assemble_archive.h"

#include <memory>
#include <optional>
#include <vector>

#include "language/text_ids.h"
#include "pipeline/parallel_runs.h"
#include "pipeline/program_runner.h"
#include "platform/paths.h"

namespace brisko::pipeline {
namespace {

constexpr std::size_t kReadBufferSize = 1024;
// The longest wait for a FASM run to end before the window gets to handle its events.
constexpr int kWaitMilliseconds = 20;

void deleteObjects(platform::FileSystem& files, const std::string& folder) {
  const auto entries = files.listFolder(folder);
  if (!entries) return;
  for (const platform::FolderEntry& entry : *entries) {
    if (entry.isFolder) continue;
    if (platform::extensionOf(entry.name) == "obj") {
      files.deleteFile(folder + entry.name);
    }
  }
}

// A tool that ended with an error: its own text, or the unknown-error text when it wrote
// nothing, shown and logged.
void reportToolError(Conversion& conversion, language::TextId errorText,
                     language::TextId unknownText, const std::string& output) {
  app::Feedback& feedback = conversion.services.feedback;
  const std::string& title = feedback.text(language::TextId::guiTitle);
  if (!output.empty()) {
    feedback.messageBox(title, feedback.text(errorText) + "\n\n" + output,
                        app::MessageIcon::failure);
    conversion.logLine(output);
  } else {
    feedback.messageBox(title, feedback.text(unknownText), app::MessageIcon::failure);
    conversion.logLine(feedback.text(unknownText));
  }
}

// polib packs every object of the object folder into a library there, which then replaces
// Bin/<base>.lib; an older library stays untouched until a new one is there.
app::Outcome archive(Conversion& conversion) {
  app::Services& services = conversion.services;
  const std::string& base = conversion.sourceBaseName;
  const std::string bin = conversion.binFolder();
  const std::string objects = conversion.objectFolder();
  const std::string builtLibrary = objects + base + ".lib";

  conversion.logProgress(language::TextId::objectCreatingCoffFile,
                         Conversion::binPathFromLogs(base + ".lib"));
  ProgramRunner runner(services.processes);
  // The x86 command line names no machine; 64-bit objects need it named.
  const std::string machine = conversion.x64 ? "/MACHINE:X64 " : "";
  auto polib =
      runner.start(services.paths.polibPath, machine + "*.obj /out:\"" + builtLibrary + "\"",
                   objects.substr(0, objects.size() - 1), platform::CapturedStream::standardOutput);
  if (!polib) {
    conversion.logOutcome(false);
    return services.feedback.reportError(language::TextId::polibProblem, false);
  }
  std::vector<char> buffer(kReadBufferSize);
  const std::string output = polib->collectOutput(buffer);
  const int exitCode = polib->exitCode();
  polib->close();
  deleteObjects(services.files, objects);

  if (exitCode != 0) {
    conversion.logOutcome(false);
    reportToolError(conversion, language::TextId::objectPolibError,
                    language::TextId::objectPolibUnknownError, output);
    return app::failed(language::TextId::objectPolibError);
  }
  const std::string library = bin + base + ".lib";
  services.files.deleteFile(library);
  if (!services.files.moveFile(builtLibrary, library)) {
    // polib said it succeeded, yet there is no library where the user looks for it.
    conversion.logOutcome(false);
    return services.feedback.reportError(language::TextId::creatingFileError, false,
                                         app::pathDetail(library));
  }
  conversion.logOutcome(true);
  conversion.writtenFiles.push_back(library);
  return app::ok();
}

// One source to assemble.
struct Assembly {
  std::string sourceName;  // the file name, shown in the progress
  std::string sourcePath;
  std::string objectName;
  std::string objectFolder;  // where the object goes, FASM's working folder too
  std::string logName;       // the object as the log names it, relative to Logs/
};

std::unique_ptr<RunningProgram> startFasm(Conversion& conversion, ProgramRunner& runner,
                                          const Assembly& assembly) {
  const std::string parameters =
      "\"" + assembly.sourcePath + "\" \"" + assembly.objectFolder + assembly.objectName + "\"";
  return runner.start(conversion.services.paths.fasmPath, parameters, assembly.objectFolder,
                      platform::CapturedStream::standardError);
}

// The log line of an ended run; a failure is shown as well and gives fasmProblem or
// objectFasmError.
app::Outcome reportAssembly(Conversion& conversion, const Assembly& assembly,
                            const RunResult& run) {
  conversion.logProgress(language::TextId::objectCreatingCoffFile, assembly.logName);
  conversion.logOutcome(!run.failed());
  if (run.startFailed) {
    return conversion.services.feedback.reportError(language::TextId::fasmProblem, false);
  }
  if (run.exitCode == 0) return app::ok();
  reportToolError(conversion, language::TextId::objectFasmError,
                  language::TextId::objectFasmUnknownError, run.errorText);
  return app::failed(language::TextId::objectFasmError);
}

// Assembles the sources with up to `jobs` FASM runs at once (ParallelRuns) and tells the
// outcome as a run one source after another would: the log gets each source's line in the
// sources' order as soon as the sources before it are through, and the first source in that
// order that fails gives the result. Once a failure is known nothing more is started; runs of
// later sources still under way are waited for and their objects deleted, so Bin/ holds what
// the one-by-one run leaves. With showProgress the status detail reads "[ended/total] name"
// as each run ends.
app::Outcome assembleSources(Conversion& conversion, const std::vector<Assembly>& sources, int jobs,
                             bool showProgress) {
  ProgramRunner runner(conversion.services.processes);
  ParallelRuns runs(runner, sources.size(), jobs);
  const auto start = [&](std::size_t i) { return startFasm(conversion, runner, sources[i]); };
  std::size_t endedCount = 0;
  for (;;) {
    runs.startRuns(start);
    // Sources before the first failure that have ended succeeded: their lines go to the log in
    // the sources' order.
    while (const std::optional<std::size_t> i = runs.nextInOrder()) {
      reportAssembly(conversion, sources[*i], runs.result(*i));
    }
    if (!runs.anyRunning()) break;

    const std::vector<std::size_t> ended = runs.waitForEnded(kWaitMilliseconds);
    conversion.poll();
    if (!showProgress) continue;
    for (std::size_t i : ended) {
      std::string progress(1, '[');
      progress += std::to_string(++endedCount);
      progress += '/';
      progress += std::to_string(sources.size());
      progress += "] ";
      progress += sources[i].sourceName;
      conversion.services.feedback.setStatusDetail(progress);
    }
  }
  const std::optional<std::size_t> failure = runs.firstFailure();
  if (!failure) return app::ok();
  for (std::size_t i = *failure + 1; i < runs.started(); ++i) {
    conversion.services.files.deleteFile(sources[i].objectFolder + sources[i].objectName);
  }
  return reportAssembly(conversion, sources[*failure], runs.result(*failure));
}

app::Outcome assembleLibrary(Conversion& conversion) {
  app::Services& services = conversion.services;
  services.feedback.setStatus(language::TextId::statusbarCreatingObjFiles);

  const std::string sourceFolder = conversion.sourceFolder();
  const auto entries = services.files.listFolder(sourceFolder);
  if (!entries) return services.feedback.reportError(language::TextId::asmFilesProblem, false);
  // The objects of an earlier run that did not end (a failure, an interruption) go first.
  const std::string objects = conversion.objectFolder();
  services.files.makeFolder(objects);
  if (!services.files.isFolder(objects)) {
    return services.feedback.reportError(language::TextId::outputDirectories, false,
                                         app::pathDetail(objects));
  }
  deleteObjects(services.files, objects);
  std::vector<Assembly> sources;
  for (const platform::FolderEntry& entry : *entries) {
    if (entry.isFolder || entry.name == "PureBasic.asm") continue;
    if (platform::extensionOf(entry.name) != "asm") continue;
    Assembly& assembly = sources.emplace_back();
    assembly.sourceName = entry.name;
    assembly.sourcePath = sourceFolder + entry.name;
    assembly.objectName = std::string(platform::withoutExtension(entry.name)) + ".obj";
    assembly.objectFolder = objects;
    assembly.logName = std::string("..") + platform::kPathSeparator + "Source" +
                       platform::kPathSeparator + "briskoObjects" + platform::kPathSeparator +
                       assembly.objectName;
  }
  if (sources.empty()) return services.feedback.reportError(language::TextId::noAsmFiles, false);
  if (const app::Outcome result = assembleSources(conversion, sources, conversion.jobs, true);
      !result.succeeded()) {
    return result;
  }
  return archive(conversion);
}

}  // namespace

app::Outcome assembleFile(Conversion& conversion, const std::string& sourcePath,
                          const std::string& objectName) {
  std::vector<Assembly> source(1);
  source[0].sourceName = platform::filePart(sourcePath);
  source[0].sourcePath = sourcePath;
  source[0].objectName = objectName;
  source[0].objectFolder = conversion.binFolder();
  source[0].logName = Conversion::binPathFromLogs(objectName);
  return assembleSources(conversion, source, 1, false);
}

app::Outcome assembleAndArchive(Conversion& conversion) {
  if (!conversion.libraryOutput()) {
    const std::string& base = conversion.sourceBaseName;
    const app::Outcome result = assembleFile(
        conversion, conversion.sourceFolder() + base + "_briskoLinkFile.asm", base + ".obj");
    if (result.succeeded()) {
      conversion.writtenFiles.push_back(conversion.binFolder() + base + ".obj");
    }
    return result;
  }
  return assembleLibrary(conversion);
}

}  // namespace brisko::pipeline
