// Running the PureBasic compiler on a source file and judging its output.
#pragma once

#include <string>

#include "app/configuration.h"
#include "app/services.h"
#include "platform/file_system.h"

namespace brisko::pipeline {

// Returns 50 when the source compiled, 49 when the compiler reported an error or ended with
// any other nonzero exit code (a crash included; its own output, or the unknown-error text
// when it printed nothing, is shown), 6 when the compiler could not be started, 15 when no
// read buffer was available, 89 when a listing was asked for (options with kCommented) and the
// compiler ended without writing it. outputFolder (with its trailing separator) is the
// compiler's working folder; empty means the temporary folder. In check mode the verdict is
// shown either way.
int compileSource(app::Services& services, const std::string& sourcePath,
                  const std::string& outputFolder, bool checkMode,
                  const app::ConversionOptions& options);

// The compiler's listing in folder: "PureBasic.asm" under any letter case (Windows finds it so;
// elsewhere the folder is searched), or the path it would have when it is missing.
std::string listingPathIn(const platform::FileSystem& files, const std::string& folder);

}  // namespace brisko::pipeline
