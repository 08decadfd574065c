#include "pipeline/run_conversion.h"

#include "language/text_ids.h"
#include "pipeline/analyse_assembly.h"
#include "pipeline/assemble_archive.h"
#include "pipeline/compile_source.h"
#include "pipeline/conversion.h"
#include "pipeline/conversion_log.h"
#include "pipeline/data_sections.h"
#include "pipeline/listing_text.h"
#include "pipeline/split_procedures.h"
#include "pipeline/write_wrapper.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

constexpr char kSeparator = platform::kPathSeparator;

std::string baseNameOf(const std::string& sourcePath) {
  return std::string(platform::withoutExtension(platform::filePart(sourcePath)));
}

// Creates one folder level, the path stripped of trailing spaces and separators first.
void makeFolder(platform::FileSystem& files, std::string path) {
  while (!path.empty() && (path.back() == ' ' || platform::isPathSeparator(path.back()))) {
    path.pop_back();
  }
  files.makeFolder(path);
}

void writeClosingSection(Conversion& conversion, const app::Outcome& result) {
  if (conversion.log() == nullptr) return;
  if (!result.succeeded()) {
    conversion.logLine(conversion.text(language::TextId::objectOutputFileNotCreated));
    return;
  }
  if (conversion.has(app::kUseExistingAsmFiles)) return;
  conversion.logLine("");
  conversion.logLine("\"" + conversion.sourceBaseName +
                     (conversion.libraryOutput() ? ".lib" : ".obj") + "\" " +
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
  const std::string folder = conversion.sourceFolder();
  const auto entries = files.listFolder(folder);
  if (!entries) return app::ok();
  for (const platform::FolderEntry& entry : *entries) {
    if (entry.isFolder) continue;
    std::string_view name = entry.name;
    for (std::string_view suffix : {"_briskoDataSections.asm", "_briskoLinkFile.asm"}) {
      if (!name.ends_with(suffix)) continue;
      if (name.substr(0, name.size() - suffix.size()) == conversion.sourceBaseName) break;
      const auto bytes = files.readFile(folder + entry.name);
      if (!bytes || !isGeneratedSource(*bytes)) break;
      return conversion.services.feedback.reportError(language::TextId::foreignSources, false,
                                                      app::pathDetail(folder + entry.name));
    }
  }
  return app::ok();
}

// Reused library sources tell the machine they are for by the data-sections source's format
// line (in whichever encoding it was written).
bool reusedSourcesAreX64(Conversion& conversion) {
  const auto bytes = conversion.services.files.readFile(
      conversion.sourceFolder() + conversion.sourceBaseName + "_briskoDataSections.asm");
  if (!bytes) return false;
  const Listing source = Listing::fromBytes(*bytes);
  ListingCursor cursor(source);
  std::string_view line;
  for (int i = 0; i < 16 && cursor.next(line); ++i) {
    if (platform::trimSpaces(line) == "format MS64 COFF") return true;
  }
  return false;
}

app::Outcome runStages(Conversion& conversion) {
  app::Services& services = conversion.services;
  const bool reuse = conversion.has(app::kUseExistingAsmFiles);
  const bool wrapper = conversion.has(app::kPbWrapper);
  const std::string sourceFolder = conversion.sourceFolder();

  if (!reuse || wrapper) {
    conversion.logProgress(language::TextId::objectCompiling, conversion.sourcePath);
    const Compilation compilation = compileSource(services, conversion.sourcePath, sourceFolder,
                                                  false, conversion.options.with(app::kCommented));
    if (compilation.verdict != CompileVerdict::compiled) return compilation.outcome;
    conversion.logOutcome(true);
  }

  conversion.asmListingPath = listingPathIn(services.files, sourceFolder);
  conversion.importLibraries.clear();
  conversion.exportCount = 0;
  conversion.symbols.clear();
  conversion.renamedProcedures.clear();
  conversion.bodyPublics.clear();
  app::Outcome result = app::ok();
  if (!reuse || wrapper) {
    result = analyseAssembly(conversion);
    if (result.succeeded() && !reuse) result = writeDataSections(conversion);
    // The analysis' progress line covers the data-sections source as well.
    if (result.succeeded()) conversion.logOutcome(true);
  }
  if (result.succeeded() && !reuse) result = splitProcedures(conversion);
  if (reuse && !wrapper && conversion.libraryOutput())
    conversion.x64 = reusedSourcesAreX64(conversion);
  if (result.succeeded()) result = assembleAndArchive(conversion);
  if (result.succeeded() && wrapper) result = writeWrapper(conversion);
  services.files.deleteFile(conversion.asmListingPath);
  conversion.asmListingPath.clear();
  return result;
}

}  // namespace

app::Outcome prepareOutputFolders(app::Services& services, const std::string& destination,
                                  const app::ConversionOptions& options) {
  platform::FileSystem& files = services.files;
  const std::string source = destination + "Source" + kSeparator;
  if (options.outputFormat == app::OutputFormat::staticLibrary) {
    // A library takes every source of the folder, so the sources of earlier runs go; files
    // that this program did not generate (the user's own) stay.
    if (const auto entries = files.listFolder(source)) {
      for (const platform::FolderEntry& entry : *entries) {
        if (entry.isFolder) continue;
        const std::string path = source + entry.name;
        const auto bytes = files.readFile(path);
        if (bytes && isGeneratedSource(*bytes)) files.deleteFile(path);
      }
    }
  }
  const std::string bin = destination + "Bin" + kSeparator;
  const std::string logs = destination + "Logs" + kSeparator;
  makeFolder(files, bin);
  makeFolder(files, source);
  makeFolder(files, logs);
  if (!files.isFolder(destination) || !files.isFolder(bin) || !files.isFolder(source) ||
      !files.isFolder(logs)) {
    return services.feedback.reportError(language::TextId::outputDirectories, false,
                                         std::string("\n").append(app::pathDetail(destination)));
  }
  return app::ok();
}

ConversionResult runConversion(app::Services& services, const std::string& sourcePath,
                               const std::string& destination,
                               const app::ConversionOptions& options,
                               const toolchain::LibraryCatalogue* catalogue, int jobs) {
  ConversionResult result;

  const bool reuse = options.has(app::kUseExistingAsmFiles);
  std::string folder = destination;
  if (reuse || !services.files.isFolder(folder)) folder = platform::folderPart(sourcePath);
  folder = platform::withTrailingSeparator(folder);

  // One conversion at a time writes into a destination: a second one would clear, assemble
  // and pack the first one's files as its own.
  const platform::FolderLockAttempt lock = services.files.lockFolder(folder);
  if (lock.heldElsewhere) {
    result.outcome = services.feedback.reportError(language::TextId::destinationBusy, false,
                                                   app::pathDetail(folder));
    return result;
  }

  Conversion conversion(services, sourcePath, folder, options);
  conversion.catalogue = catalogue;
  conversion.jobs = jobs;
  conversion.sourceBaseName = baseNameOf(sourcePath);
  if (reuse) {
    const std::string linkSource =
        conversion.sourceFolder() + conversion.sourceBaseName + "_briskoLinkFile.asm";
    const bool objectSources =
        services.files.exists(linkSource) && !services.files.isFolder(linkSource);
    conversion.options.outputFormat =
        objectSources ? app::OutputFormat::objectFile : app::OutputFormat::staticLibrary;
    if (!objectSources) {
      result.outcome = refuseForeignSources(conversion);
      if (!result.outcome.succeeded()) return result;
    }
  } else {
    result.outcome = prepareOutputFolders(services, folder, options);
    if (!result.outcome.succeeded()) return result;
  }
  result.foldersReady = true;

  std::unique_ptr<ConversionLog> log;
  if (options.has(app::kLogFile)) {
    log = ConversionLog::create(services.files, folder + "Logs" + kSeparator + "briskoLog.txt",
                                services.clock);
  }
  services.feedback.setActiveLog(log.get());

  result.outcome = runStages(conversion);

  writeClosingSection(conversion, result.outcome);
  services.feedback.setActiveLog(nullptr);
  if (log) {
    log->close();
    conversion.writtenFiles.push_back(folder + "Logs" + kSeparator + "briskoLog.txt");
  }
  if (result.outcome.succeeded()) result.writtenFiles = std::move(conversion.writtenFiles);
  return result;
}

}  // namespace brisko::pipeline
