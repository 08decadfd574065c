#include "pipeline/assemble_archive.h"

#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "coff/archive.h"
#include "coff/cutter.h"
#include "language/text_ids.h"
#include "pipeline/generated_source.h"
#include "pipeline/object_check.h"
#include "pipeline/parallel_runs.h"
#include "pipeline/program_runner.h"
#include "pipeline/symbol_names.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace brisko::pipeline {
namespace {

// The longest wait for a FASM run to end before the window gets to handle its events.
constexpr int kWaitMilliseconds = 20;
// A library brisko packs is stored in pieces of about this size.
constexpr std::size_t kArchivePieceSize = std::size_t{1} << 20;

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

// An object FASM made, or a member cut from one: its name and bytes, and the symbols it defines
// for a library's linker members.
struct Member {
  std::string name;
  coff::Bytes bytes;
  std::vector<std::string> publics;
};

std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Checks what FASM wrote, every object together (object_check.h); logs the check and its counts.
// Fails (reported) with objectDamaged, objectIncomplete or objectUnresolved.
app::Outcome checkObjects(Conversion& conversion, std::vector<Member>& members) {
  conversion.logProgress(language::TextId::objectCheckingObjects, conversion.plan.outputName);
  ObjectCheck check(conversion);
  std::optional<ObjectCheck::Failure> failure;
  for (Member& member : members) {
    failure = check.add(member.name, member.bytes, &member.publics);
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

// Reads the objects FASM wrote into memory; one that is not there is named.
std::optional<std::vector<Member>> readObjects(Conversion& conversion,
                                               const std::vector<std::string>& paths) {
  std::vector<Member> members;
  for (const std::string& path : paths) {
    const auto bytes = conversion.services.files.readFile(path);
    Member& member = members.emplace_back();
    member.name = platform::filePart(path);
    if (!bytes) {
      conversion.services.feedback.reportError(language::TextId::objectDamaged, false,
                                               "\n(" + member.name + ": FASM wrote no object)");
      return std::nullopt;
    }
    member.bytes.assign(bytes->begin(), bytes->end());
  }
  return members;
}

// polib packs every object of the object folder into a library there, which then replaces
// Bin/<base>.lib; an older library stays untouched until a new one is there.
app::Outcome archiveWithPolib(Conversion& conversion) {
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
  const coff::Result<coff::Archive> read = bytes ? coff::readArchive(bytesOf(*bytes), false)
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

// Without polib in the installation brisko writes the archive itself, in the form polib and
// lib write, and checks that the file holds all of it before it replaces Bin/<base>.lib. The
// members' bytes move into the archive.
app::Outcome archiveMembers(Conversion& conversion, std::vector<Member>& members) {
  app::Services& services = conversion.services;
  const std::string built = conversion.output.objectFolder() + conversion.plan.outputName;
  conversion.logProgress(language::TextId::objectCreatingCoffFile,
                         OutputLayout::binPathFromLogs(conversion.plan.outputName));
  std::vector<coff::ArchiveMember> archived;
  archived.reserve(members.size());
  for (Member& member : members) {
    archived.push_back({member.name, std::move(member.bytes), std::move(member.publics)});
  }
  // Stored in pieces of about a megabyte, never held whole beside the members.
  std::unique_ptr<platform::OutputFile> file = services.files.createFile(built);
  std::string pending;
  bool storeFailed = false;
  const auto store = [&](std::span<const std::uint8_t> piece) {
    pending.append(reinterpret_cast<const char*>(piece.data()), piece.size());
    if (pending.size() < kArchivePieceSize) return true;
    storeFailed = !file->write(pending);
    pending.clear();
    return !storeFailed;
  };
  std::string reason;
  bool stored = false;
  std::uint64_t size = 0;
  if (file) {
    const coff::Result<std::uint64_t> archive = coff::writeArchive(archived, store);
    if (!archive.ok() && !storeFailed) reason = archive.error();
    stored = archive.ok() && file->write(pending);
    stored = file->close() && stored;
    file.reset();
    if (archive.ok()) size = archive.value();
  }
  archived = {};
  platform::returnFreedMemory();
  // The writer makes the library whole; what the disk must show is all of it.
  if (stored && services.files.fileSize(built) != size) {
    stored = false;
    reason = "the stored library is not whole";
  }
  if (!stored) {
    if (reason.empty()) reason = services.files.failureReason();
    services.files.deleteFile(built);
    return conversion.failWith(language::TextId::creatingFileError,
                               conversion.output.binFolder() + conversion.plan.outputName, reason);
  }
  return moveIntoBin(conversion, built, true);
}

// The installation's polib, when it has one: present, no folder, not empty.
bool hasPolib(const Conversion& conversion) {
  const platform::FileSystem& files = conversion.services.files;
  const std::string& path = conversion.services.paths.polibPath;
  const auto size = files.fileSize(path);
  return !path.empty() && !files.isFolder(path) && size && *size > 0;
}

// Runs FASM on one source without a word to the user; true when it ended without an error.
bool assembleQuietly(Conversion& conversion, const Assembly& assembly) {
  ProgramRunner runner(conversion.services.processes);
  auto fasm = startFasm(conversion, runner, assembly);
  if (!fasm) return false;
  while (runner.waitForEnded({fasm.get()}, kWaitMilliseconds).empty()) conversion.poll();
  fasm->readErrorText();
  const int exitCode = fasm->exitCode();
  fasm->close();
  return exitCode == 0;
}

// The head of the combined source (what no member defines, declared external once, as the
// members' own sources declare it) and the plan of the cut: the sections of each member's part.
std::string combinedHead(Conversion& conversion, const std::vector<const PlannedSource*>& planned,
                         std::vector<coff::MemberPlan>& plans) {
  std::unordered_set<std::string> defined;
  for (const PlannedSource* member : planned) {
    defined.insert(member->defines.begin(), member->defines.end());
  }
  std::unordered_map<std::string, std::string> externs;
  for (const SymbolRecord& record : conversion.symbols) {
    if (record.kind == SymbolKind::external) externs.emplace(linkName(record), externLine(record));
  }
  SourceText text;
  writeHeaderBlock(text, conversion.services.clock.now());
  text.line(conversion.listing.target.formatLine());
  text.line("");
  // The data-sections source's part first, then the procedures' parts: the sections are
  // numbered in that order.
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < planned.size(); ++i) {
    if (planned[i]->role == PlannedSource::Role::dataSections) order.push_back(i);
  }
  for (std::size_t i = 0; i < planned.size(); ++i) {
    if (planned[i]->role != PlannedSource::Role::dataSections) order.push_back(i);
  }
  std::unordered_set<std::string> declared;
  plans.assign(planned.size(), {});
  std::uint32_t section = 0;
  for (const std::size_t i : order) {
    coff::MemberPlan& plan = plans[i];
    for (std::size_t s = 0; s < planned[i]->sections; ++s) plan.sections.push_back(++section);
    for (const Need& need : planned[i]->needs) {
      plan.needs.push_back(need.symbol);
      if (defined.count(need.symbol) != 0 || !declared.insert(need.symbol).second) continue;
      const auto declaration = externs.find(need.symbol);
      text.line(declaration != externs.end() ? declaration->second : "extrn " + need.symbol);
    }
  }
  text.line("");
  return text.text();
}

// One FASM run on a library made in this run: every member's part of the combined source in
// sections of its own, the labels one member names in another public, assembled as one and cut
// into the members (coff/cutter), which are what each member's own source gives. Nothing when the
// combined source does not assemble or cut (inline assembly of two procedures may define one
// label, which their own sources allow): the members' sources are then assembled one by one.
std::optional<std::vector<Member>> assembleCombined(
    Conversion& conversion, const std::vector<const PlannedSource*>& planned) {
  Assembly assembly;
  assembly.objectFolder = conversion.output.objectFolder();
  assembly.objectName = conversion.output.baseName() + std::string(kCombinedSourceSuffix) + ".obj";
  const std::string object = assembly.objectFolder + assembly.objectName;
  std::vector<coff::MemberPlan> plans;
  const std::optional<std::string> source =
      conversion.combined.finish(combinedHead(conversion, planned, plans));
  if (source) assembly.sourcePath = *source;
  platform::FileSystem& files = conversion.services.files;
  const bool assembled = source && assembleQuietly(conversion, assembly);
  conversion.combined.discard();
  std::optional<std::string> bytes;
  if (assembled) bytes = files.readFile(object);
  files.deleteFile(object);
  if (!bytes) return std::nullopt;
  // Each step lets go of what it no longer needs, and each member is stored as it is cut: a
  // large library is held about once.
  coff::Result<coff::ObjectFile> combined = coff::readObject(bytesOf(*bytes));
  bytes.reset();
  if (!combined.ok()) return std::nullopt;
  std::vector<Member> members(planned.size());
  const std::string failure = coff::cutObjectEach(
      std::move(combined.value()), plans, [&](std::size_t i, coff::ObjectFile&& member) {
        members[i] = {planned[i]->objectName(), coff::writeObject(member), {}};
      });
  if (!failure.empty()) return std::nullopt;
  return members;
}

// A library's members: made with one FASM run where the sources were generated in this run,
// else (or when that fails) each source into its own object in the object folder; then checked
// and packed, by polib where the installation has one, else by brisko.
app::Outcome assembleLibrary(Conversion& conversion) {
  app::Services& services = conversion.services;
  services.feedback.setStatus(language::TextId::statusbarCreatingObjFiles);
  if (const app::Outcome prepared = prepareObjectFolder(conversion); !prepared.succeeded()) {
    return prepared;
  }
  const std::string objects = conversion.output.objectFolder();
  const std::string sourceFolder = conversion.output.sourceFolder();
  const std::vector<const PlannedSource*> planned = conversion.plan.assembled();
  std::vector<Assembly> sources;
  std::vector<std::string> objectPaths;
  for (const PlannedSource* member : planned) {
    Assembly& assembly = sources.emplace_back();
    assembly.sourceName = member->fileName;
    assembly.sourcePath = sourceFolder + member->fileName;
    assembly.objectName = member->objectName();
    assembly.objectFolder = objects;
    assembly.logName = OutputLayout::objectPathFromLogs(assembly.objectName);
    objectPaths.push_back(objects + assembly.objectName);
  }
  if (sources.empty()) return services.feedback.reportError(language::TextId::noAsmFiles, false);

  const bool polib = hasPolib(conversion);
  std::optional<std::vector<Member>> members;
  if (conversion.combined.active()) members = assembleCombined(conversion, planned);
  app::Outcome result = app::ok();
  if (members) {
    // The log tells each member as the run of its own source would.
    for (const Assembly& assembly : sources) {
      conversion.logProgress(language::TextId::objectCreatingCoffFile, assembly.logName);
      conversion.logOutcome(true);
    }
  } else {
    result = assembleSources(conversion, sources, conversion.settings.jobs, true);
    if (result.succeeded()) {
      members = readObjects(conversion, objectPaths);
      if (!members) result = app::failed(language::TextId::objectDamaged);
    }
  }
  platform::returnFreedMemory();
  if (result.succeeded()) result = checkObjects(conversion, *members);
  platform::returnFreedMemory();
  if (result.succeeded()) {
    conversion.logLine(conversion.text(polib ? language::TextId::packedByPolib
                                             : language::TextId::packedByBrisko));
    if (polib) {
      // polib packs the objects of the folder: cut members are stored there first.
      for (std::size_t i = 0; i < members->size() && result.succeeded(); ++i) {
        const Member& member = (*members)[i];
        if (services.files.exists(objectPaths[i])) continue;
        const std::string_view bytes(reinterpret_cast<const char*>(member.bytes.data()),
                                     member.bytes.size());
        if (!services.files.writeFile(objectPaths[i], bytes)) {
          result = services.feedback.reportError(
              language::TextId::creatingFileError, false,
              app::pathDetail(objectPaths[i], services.files.failureReason()));
        }
      }
      // polib reads them from there: memory is not held while it runs.
      members.reset();
      platform::returnFreedMemory();
      if (result.succeeded()) result = archiveWithPolib(conversion);
    } else {
      result = archiveMembers(conversion, *members);
    }
  }
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
  std::optional<std::vector<Member>> object;
  if (result.succeeded()) {
    object = readObjects(conversion, {built});
    if (!object) result = app::failed(language::TextId::objectDamaged);
  }
  if (result.succeeded()) result = checkObjects(conversion, *object);
  if (result.succeeded()) result = moveIntoBin(conversion, built, false);
  conversion.services.files.deleteFile(built);
  return result;
}

}  // namespace

app::Outcome assembleAndArchive(Conversion& conversion) {
  return conversion.plan.library ? assembleLibrary(conversion) : assembleObject(conversion);
}

}  // namespace brisko::pipeline
