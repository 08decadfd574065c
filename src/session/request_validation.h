// The checks a source path passes before anything is run for it.
#pragma once

#include <string>

#include "app/feedback.h"
#include "platform/file_system.h"

namespace brisko::session {

// Succeeds for a usable source; otherwise reports (not fatal, the path as detail) "Invalid
// file." for a folder, "File not found." for a missing path. On POSIX a path holding a double
// quote is refused as an invalid file too: the tool command lines could not carry it.
app::Outcome validateSourcePath(app::Feedback& feedback, const platform::FileSystem& files,
                                const std::string& path);

// Succeeds for a destination folder text the tools' command lines can carry; on POSIX one
// holding a double quote is refused (reported with the path) as "Invalid file.".
app::Outcome validateDestinationPath(app::Feedback& feedback, const std::string& path);

}  // namespace brisko::session
