// Running the PureBasic compiler on a source file and judging its output.
#pragma once

#include <string>

#include "app/configuration.h"
#include "app/services.h"

namespace brisko::pipeline {

// Returns 50 when the source compiled, 49 for a compile error, 6 when the compiler could not
// be started, 15 when no read buffer was available. outputFolder (with its trailing
// separator) is the compiler's working folder; empty means the temporary folder. In check
// mode the verdict is shown either way.
int compileSource(app::Services& services, const std::string& sourcePath,
                  const std::string& outputFolder, bool checkMode,
                  const app::ConversionOptions& options);

}  // namespace brisko::pipeline
