// The actions both front ends offer, on one installation: the library catalogue read once, a
// check, a conversion and the IDE registration. Each validates what it is given, reports its
// failures through the feedback and sets the status back when it is done; what belongs to a
// front end alone (locking the window, making a missing --dest) stays with it.
#pragma once

#include <memory>
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

  // Converts the request's source into its destination with up to jobs FASM runs at once. With
  // kVariants or another processor's installation (not with reused sources) it makes every
  // build the request asks for (see variant_builds.h), after preparing that installation.
  pipeline::ConversionResult convert(const app::ConversionRequest& request, int jobs,
                                     app::WindowServices& progress);

  // Makes the other processor's installation in folder ready for builds: its three tools
  // checked (a missing one reported, fatal or not, with where brisko looked) and its library
  // files read, once per folder. Nothing on success; otherwise the failure's text, reported
  // when it is a missing tool, not yet shown when it is the catalogue's.
  std::optional<language::TextId> prepareOtherInstallation(const std::string& folder, bool fatal,
                                                           app::WindowServices& progress);

  // Registers the running program in the IDE's tools file: the one the IDE's open command
  // names, or toolsFile when given.
  app::Outcome registerIde(const std::optional<std::string>& toolsFile);

 private:
  app::Services services(app::WindowServices& progress, const app::ToolchainPaths& paths) const {
    return {platform_.files, platform_.processes, platform_.clock, feedback_, progress, paths};
  }
  app::Services services(app::WindowServices& progress) const { return services(progress, paths_); }
  pipeline::ConversionResult convertBuilds(const app::ConversionRequest& request, int jobs,
                                           app::WindowServices& progress);
  // The processor the installation's compiler writes code for, asked of it once (nothing when
  // it wrote no listing).
  std::optional<app::Processor> processorOf(const app::ToolchainPaths& paths,
                                            std::optional<app::Processor>& known,
                                            app::WindowServices& progress);

  const platform::Platform& platform_;
  app::Feedback& feedback_;
  const app::ToolchainPaths& paths_;
  toolchain::LibraryCatalogue catalogue_;
  std::optional<app::Processor> processor_;
  // The other processor's installation, once prepared.
  struct OtherInstallation {
    std::string folder;
    app::ToolchainPaths paths;
    toolchain::LibraryCatalogue catalogue;
    std::optional<app::Processor> processor;
  };
  std::unique_ptr<OtherInstallation> other_;
};

}  // namespace brisko::session
