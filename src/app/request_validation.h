// The checks a source path passes before anything is run for it.
#pragma once

#include <string>

#include "app/feedback.h"
#include "platform/file_system.h"

namespace brisko::app {

// Returns 0 for a usable source; otherwise reports (not fatal, the path as detail) and
// returns 12 "Invalid file." for a folder, 11 "File not found." for a missing path. On POSIX
// a path holding a double quote is refused with 12 too: the tool command lines could not
// carry it.
int validateSourcePath(Feedback& feedback, const platform::FileSystem& files,
                       const std::string& path);

// Returns 0 for a destination folder text the tools' command lines can carry; on POSIX one
// holding a double quote is refused (reported with the path) with 12 "Invalid file.".
int validateDestinationPath(Feedback& feedback, const std::string& path);

}  // namespace brisko::app
