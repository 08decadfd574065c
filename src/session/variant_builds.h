// One source built for several kinds of program in one run: with and without the thread-safe
// option (--variants), and with a second installation for the other processor. Each build is
// a conversion of its own; the builds run at the same time within the jobs budget, and what
// they show reaches the user as if one had run after another. Their outputs are gathered in
// Bin/ and one wrapper chooses among them.
#pragma once

#include <optional>
#include <string>

#include "app/configuration.h"
#include "app/feedback.h"
#include "pipeline/run_conversion.h"
#include "platform/platform.h"
#include "toolchain/library_catalogue.h"

namespace brisko::session {

// An installation the builds are made with.
struct BuildInstallation {
  const app::ToolchainPaths* paths = nullptr;
  const toolchain::LibraryCatalogue* catalogue = nullptr;
  // The processor it compiles for, when known before its listing is read (always so for a run
  // with two installations).
  std::optional<app::Processor> processor;
};

struct BuildsRequest {
  std::string sourcePath;
  std::string destination;
  // kVariants builds both thread variants; without it each installation builds the one that
  // kThreadsafe asks for.
  app::ConversionOptions options;
  int jobs = 1;
  BuildInstallation main;
  std::optional<BuildInstallation> other;
};

// The folder below Source/ that holds the work folders of the builds other than the first.
inline constexpr std::string_view kVariantsFolderName = "briskoVariants";

// Makes the builds: those of the main installation first (without the thread-safe option
// before with it), then the other's. The first build writes into the destination as a
// conversion of its own does (its sources stay in Source/, its log is Logs/briskoLog.txt);
// every other build has a work folder Source/briskoVariants/<x86|x64>[_thread]/ and its output
// is moved into Bin/. Outputs are named Bin/<base>[_x64][_thread].lib (or .obj): "_x64" for
// x64 builds when the run builds for both processors, "_thread" for thread-safe builds of a run
// with both thread variants. Each build's status lines and messages are shown once the builds
// before it are through, after "Status = building <file>."; after the first failure nothing
// of the later builds is shown or kept. With the wrapper asked for, Bin/<base>.pbi imports the
// build that matches the program that includes it, and stops the compilation of a program for
// which no build was made with a CompilerError that says how to make it. With the log asked
// for, Logs/briskoLog.txt ends with each build's output and time. The result is the first
// build's, with the outputs of all in its written files.
pipeline::ConversionResult runBuilds(const platform::Platform& platform, app::Feedback& feedback,
                                     app::WindowServices& window, const BuildsRequest& request);

}  // namespace brisko::session
