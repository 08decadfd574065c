// Running the PureBasic compiler on a source file and judging its output.
#pragma once

#include <string>

#include "app/configuration.h"
#include "app/services.h"
#include "platform/file_system.h"

namespace brisko::pipeline {

// What a run of the compiler came to.
enum class CompileVerdict {
  compiled,      // the source compiled (and the listing is there when one was asked for)
  compileError,  // the compiler ended with a nonzero exit code, or without the listing
  notStarted,    // the compiler could not be started
};

struct Compilation {
  CompileVerdict verdict = CompileVerdict::compiled;
  // ok() when compiled; otherwise the failure as reported: objectCompilerError for any
  // nonzero exit code, noListing for the missing listing, compilerProblem when the compiler
  // did not start.
  app::Outcome outcome;

  friend bool operator==(const Compilation&, const Compilation&) = default;
};

// Runs the compiler on the source. A nonzero exit code (a crash included) is a compile error:
// the compiler's own output is shown and logged, or the unknown-error text when it printed
// nothing. When a listing is asked for (options with kCommented), a compiler that ends without
// writing it has failed too. outputFolder (with its trailing separator) is the compiler's
// working folder; empty means the temporary folder. In check mode the verdict is shown either
// way.
Compilation compileSource(app::Services& services, const std::string& sourcePath,
                          const std::string& outputFolder, bool checkMode,
                          const app::ConversionOptions& options);

// The compiler's listing in folder: "PureBasic.asm" under any letter case (Windows finds it so;
// elsewhere the folder is searched), or the path it would have when it is missing.
std::string listingPathIn(const platform::FileSystem& files, const std::string& folder);

}  // namespace brisko::pipeline
