#include "pipeline/assemble_archive.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "language/text_ids.h"
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
void reportToolError(Conversion& conversion, int errorText, int unknownText,
                     const std::string& output) {
  app::Feedback& feedback = conversion.services.feedback;
  const std::string& title = feedback.text(language::kGuiTitle);
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
int archive(Conversion& conversion) {
  app::Services& services = conversion.services;
  const std::string& base = conversion.sourceBaseName;
  const std::string bin = conversion.binFolder();
  const std::string objects = conversion.objectFolder();
  const std::string builtLibrary = objects + base + ".lib";

  conversion.logProgress(language::kObjectCreatingCOFFfile,
                         Conversion::binPathFromLogs(base + ".lib"));
  ProgramRunner runner(services.processes);
  auto polib =
      runner.start(services.paths.polibPath, "*.obj /out:\"" + builtLibrary + "\"",
                   objects.substr(0, objects.size() - 1), platform::CapturedStream::standardOutput);
  if (!polib) {
    conversion.logOutcome(false);
    return services.feedback.reportError(language::kErrorsPolibProblem, false);
  }
  std::vector<char> buffer(kReadBufferSize);
  const std::string output = polib->collectOutput(buffer);
  const int exitCode = polib->exitCode();
  polib->close();
  deleteObjects(services.files, objects);

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
  conversion.writtenFiles.push_back(library);
  return 0;
}

// One source to assemble and, once its FASM run has ended, how that went.
struct Assembly {
  std::string sourceName;  // the file name, shown in the progress
  std::string sourcePath;
  std::string objectName;
  std::string objectFolder;  // where the object goes, FASM's working folder too
  std::string logName;       // the object as the log names it, relative to Logs/
  std::unique_ptr<RunningProgram> fasm;
  bool ended = false;
  bool startFailed = false;
  int exitCode = 0;
  std::string errorText;

  bool failed() const { return startFailed || exitCode != 0; }
};

std::unique_ptr<RunningProgram> startFasm(Conversion& conversion, ProgramRunner& runner,
                                          const Assembly& assembly) {
  const std::string parameters =
      "\"" + assembly.sourcePath + "\" \"" + assembly.objectFolder + assembly.objectName + "\"";
  return runner.start(conversion.services.paths.fasmPath, parameters, assembly.objectFolder,
                      platform::CapturedStream::standardError);
}

// The log line of an ended run; a failure is shown as well. Returns 0, 7 or 61.
int reportAssembly(Conversion& conversion, const Assembly& assembly) {
  conversion.logProgress(language::kObjectCreatingCOFFfile, assembly.logName);
  conversion.logOutcome(!assembly.failed());
  if (assembly.startFailed) {
    return conversion.services.feedback.reportError(language::kErrorsFasmProblem, false);
  }
  if (assembly.exitCode == 0) return 0;
  reportToolError(conversion, language::kObjectFasmError, language::kObjectFasmUnknownError,
                  assembly.errorText);
  return language::kObjectFasmError;
}

// Assembles the sources with up to `jobs` FASM runs at once, on this thread, and tells the
// outcome as a run one source after another would: the log gets each source's line in the
// sources' order as soon as the sources before it are through, and the first source in that
// order that fails gives the result. Once a failure is known nothing more is started; runs of
// later sources still under way are waited for and their objects deleted, so Bin/ holds what
// the one-by-one run leaves. With showProgress the status detail reads "[ended/total] name"
// as each run ends.
int assembleSources(Conversion& conversion, std::vector<Assembly>& sources, int jobs,
                    bool showProgress) {
  ProgramRunner runner(conversion.services.processes);
  const std::size_t total = sources.size();
  const std::size_t slots = jobs > 1 ? static_cast<std::size_t>(jobs) : 1;
  std::size_t next = 0;              // the next source to start
  std::size_t firstFailure = total;  // the earliest source known to have failed
  std::size_t reported = 0;          // sources whose log line is written
  std::size_t endedCount = 0;
  std::vector<std::size_t> running;
  for (;;) {
    while (running.size() < slots && next < total && firstFailure == total) {
      Assembly& assembly = sources[next];
      assembly.fasm = startFasm(conversion, runner, assembly);
      if (!assembly.fasm) {
        assembly.ended = assembly.startFailed = true;
        firstFailure = next;
      } else {
        running.push_back(next);
      }
      ++next;
    }
    // Sources before the first failure that have ended succeeded: their lines go to the log in
    // the sources' order.
    while (reported < firstFailure && sources[reported].ended) {
      reportAssembly(conversion, sources[reported]);
      ++reported;
    }
    if (running.empty()) break;

    std::vector<RunningProgram*> programs;
    for (std::size_t i : running) programs.push_back(sources[i].fasm.get());
    const std::vector<std::size_t> ended = runner.waitForEnded(programs, kWaitMilliseconds);
    conversion.poll();
    std::vector<bool> done(running.size(), false);
    for (std::size_t position : ended) {
      done[position] = true;
      Assembly& assembly = sources[running[position]];
      assembly.errorText = assembly.fasm->readErrorText();
      assembly.exitCode = assembly.fasm->exitCode();
      assembly.fasm->close();
      assembly.ended = true;
      if (assembly.exitCode != 0) firstFailure = std::min(firstFailure, running[position]);
      if (showProgress) {
        std::string progress(1, '[');
        progress += std::to_string(++endedCount);
        progress += '/';
        progress += std::to_string(total);
        progress += "] ";
        progress += assembly.sourceName;
        conversion.services.feedback.setStatusDetail(progress);
      }
    }
    std::vector<std::size_t> stillRunning;
    for (std::size_t position = 0; position < running.size(); ++position) {
      if (!done[position]) stillRunning.push_back(running[position]);
    }
    running.swap(stillRunning);
  }
  if (firstFailure == total) return 0;
  for (std::size_t i = firstFailure + 1; i < next; ++i) {
    conversion.services.files.deleteFile(sources[i].objectFolder + sources[i].objectName);
  }
  return reportAssembly(conversion, sources[firstFailure]);
}

int assembleLibrary(Conversion& conversion) {
  app::Services& services = conversion.services;
  services.feedback.setStatus(language::kStatusbarCreatingOBJFiles);

  const std::string sourceFolder = conversion.sourceFolder();
  const auto entries = services.files.listFolder(sourceFolder);
  if (!entries) return services.feedback.reportError(language::kErrorsASMFilesProblem, false);
  // The objects of an earlier run that did not end (a failure, an interruption) go first.
  const std::string objects = conversion.objectFolder();
  services.files.makeFolder(objects);
  if (!services.files.isFolder(objects)) {
    return services.feedback.reportError(language::kErrorsOutputDirectories, false,
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
  if (sources.empty()) return services.feedback.reportError(language::kErrorsNoASMFiles, false);
  if (const int result = assembleSources(conversion, sources, conversion.jobs, true)) {
    return result;
  }
  return archive(conversion);
}

}  // namespace

int assembleFile(Conversion& conversion, const std::string& sourcePath,
                 const std::string& objectName) {
  std::vector<Assembly> source(1);
  source[0].sourceName = platform::filePart(sourcePath);
  source[0].sourcePath = sourcePath;
  source[0].objectName = objectName;
  source[0].objectFolder = conversion.binFolder();
  source[0].logName = Conversion::binPathFromLogs(objectName);
  return assembleSources(conversion, source, 1, false);
}

int assembleAndArchive(Conversion& conversion) {
  if (!conversion.libraryOutput()) {
    const std::string& base = conversion.sourceBaseName;
    const int result = assembleFile(
        conversion, conversion.sourceFolder() + base + "_briskoLinkFile.asm", base + ".obj");
    if (result == 0) conversion.writtenFiles.push_back(conversion.binFolder() + base + ".obj");
    return result;
  }
  return assembleLibrary(conversion);
}

}  // namespace brisko::pipeline
