#include "pipeline/run_conversion.h"

#include <unordered_set>

#include "language/text_ids.h"
#include "pipeline/analyse_assembly.h"
#include "pipeline/assemble_archive.h"
#include "pipeline/check_closure.h"
#include "pipeline/compile_source.h"
#include "pipeline/compiler_target.h"
#include "pipeline/conversion.h"
#include "pipeline/conversion_log.h"
#include "pipeline/data_sections.h"
#include "pipeline/generated_source.h"
#include "pipeline/initial_values.h"
#include "pipeline/split_procedures.h"
#include "pipeline/write_c_header.h"
#include "pipeline/write_link_source.h"
#include "pipeline/write_wrapper.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

const char kSeparator = platform::kPathSeparator;

std::string baseNameOf(const std::string& sourcePath) {
  return std::string(platform::withoutExtension(platform::filePart(sourcePath)));
}

std::string folderIn(const std::string& parent, std::string_view name) {
  return parent + std::string(name) + kSeparator;
}

void writeClosingSection(Conversion& conversion, const app::Outcome& result) {
  if (conversion.log() == nullptr) return;
  if (!result.succeeded()) {
    conversion.logLine(conversion.text(language::TextId::objectOutputFileNotCreated));
    return;
  }
  if (conversion.has(app::kUseExistingAsmFiles)) return;
  conversion.logLine("");
  conversion.logLine("\"" + conversion.plan.outputName + "\" " +
                     conversion.text(language::TextId::objectExternalSymbols));
  conversion.logLine("==========");
  int number = 0;
  for (const SymbolRecord& record : conversion.symbols) {
    if (record.kind != SymbolKind::external || !record.referenced) continue;
    conversion.logLine(std::to_string(++number) + ") " + record.asmName);
  }
}

// Reused sources for a library: the library takes every source of Source/, so sources that
// another file's conversion generated there (its data-sections or link source shows it) must
// not slip in. Fails with foreignSources, reported.
app::Outcome refuseForeignSources(Conversion& conversion) {
  platform::FileSystem& files = conversion.services.files;
  const std::string folder = conversion.output.sourceFolder();
  const auto entries = files.listFolder(folder);
  if (!entries) return app::ok();
  for (const platform::FolderEntry& entry : *entries) {
    if (entry.isFolder) continue;
    std::string_view name = entry.name;
    for (std::string_view generated : {kDataSectionsSuffix, kLinkSourceSuffix}) {
      const std::string suffix = std::string(generated) + ".asm";
      if (!name.ends_with(suffix)) continue;
      if (name.substr(0, name.size() - suffix.size()) == conversion.output.baseName()) break;
      const auto bytes = files.readFile(folder + entry.name);
      if (!bytes || !isGeneratedSource(*bytes)) break;
      return conversion.services.feedback.reportError(language::TextId::foreignSources, false,
                                                      app::pathDetail(folder + entry.name));
    }
  }
  return app::ok();
}

// Once the new listing has been read, before any source is written: a file of the user's where
// a source is to go stops the conversion (fails with userFileInSource, reported); for a library
// the sources an earlier run generated go, as every member comes from this run. Until then the
// earlier sources stay, so a compile that fails leaves them as they were.
app::Outcome prepareSourceFolder(Conversion& conversion) {
  platform::FileSystem& files = conversion.services.files;
  const std::string folder = conversion.output.sourceFolder();
  const bool library = conversion.plan.library;
  // The names the sources of this run take, in any case (as on Windows).
  std::unordered_set<std::string> names = {
      platform::asciiLowerCase(conversion.output.dataSectionsName())};
  if (!library) names.insert(platform::asciiLowerCase(conversion.output.linkSourceName()));
  for (const SymbolRecord& record : conversion.symbols) {
    if (isProcedureKind(record.kind)) {
      names.insert(platform::asciiLowerCase(record.fileStem + ".asm"));
    }
  }
  const auto entries = files.listFolder(folder);
  if (!entries) return app::ok();
  for (const platform::FolderEntry& entry : *entries) {
    if (entry.isFolder) continue;
    const bool taken = names.count(platform::asciiLowerCase(entry.name)) != 0;
    if (!taken && !library) continue;
    const std::string path = folder + entry.name;
    const auto bytes = files.readFile(path);
    const bool generated = bytes && isGeneratedSource(*bytes);
    if (taken && !generated) {
      conversion.services.feedback.reportError(language::TextId::userFileInSource, false,
                                               app::pathDetail(path));
      return app::failed(language::TextId::userFileInSource);
    }
    // A source this run does not write again would join the library's members: it goes.
    if (library && generated && !taken) files.deleteFile(path);
  }
  return app::ok();
}

// Reused sources need their folder and the data-sections source, which every other source
// needs; a missing one is named. Fails with noAsmFiles or fileNotFound, reported.
app::Outcome checkReusedSources(Conversion& conversion) {
  platform::FileSystem& files = conversion.services.files;
  app::Feedback& feedback = conversion.services.feedback;
  const std::string folder = conversion.output.sourceFolder();
  if (!files.isFolder(folder)) {
    return feedback.reportError(language::TextId::noAsmFiles, false, app::pathDetail(folder));
  }
  const std::string data = folder + conversion.output.dataSectionsName();
  if (!files.exists(data) || files.isFolder(data)) {
    return feedback.reportError(language::TextId::fileNotFound, false, app::pathDetail(data));
  }
  return app::ok();
}

// Reused sources tell the machine they are for by the format line of the source FASM reads
// first (the link source of an object, the data-sections source of a library), in whichever
// encoding it was written.
Target reusedSourcesTarget(Conversion& conversion) {
  const std::string name = conversion.settings.library() ? conversion.output.dataSectionsName()
                                                         : conversion.output.linkSourceName();
  const auto bytes = conversion.services.files.readFile(conversion.output.sourceFolder() + name);
  if (!bytes) return Target::x86();
  return targetOfSource(*bytes).value_or(Target::x86());
}

app::Outcome runStages(Conversion& conversion, std::optional<WrapperPart>& wrapperPart) {
  app::Services& services = conversion.services;
  const bool reuse = conversion.has(app::kUseExistingAsmFiles);
  const bool wrapper = conversion.has(app::kPbWrapper);
  const bool cHeader = conversion.has(app::kCHeader);
  // The wrapper and the C header declare what the listing's analysis finds, for reused
  // sources too.
  const bool declarations = wrapper || cHeader;
  const std::string sourceFolder = conversion.output.sourceFolder();
  const std::string& sourcePath = conversion.settings.sourcePath;

  if (!reuse || declarations) {
    conversion.logProgress(language::TextId::objectCompiling, sourcePath);
    const Compilation compilation =
        compileSource(services, sourcePath, sourceFolder, false,
                      conversion.settings.options.with(app::kCommented));
    if (compilation.verdict != CompileVerdict::compiled) return compilation.outcome;
    conversion.logOutcome(true);
  }

  conversion.listingPath = listingPathIn(services.files, sourceFolder);
  app::Outcome result = app::ok();
  if (!reuse) {
    result = convertListing(conversion);
  } else if (declarations) {
    result = analyseAssembly(conversion);
    if (result.succeeded()) conversion.logOutcome(true);
  }
  if (result.succeeded() && reuse) {
    if (!declarations) conversion.listing.target = reusedSourcesTarget(conversion);
    result = planReusedSources(conversion);
  }
  // The listing's text is not needed past the split.
  conversion.releaseListing();
  if (result.succeeded()) result = assembleAndArchive(conversion);
  if (result.succeeded() && wrapper) {
    if (conversion.role.handBackWrapper) {
      wrapperPart = wrapperPartOf(conversion);
    } else {
      result = writeWrapper(conversion);
    }
  }
  if (result.succeeded() && cHeader) result = writeCHeader(conversion);
  conversion.combined.discard();
  services.files.deleteFile(conversion.listingPath);
  conversion.listingPath.clear();
  return result;
}

// An installation named for one processor must write listings for it: the builds of both
// processors would otherwise give two libraries of one machine under names that promise two.
// Fails with installationTarget, reported with the installation's folder.
app::Outcome checkTarget(Conversion& conversion) {
  const std::optional<Target>& expected = conversion.role.expectedTarget;
  const Target found = conversion.listing.target;
  if (!expected || *expected == found) return app::ok();
  return reportTargetMismatch(conversion.services.feedback, *expected, found,
                              conversion.services.paths.pbFolder);
}

}  // namespace

std::string settledDestination(const platform::FileSystem& files, const std::string& sourcePath,
                               const std::string& destination) {
  const std::string folder =
      files.isFolder(destination) ? destination : platform::folderPart(sourcePath);
  return platform::withTrailingSeparator(folder);
}

app::Outcome planReusedSources(Conversion& conversion) {
  OutputPlan& plan = conversion.plan;
  if (!plan.library) {
    PlannedSource& link = plan.sources.emplace_back();
    link.role = PlannedSource::Role::linkSource;
    link.fileName = conversion.output.linkSourceName();
    return app::ok();
  }
  const auto entries = conversion.services.files.listFolder(conversion.output.sourceFolder());
  if (!entries) {
    return conversion.services.feedback.reportError(language::TextId::asmFilesProblem, false);
  }
  for (const platform::FolderEntry& entry : *entries) {
    if (entry.isFolder || platform::equalsIgnoringCase(entry.name, kListingName)) continue;
    if (platform::extensionOf(entry.name) != "asm") continue;
    PlannedSource& source = plan.sources.emplace_back();
    source.fileName = entry.name;
    if (entry.name == conversion.output.dataSectionsName()) {
      source.role = PlannedSource::Role::dataSections;
    }
  }
  return app::ok();
}

app::Outcome convertListing(Conversion& conversion) {
  app::Outcome result = analyseAssembly(conversion);
  if (!result.succeeded()) return result;
  conversion.logOutcome(true);
  result = checkTarget(conversion);
  if (!result.succeeded()) return result;
  result = prepareSourceFolder(conversion);
  if (!result.succeeded()) return result;
  // The data-sections source is written last: it takes the data the procedures name.
  result = splitProcedures(conversion);
  if (result.succeeded()) result = writeDataSections(conversion);
  if (result.succeeded()) result = writeLinkSource(conversion);
  if (result.succeeded()) result = checkClosure(conversion);
  return result;
}

app::Outcome prepareOutputFolders(app::Services& services, const std::string& destination) {
  platform::FileSystem& files = services.files;
  std::string reason;
  for (std::string_view name : {kBinFolderName, kSourceFolderName, kLogsFolderName}) {
    const std::string folder = folderIn(destination, name);
    if (!files.isFolder(folder) && !files.makeFolder(folder) && reason.empty()) {
      reason = files.failureReason();
    }
  }
  if (!files.isFolder(destination) || !files.isFolder(folderIn(destination, kBinFolderName)) ||
      !files.isFolder(folderIn(destination, kSourceFolderName)) ||
      !files.isFolder(folderIn(destination, kLogsFolderName))) {
    return services.feedback.reportError(language::TextId::outputDirectories, false,
                                         app::pathDetail(destination, reason));
  }
  return app::ok();
}

ConversionResult runConversion(app::Services& services, const std::string& sourcePath,
                               const std::string& destination,
                               const app::ConversionOptions& options,
                               const toolchain::LibraryCatalogue* catalogue, int jobs,
                               const BuildRole& role) {
  ConversionResult result;

  const bool reuse = options.has(app::kUseExistingAsmFiles);
  const std::string folder = settledDestination(services.files, sourcePath, destination);

  // One conversion at a time writes into a destination: a second one would clear, assemble
  // and pack the first one's files as its own.
  platform::FolderLockAttempt lock;
  if (!role.destinationLocked) lock = services.files.lockFolder(folder);
  if (lock.heldElsewhere) {
    result.outcome = services.feedback.reportError(language::TextId::destinationBusy, false,
                                                   app::pathDetail(folder));
    return result;
  }

  OutputLayout output(folder, baseNameOf(sourcePath));
  ConversionSettings settings{sourcePath, options, jobs, catalogue};
  if (reuse) {
    // The link source is written for object output alone: its presence tells the format the
    // sources were made for.
    const std::string linkSource = output.sourceFolder() + output.linkSourceName();
    const bool objectSources =
        services.files.exists(linkSource) && !services.files.isFolder(linkSource);
    settings.options.outputFormat =
        objectSources ? app::OutputFormat::objectFile : app::OutputFormat::staticLibrary;
  }
  Conversion conversion(services, std::move(settings), std::move(output), role);
  if (reuse) {
    if (conversion.settings.library()) result.outcome = refuseForeignSources(conversion);
    if (result.outcome.succeeded()) result.outcome = checkReusedSources(conversion);
    if (!result.outcome.succeeded()) return result;
  } else {
    result.outcome = prepareOutputFolders(services, folder);
    if (!result.outcome.succeeded()) return result;
  }
  result.foldersReady = true;

  std::unique_ptr<ConversionLog> log;
  if (options.has(app::kLogFile)) {
    log = ConversionLog::create(services.files, conversion.output.logPath(), services.clock);
  }
  services.feedback.setActiveLog(log.get());

  result.outcome = runStages(conversion, result.wrapperPart);
  if (result.outcome.succeeded()) warnOfLostInitialValues(conversion);

  writeClosingSection(conversion, result.outcome);
  services.feedback.setActiveLog(nullptr);
  if (log) {
    log->close();
    conversion.writtenFiles.push_back(conversion.output.logPath());
  }
  if (result.outcome.succeeded()) {
    result.writtenFiles = std::move(conversion.writtenFiles);
    result.summary = summariseConversion(conversion);
  }
  return result;
}

}  // namespace brisko::pipeline
