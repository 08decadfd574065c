#include "session/session.h"

#include "language/text_ids.h"
#include "pipeline/compile_source.h"
#include "pipeline/compiler_target.h"
#include "platform/paths.h"
#include "session/request_validation.h"
#include "session/startup.h"
#include "session/variant_builds.h"
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

namespace {

app::Processor otherThan(app::Processor processor) {
  return processor == app::Processor::x64 ? app::Processor::x86 : app::Processor::x64;
}

pipeline::Target targetOf(app::Processor processor) {
  return processor == app::Processor::x64 ? pipeline::Target::x64() : pipeline::Target::x86();
}

}  // namespace

std::optional<TextId> Session::prepareOtherInstallation(const std::string& folder, bool fatal,
                                                        app::WindowServices& progress) {
  const std::string pbFolder = platform::withTrailingSeparator(folder);
  if (other_ && other_->folder == pbFolder) return std::nullopt;
  auto other = std::make_unique<OtherInstallation>();
  other->folder = pbFolder;
  other->paths = app::toolchainPathsFor(pbFolder, paths_.tempFolder);
  if (const auto missing = checkTools(platform_.files, other->paths)) {
    const std::string& tool =
        *missing == TextId::noFasm ? other->paths.fasmPath : other->paths.compilerPath;
    std::string detail = "\n";
    detail += feedback_.text(TextId::lookedForTool, {tool});
    detail += '\n';
    detail += feedback_.text(TextId::otherFolderNamed, {pbFolder});
    feedback_.reportError(*missing, fatal, detail);
    return missing;
  }
  feedback_.setStatus(TextId::statusbarCompilerEnvironment);
  if (const auto failure = toolchain::buildLibraryCatalogue({platform_.files, feedback_, progress},
                                                            pbFolder, other->catalogue)) {
    return failure;
  }
  other_ = std::move(other);
  return std::nullopt;
}

std::optional<app::Processor> Session::processorOf(const app::ToolchainPaths& paths,
                                                   std::optional<app::Processor>& known,
                                                   app::WindowServices& progress) {
  if (known) return known;
  app::Services services = this->services(progress, paths);
  if (const auto target = pipeline::compilerTarget(services, paths_.tempFolder)) {
    known = *target == pipeline::Target::x64() ? app::Processor::x64 : app::Processor::x86;
  }
  return known;
}

pipeline::ConversionResult Session::convertBuilds(const app::ConversionRequest& request, int jobs,
                                                  app::WindowServices& progress) {
  pipeline::ConversionResult result;
  BuildsRequest builds{request.sourcePath,
                       request.destinationFolder,
                       request.options,
                       jobs,
                       {&paths_, &catalogue_, std::nullopt},
                       std::nullopt};
  if (!request.otherPbFolder.empty()) {
    if (const auto failure = prepareOtherInstallation(request.otherPbFolder, false, progress)) {
      result.outcome = *failure == TextId::functionLists ? feedback_.reportError(*failure, false)
                                                         : app::failed(*failure);
      return result;
    }
    // Named for a processor, the other installation makes the main one the other processor's;
    // named as "the other one", both compilers are asked which processor they write for.
    std::optional<app::Processor> main;
    std::optional<app::Processor> other = request.otherProcessor;
    if (other) {
      main = otherThan(*other);
    } else {
      main = processorOf(paths_, processor_, progress);
      other = processorOf(other_->paths, other_->processor, progress);
      if (main && other && *main == *other) {
        result.outcome = pipeline::reportTargetMismatch(feedback_, targetOf(otherThan(*main)),
                                                        targetOf(*other), other_->folder);
        return result;
      }
      if (!main) main = other ? otherThan(*other) : app::Processor::x86;
      if (!other) other = otherThan(*main);
    }
    builds.main.processor = main;
    builds.other = BuildInstallation{&other_->paths, &other_->catalogue, other};
  }
  return runBuilds(platform_, feedback_, progress, builds);
}

pipeline::ConversionResult Session::convert(const app::ConversionRequest& request, int jobs,
                                            app::WindowServices& progress) {
  pipeline::ConversionResult result;
  result.outcome = validateSourcePath(feedback_, platform_.files, request.sourcePath);
  // Reused sources are one build's, in Source/.
  const bool severalBuilds =
      !request.options.has(app::kUseExistingAsmFiles) &&
      (request.options.has(app::kVariants) || !request.otherPbFolder.empty());
  if (result.outcome.succeeded() && severalBuilds) {
    result = convertBuilds(request, jobs, progress);
  } else if (result.outcome.succeeded()) {
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
