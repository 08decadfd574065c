// Reading one PureBasic library file (PureLibraries/ and UserLibraries/) into the catalogue:
// the library and the functions it offers, each with the parameter template of its dummy call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "language/text_ids.h"
#include "platform/file_system.h"
#include "toolchain/library_catalogue.h"

namespace brisko::toolchain {

// One PureBasic library file: nothing (also for a file without the signatures, which is
// ignored) or functionLists when it cannot be read or is empty.
std::optional<language::TextId> readPureLibrary(const platform::FileSystem& files,
                                                const std::string& path,
                                                LibraryCatalogue& catalogue);

// The parser behind the reader, on bytes already read; path names the file (its file part
// tells the library's own start and end hooks). It never reads outside data.
void parsePureLibrary(std::string_view data, const std::string& path, LibraryCatalogue& catalogue);

}  // namespace brisko::toolchain
