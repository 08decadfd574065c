#include "toolchain/catalogue_scan.h"

#include "platform/paths.h"
#include "toolchain/pure_library_file.h"
#include "toolchain/windows_library_file.h"

namespace brisko::toolchain {
namespace {

// Scans the files of one folder with a reader; a folder that cannot be listed is skipped.
std::optional<language::TextId> scanFolder(
    const CatalogueScan& scan, const std::string& folder, LibraryCatalogue& catalogue,
    std::optional<language::TextId> (*read)(const platform::FileSystem&, const std::string&,
                                            LibraryCatalogue&)) {
  const auto entries = scan.files.listFolder(folder);
  if (!entries) return std::nullopt;
  for (const platform::FolderEntry& entry : *entries) {
    scan.window.pollEvents();
    if (entry.isFolder) continue;
    scan.feedback.setStatusDetail("Scanning " + entry.name);
    if (const auto failure = read(scan.files, folder + entry.name, catalogue)) return failure;
  }
  return std::nullopt;
}

}  // namespace

std::optional<language::TextId> buildLibraryCatalogue(const CatalogueScan& scan,
                                                      const std::string& pbFolder,
                                                      LibraryCatalogue& catalogue) {
  const char sep = platform::kPathSeparator;
  const std::string pureFolder = pbFolder + "PureLibraries" + sep;
  for (const std::string& folder : {pureFolder, pureFolder + "UserLibraries" + sep}) {
    if (const auto failure = scanFolder(scan, folder, catalogue, readPureLibrary)) return failure;
  }
  if (const auto failure =
          scanFolder(scan, pureFolder + "Windows" + sep, catalogue, readWindowsLibrary)) {
    return failure;
  }
  catalogue.sortFunctions();

  if (const auto entries = scan.files.listFolder(pbFolder + "Compilers" + sep)) {
    for (const platform::FolderEntry& entry : *entries) {
      scan.window.pollEvents();
      const std::size_t dot = entry.name.rfind('.');
      if (!entry.isFolder && dot != std::string::npos && entry.name.substr(dot + 1) == "lib") {
        catalogue.addCompilerLibrary(entry.name);
      }
    }
  }
  return std::nullopt;
}

}  // namespace brisko::toolchain
