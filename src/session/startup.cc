#include "session/startup.h"

#include "language/language_loader.h"
#include "language/text_ids.h"
#include "platform/installation_command.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "toolchain/discovery.h"

namespace brisko::session {
namespace {

using language::TextId;

// The lines that follow the missing tool's text, each after a line feed.
std::string missingToolExplanation(const app::Feedback& feedback, const StartupState& state,
                                   bool pbFolderOption) {
  const app::ToolchainPaths& paths = state.paths;
  const std::string& toolPath =
      state.missingTool == TextId::noFasm ? paths.fasmPath : paths.compilerPath;
  const std::string place = platform::ideOpenCommandPlace();
  std::string text;
  const auto addLine = [&text](const std::string& line) {
    text += '\n';
    text += line;
  };
  addLine(feedback.text(TextId::lookedForTool, {toolPath}));
  switch (state.pbFolderSource) {
    case InstallationSource::option:
      addLine(feedback.text(TextId::folderFromOption, {paths.pbFolder}));
      break;
    case InstallationSource::openCommand:
      addLine(feedback.text(TextId::folderFromCommand,
                            {paths.pbFolder, place, state.openCommand.value_or("")}));
      break;
    case InstallationSource::none:
      if (!state.openCommand) {
        addLine(feedback.text(TextId::noCommand, {place}));
      } else if (platform::trimSpaces(*state.openCommand).empty()) {
        addLine(feedback.text(TextId::emptyCommand, {place}));
      } else {
        addLine(feedback.text(TextId::commandWithoutFolder, {place, *state.openCommand}));
      }
      break;
  }
  addLine(feedback.text(TextId::pointAtInstallation, {place}));
  if (pbFolderOption) addLine(feedback.text(TextId::pbFolderOption));
  return text;
}

}  // namespace

bool toolFilePresent(const platform::FileSystem& files, const std::string& path) {
  if (!files.exists(path) || files.isFolder(path)) return false;
  const auto size = files.fileSize(path);
  return size && *size > 0;
}

std::optional<language::TextId> checkTools(const platform::FileSystem& files,
                                           const app::ToolchainPaths& paths) {
  if (!toolFilePresent(files, paths.compilerPath)) return language::TextId::noCompiler;
  if (!toolFilePresent(files, paths.fasmPath)) return language::TextId::noFasm;
  // polib is optional: without it brisko packs a library itself.
  return std::nullopt;
}

bool startUp(const platform::Platform& platform, app::Feedback& feedback,
             const StartupOptions& options, StartupState& state) {
  // Start-up resources, then the temporary folder (only once the resources are there).
  std::string tempFolder;
  if (options.resourcesObtained) tempFolder = platform.tempFolder.path();
  if (!options.resourcesObtained || tempFolder.empty()) {
    feedback.messageBox("Error!", kInitialisingProblem, app::MessageIcon::error);
    return false;
  }

  // Language texts.
  const std::string executableFolder = platform::folderPart(platform.environment.executablePath());
  const std::string languagesFolder =
      executableFolder + "languages" + std::string(1, platform::kPathSeparator);
  state.texts.clear();
  if (!language::loadLanguageTable(platform.files, languagesFolder, state.texts)) {
    feedback.messageBox("Error!", kLanguageFileProblem, app::MessageIcon::error);
    return false;
  }
  language::addMissingBuiltinTexts(state.texts);
  feedback.attachTexts(&state.texts);

  // The installation folder and the tool paths.
  std::string pbFolder;
  state.openCommand.reset();
  if (options.pbFolderOverride) {
    pbFolder = platform::withTrailingSeparator(*options.pbFolderOverride);
    state.pbFolderSource = InstallationSource::option;
  } else {
    state.openCommand = platform.installationCommand.ideOpenCommand();
    if (state.openCommand) {
      pbFolder = toolchain::selectFromCommand(*state.openCommand,
                                              toolchain::CommandPart::installationFolder);
    }
    state.pbFolderSource =
        pbFolder.empty() ? InstallationSource::none : InstallationSource::openCommand;
  }
  state.paths = app::toolchainPathsFor(pbFolder, tempFolder);

  state.missingTool = checkTools(platform.files, state.paths);
  if (state.missingTool) {
    feedback.reportError(*state.missingTool, true,
                         missingToolExplanation(feedback, state, options.pbFolderOption));
    return false;
  }
  return true;
}

}  // namespace brisko::session
