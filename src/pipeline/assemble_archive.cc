#include "pipeline/assemble_archive.h"

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "coff/archive.h"
#include "language/text_ids.h"
#include "pipeline/object_check.h"
#include "pipeline/parallel_runs.h"
#include "pipeline/program_runner.h"
#include "platform/paths.h"

namespace brisko::pipeline {
namespace {

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

// Moves a checked output from the object folder into Bin/, where it replaces the old one; with
// a pending log line, completes it.
app::Outcome moveIntoBin(Conversion& conversion, const std::string& built, bool pendingLine) {
  platform::FileSystem& files = conversion.services.files;
  const std::string target = conversion.output.binFolder() + conversion.plan.outputName;
  files.deleteFile(target);
  if (!files.moveFile(built, target)) {
    const std::string reason = files.failureReason();
    files.deleteFile(built);
    if (pendingLine) conversion.logOutcome(false);
    return conversion.services.feedback.reportError(language::TextId::creatingFileError, false,
                                                    app::pathDetail(target, reason));
  }
  if (pendingLine) conversion.logOutcome(true);
  conversion.writtenFiles.push_back(target);
  return app::ok();
}

// Reads back every object FASM wrote and checks them together (object_check.h); logs the check
// and its counts. Fails (reported) with objectDamaged, objectIncomplete or objectUnresolved.
app::Outcome checkObjects(Conversion& conversion, const std::vector<std::string>& paths) {
  conversion.logProgress(language::TextId::objectCheckingObjects, conversion.plan.outputName);
  ObjectCheck check(conversion);
  std::optional<ObjectCheck::Failure> failure;
  for (const std::string& path : paths) {
    const auto bytes = conversion.services.files.readFile(path);
    const std::string member(platform::filePart(path));
    if (!bytes) {
      failure = ObjectCheck::Failure{language::TextId::objectDamaged,
                                     "\n(" + member + ": FASM wrote no object)"};
      break;
    }
    failure = check.add(
        member, std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
    if (failure) break;
  }
  if (!failure) failure = check.finish();
  if (failure) {
    conversion.logOutcome(false);
    return conversion.services.feedback.reportError(failure->text, false, failure->detail);
  }
  conversion.logOutcome(true);
  conversion.logLine(
      language::fillIn(conversion.text(language::TextId::objectCounts),
                       {std::to_string(check.objects()), std::to_string(check.definedSymbols()),
                        std::to_string(check.symbolsFromOutside())}));
  return app::ok();
}

// polib packs every object of the object folder into a library there, which then replaces
// Bin/<base>.lib; an older library stays untouched until a new one is there.
app::Outcome archive(Conversion& conversion) {
  app::Services& services = conversion.services;
  const std::string& libraryName = conversion.plan.outputName;
  const std::string bin = conversion.output.binFolder();
  const std::string objects = conversion.output.objectFolder();
  const std::string builtLibrary = objects + libraryName;

  conversion.logProgress(language::TextId::objectCreatingCoffFile,
                         OutputLayout::binPathFromLogs(libraryName));
  ProgramRunner runner(services.processes);
  const std::string machine(conversion.listing.target.librarianMachineOption());
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
    reportToolError(services.feedback, language::TextId::objectPolibError,
                    language::TextId::objectPolibUnknownError, output);
    return app::failed(language::TextId::objectPolibError);
  }
  // polib said it succeeded: the library must be there, whole, before it replaces the old one.
  const auto bytes = services.files.readFile(builtLibrary);
  const coff::Result<coff::Archive> read =
      bytes ? coff::readArchive(
                  std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()))
            : coff::Result<coff::Archive>(coff::Error{""});
  if (!read.ok()) {
    conversion.logOutcome(false);
    services.files.deleteFile(builtLibrary);
    return services.feedback.reportError(
        language::TextId::creatingFileError, false,
        app::pathDetail(conversion.output.binFolder() + libraryName, read.error()));
  }
  return moveIntoBin(conversion, builtLibrary, true);
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
  reportToolError(conversion.services.feedback, language::TextId::objectFasmError,
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

// The object folder, made when missing and emptied of the objects of an earlier run that did
// not end (a failure, an interruption). Fails (reported) with outputDirectories.
app::Outcome prepareObjectFolder(Conversion& conversion) {
  app::Services& services = conversion.services;
  const std::string objects = conversion.output.objectFolder();
  services.files.makeFolder(objects);
  if (!services.files.isFolder(objects)) {
    return services.feedback.reportError(language::TextId::outputDirectories, false,
                                         app::pathDetail(objects, services.files.failureReason()));
  }
  deleteObjects(services.files, objects);
  return app::ok();
}

// A library's sources, each into its own object in the object folder, checked, packed by polib.
app::Outcome assembleLibrary(Conversion& conversion) {
  app::Services& services = conversion.services;
  services.feedback.setStatus(language::TextId::statusbarCreatingObjFiles);
  if (const app::Outcome prepared = prepareObjectFolder(conversion); !prepared.succeeded()) {
    return prepared;
  }
  const std::string objects = conversion.output.objectFolder();
  const std::string sourceFolder = conversion.output.sourceFolder();
  std::vector<Assembly> sources;
  std::vector<std::string> objectPaths;
  for (const PlannedSource* planned : conversion.plan.assembled()) {
    Assembly& assembly = sources.emplace_back();
    assembly.sourceName = planned->fileName;
    assembly.sourcePath = sourceFolder + planned->fileName;
    assembly.objectName = planned->objectName();
    assembly.objectFolder = objects;
    assembly.logName = std::string("..") + platform::kPathSeparator +
                       std::string(kSourceFolderName) + platform::kPathSeparator +
                       std::string(kObjectFolderName) + platform::kPathSeparator +
                       assembly.objectName;
    objectPaths.push_back(objects + assembly.objectName);
  }
  if (sources.empty()) return services.feedback.reportError(language::TextId::noAsmFiles, false);
  app::Outcome result = assembleSources(conversion, sources, conversion.settings.jobs, true);
  if (result.succeeded()) result = checkObjects(conversion, objectPaths);
  if (result.succeeded()) result = archive(conversion);
  // Nothing of a run, whatever its end, stays behind in the object folder.
  deleteObjects(services.files, objects);
  return result;
}

// The link source, which includes every other source, into an object that replaces
// Bin/<base>.obj once it is checked.
app::Outcome assembleObject(Conversion& conversion) {
  const std::vector<const PlannedSource*> assembled = conversion.plan.assembled();
  if (assembled.empty()) {
    return conversion.services.feedback.reportError(language::TextId::noAsmFiles, false);
  }
  if (const app::Outcome prepared = prepareObjectFolder(conversion); !prepared.succeeded()) {
    return prepared;
  }
  std::vector<Assembly> source(1);
  source[0].sourceName = assembled[0]->fileName;
  source[0].sourcePath = conversion.output.sourceFolder() + assembled[0]->fileName;
  source[0].objectName = conversion.plan.outputName;
  source[0].objectFolder = conversion.output.objectFolder();
  source[0].logName = OutputLayout::binPathFromLogs(source[0].objectName);
  const std::string built = source[0].objectFolder + source[0].objectName;
  app::Outcome result = assembleSources(conversion, source, 1, false);
  if (result.succeeded()) result = checkObjects(conversion, {built});
  if (result.succeeded()) result = moveIntoBin(conversion, built, false);
  conversion.services.files.deleteFile(built);
  return result;
}

}  // namespace

app::Outcome assembleAndArchive(Conversion& conversion) {
  return conversion.plan.library ? assembleLibrary(conversion) : assembleObject(conversion);
}

}  // namespace brisko::pipeline
