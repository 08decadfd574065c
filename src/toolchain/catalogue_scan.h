// Building the library catalogue from an installation's library folders, with the reader of
// each folder's file format.
#pragma once

#include <optional>
#include <string>

#include "app/feedback.h"
#include "language/text_ids.h"
#include "platform/file_system.h"
#include "toolchain/library_catalogue.h"

namespace brisko::toolchain {

// Where the scan reports progress: "Scanning " + file name as status detail, and a poll of the
// user interface before each folder entry.
struct CatalogueScan {
  const platform::FileSystem& files;
  app::Feedback& feedback;
  app::WindowServices& window;
};

// Reads PureLibraries/, PureLibraries/UserLibraries/ and PureLibraries/Windows/ below pbFolder
// (which ends with a separator), sorts the functions and collects the .lib names of Compilers/.
// Returns nothing, or functionLists when a library file cannot be read, is empty, or a file of
// the Windows folder is no descriptor file; the scan stops there, and the caller reports it.
// Missing folders are skipped.
std::optional<language::TextId> buildLibraryCatalogue(const CatalogueScan& scan,
                                                      const std::string& pbFolder,
                                                      LibraryCatalogue& catalogue);

}  // namespace brisko::toolchain
