// The actions both front ends offer, on one installation: the library catalogue read once, a
// check, a conversion and the IDE registration. Each validates what it is given, reports its
// failures through the feedback and sets the status back when it is done; what belongs to a
// front end alone (locking the window, making a missing --dest) stays with it.
#pragma once

#include <optional>
#include <string>

#include "app/configuration.h"
#include "app/feedback.h"
#include "app/outcome.h"
#include "pipeline/run_conversion.h"
#include "platform/platform.h"
#include "toolchain/library_catalogue.h"

namespace brisko::session {

class Session {
 public:
  Session(const platform::Platform& platform, app::Feedback& feedback,
          const app::ToolchainPaths& paths)
      : platform_(platform), feedback_(feedback), paths_(paths) {}

  // Reads the installation's library files, with the status "initialising compiler
  // environment." and one poll per step. Nothing on success; otherwise the failure's text,
  // not yet shown, for the front end to report as fatal.
  std::optional<language::TextId> buildCatalogue(app::WindowServices& progress);
  const toolchain::LibraryCatalogue& catalogue() const { return catalogue_; }

  // Runs the compiler on the request's source in check mode (only the compiler switches of
  // the options count) and shows its verdict. True when the source compiled.
  bool check(const app::ConversionRequest& request, app::WindowServices& progress);

  // Converts the request's source into its destination with up to jobs FASM runs at once.
  pipeline::ConversionResult convert(const app::ConversionRequest& request, int jobs,
                                     app::WindowServices& progress);

  // Registers the running program in the IDE's tools file: the one the IDE's open command
  // names, or toolsFile when given.
  app::Outcome registerIde(const std::optional<std::string>& toolsFile);

 private:
  app::Services services(app::WindowServices& progress) const {
    return {platform_.files, platform_.processes, platform_.clock, feedback_, progress, paths_};
  }

  const platform::Platform& platform_;
  app::Feedback& feedback_;
  const app::ToolchainPaths& paths_;
  toolchain::LibraryCatalogue catalogue_;
};

}  // namespace brisko::session
