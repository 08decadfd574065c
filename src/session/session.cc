#include "session/session.h"

#include "language/text_ids.h"
#include "pipeline/compile_source.h"
#include "session/request_validation.h"
#include "toolchain/catalogue_scan.h"
#include "toolchain/ide_registration.h"

namespace brisko::session {

using language::TextId;

std::optional<TextId> Session::buildCatalogue(app::WindowServices& progress) {
  feedback_.setStatus(TextId::statusbarCompilerEnvironment);
  return toolchain::buildLibraryCatalogue({platform_.files, feedback_, progress}, paths_.pbFolder,
                                          catalogue_);
}

bool Session::check(const app::ConversionRequest& request, app::WindowServices& progress) {
  bool compiled = false;
  if (validateSourcePath(feedback_, platform_.files, request.sourcePath).succeeded()) {
    // The check never asks for the listing; the compiler works in the temporary folder.
    app::ConversionOptions options = request.options;
    options.flags &= app::kInlineAsm | app::kThreadsafe | app::kUnicode;
    app::Services services = this->services(progress);
    compiled = pipeline::compileSource(services, request.sourcePath, "", true, options).verdict ==
               pipeline::CompileVerdict::compiled;
  }
  feedback_.setStatus(TextId::statusbarAwaitingInstructions);
  return compiled;
}

pipeline::ConversionResult Session::convert(const app::ConversionRequest& request, int jobs,
                                            app::WindowServices& progress) {
  pipeline::ConversionResult result;
  result.outcome = validateSourcePath(feedback_, platform_.files, request.sourcePath);
  if (result.outcome.succeeded()) {
    app::Services services = this->services(progress);
    result = pipeline::runConversion(services, request.sourcePath, request.destinationFolder,
                                     request.options, &catalogue_, jobs);
  }
  feedback_.setStatus(TextId::statusbarAwaitingInstructions);
  return result;
}

app::Outcome Session::registerIde(const std::optional<std::string>& toolsFile) {
  toolchain::IdeLocation ide = toolchain::discoverIde(platform_.installationCommand);
  if (toolsFile) ide.toolsFile = *toolsFile;
  return toolchain::registerIdeTool(platform_.files, feedback_, platform_.ideProbe, ide,
                                    platform_.environment.executablePath());
}

}  // namespace brisko::session
