#include "pipeline/run_conversion.h"

#include "language/text_ids.h"
#include "pipeline/analyse_assembly.h"
#include "pipeline/assemble_archive.h"
#include "pipeline/compile_source.h"
#include "pipeline/conversion.h"
#include "pipeline/conversion_log.h"
#include "pipeline/listing_text.h"
#include "pipeline/split_procedures.h"
#include "pipeline/write_wrapper.h"
#include "platform/paths.h"

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

void writeClosingSection(Conversion& conversion, int result) {
  if (conversion.log() == nullptr) return;
  if (result != 0) {
    conversion.logLine(conversion.text(language::kObjectOutputFileNotCreated));
    return;
  }
  if (conversion.has(app::kUseExistingAsmFiles)) return;
  conversion.logLine("");
  conversion.logLine("\"" + conversion.sourceBaseName +
                     (conversion.libraryOutput() ? ".lib" : ".obj") + "\" " +
                     conversion.text(language::kObjectExternalSymbols));
  conversion.logLine("==========");
  int number = 0;
  for (const SymbolRecord& record : conversion.symbols) {
    if (record.kind != kExternal || !record.referenced) continue;
    conversion.logLine(std::to_string(++number) + ") " + record.asmName);
  }
}

// Reused sources for a library: the library takes every source of Source/, so sources that
// another file's conversion generated there (its data-sections or link source shows it) must
// not slip in. Returns the code of the report, or 0.
int refuseForeignSources(Conversion& conversion) {
  platform::FileSystem& files = conversion.services.files;
  const std::string folder = conversion.sourceFolder();
  const auto entries = files.listFolder(folder);
  if (!entries) return 0;
  for (const platform::FolderEntry& entry : *entries) {
    if (entry.isFolder) continue;
    std::string_view name = entry.name;
    for (std::string_view suffix : {"_briskoDataSections.asm", "_briskoLinkFile.asm"}) {
      if (!name.ends_with(suffix)) continue;
      if (name.substr(0, name.size() - suffix.size()) == conversion.sourceBaseName) break;
      const auto bytes = files.readFile(folder + entry.name);
      if (!bytes || !isGeneratedSource(*bytes)) break;
      return conversion.services.feedback.reportError(language::kMoreerrorsForeignSources, false,
                                                      app::pathDetail(folder + entry.name));
    }
  }
  return 0;
}

int runStages(Conversion& conversion) {
  app::Services& services = conversion.services;
  const bool reuse = conversion.has(app::kUseExistingAsmFiles);
  const bool wrapper = conversion.has(app::kPbWrapper);
  const std::string sourceFolder = conversion.sourceFolder();

  int result = language::kObjectNoCompilerError;
  if (!reuse || wrapper) {
    conversion.logProgress(language::kObjectCompiling, conversion.sourcePath);
    result = compileSource(services, conversion.sourcePath, sourceFolder, false,
                           conversion.options.with(app::kCommented));
    if (result == language::kObjectNoCompilerError) conversion.logOutcome(true);
  }
  if (result != language::kObjectNoCompilerError) return result;

  conversion.asmListingPath = listingPathIn(services.files, sourceFolder);
  conversion.importLibraries.clear();
  conversion.exportCount = 0;
  conversion.symbols.clear();
  result = 0;
  if (!reuse || wrapper) result = analyseAssembly(conversion);
  if (result == 0 && !reuse) result = splitProcedures(conversion);
  if (result == 0) result = assembleAndArchive(conversion);
  if (result == 0 && wrapper) result = writeWrapper(conversion);
  services.files.deleteFile(conversion.asmListingPath);
  conversion.asmListingPath.clear();
  return result;
}

}  // namespace

int prepareOutputFolders(app::Services& services, const std::string& destination,
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
    return services.feedback.reportError(language::kErrorsOutputDirectories, false,
                                         std::string("\n").append(app::pathDetail(destination)));
  }
  return 0;
}

int runConversion(app::Services& services, const std::string& sourcePath,
                  const std::string& destination, const app::ConversionOptions& options,
                  const toolchain::LibraryCatalogue* catalogue, int jobs,
                  std::vector<std::string>* writtenFiles) {
  app::WindowServices& window = services.window;
  window.lockWindow();
  window.repaintWindow();

  const bool reuse = options.has(app::kUseExistingAsmFiles);
  std::string folder = destination;
  if (reuse || !services.files.isFolder(folder)) folder = platform::folderPart(sourcePath);
  folder = platform::withTrailingSeparator(folder);

  // One conversion at a time writes into a destination: a second one would clear, assemble
  // and pack the first one's files as its own.
  const platform::FolderLockAttempt lock = services.files.lockFolder(folder);
  if (lock.heldElsewhere) {
    const int result = services.feedback.reportError(language::kMoreerrorsDestinationBusy, false,
                                                     app::pathDetail(folder));
    window.unlockWindow();
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
      if (const int result = refuseForeignSources(conversion)) {
        window.unlockWindow();
        return result;
      }
    }
  } else if (const int result = prepareOutputFolders(services, folder, options)) {
    window.unlockWindow();
    return result;
  }

  std::unique_ptr<ConversionLog> log;
  if (options.has(app::kLogFile)) {
    log = ConversionLog::create(services.files, folder + "Logs" + kSeparator + "briskoLog.txt",
                                services.clock);
  }
  services.feedback.setActiveLog(log.get());

  const int result = runStages(conversion);

  writeClosingSection(conversion, result);
  services.feedback.setActiveLog(nullptr);
  if (log) {
    log->close();
    conversion.writtenFiles.push_back(folder + "Logs" + kSeparator + "briskoLog.txt");
  }
  if (writtenFiles != nullptr && result == 0) *writtenFiles = std::move(conversion.writtenFiles);
  window.refreshDestinationView();
  window.unlockWindow();
  return result;
}

}  // namespace brisko::pipeline
