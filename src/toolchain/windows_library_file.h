// Reading one Windows descriptor file (PureLibraries/Windows/) into the catalogue: the library
// and the functions it describes, each with its parameter count.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "language/text_ids.h"
#include "platform/file_system.h"
#include "toolchain/library_catalogue.h"

namespace brisko::toolchain {

// One Windows descriptor file: nothing or functionLists (unreadable, empty, or no descriptor
// file).
std::optional<language::TextId> readWindowsLibrary(const platform::FileSystem& files,
                                                   const std::string& path,
                                                   LibraryCatalogue& catalogue);

// The parser behind the reader, on bytes already read; path names the file (the entries
// follow a copy of its file part). It never reads outside data. Returns functionLists for data
// without the descriptor signature (and adds nothing), otherwise nothing.
std::optional<language::TextId> parseWindowsLibrary(std::string_view data, const std::string& path,
                                                    LibraryCatalogue& catalogue);

}  // namespace brisko::toolchain
