#include "app/startup.h"

#include "language/language_loader.h"
#include "language/text_ids.h"
#include "platform/paths.h"
#include "toolchain/discovery.h"

namespace brisko::app {

bool toolFilePresent(const platform::FileSystem& files, const std::string& path) {
  if (!files.exists(path) || files.isFolder(path)) return false;
  const auto size = files.fileSize(path);
  return size && *size > 0;
}

int checkTools(const platform::FileSystem& files, const ToolchainPaths& paths) {
  if (!toolFilePresent(files, paths.compilerPath)) return language::kErrorsNocompiler;
  if (!toolFilePresent(files, paths.fasmPath)) return language::kErrorsNoFasm;
  if (!toolFilePresent(files, paths.polibPath)) return language::kErrorsNoPolib;
  return 0;
}

bool startUp(const StartupInputs& inputs, StartupState& state) {
  // Start-up resources, then the temporary folder (only once the resources are there).
  std::string tempFolder;
  if (inputs.resourcesObtained) tempFolder = inputs.tempFolder.path();
  if (!inputs.resourcesObtained || tempFolder.empty()) {
    inputs.feedback.messageBox("Error!", kInitialisingProblem, MessageIcon::error);
    return false;
  }

  // Language texts.
  const std::string executableFolder = platform::folderPart(inputs.environment.executablePath());
  const std::string languagesFolder =
      executableFolder + "languages" + std::string(1, platform::kPathSeparator);
  state.texts.clear();
  if (!language::loadLanguageTable(inputs.files, languagesFolder, state.texts)) {
    inputs.feedback.messageBox("Error!", kLanguageFileProblem, MessageIcon::error);
    return false;
  }
  language::addMissingBuiltinTexts(state.texts);
  inputs.feedback.attachTexts(&state.texts);

  // The installation folder and the tool paths.
  std::string pbFolder;
  if (inputs.pbFolderOverride) {
    pbFolder = platform::withTrailingSeparator(*inputs.pbFolderOverride);
    state.pbFolderSource = InstallationSource::option;
  } else {
    pbFolder = toolchain::discoverInstallation(inputs.installationCommand,
                                               toolchain::CommandPart::installationFolder);
    state.pbFolderSource =
        pbFolder.empty() ? InstallationSource::none : InstallationSource::openCommand;
  }
  state.paths = toolchainPathsFor(pbFolder, tempFolder);

  state.missingTool = checkTools(inputs.files, state.paths);
  if (state.missingTool != 0) {
    inputs.feedback.reportError(state.missingTool, true);
    return false;
  }
  return true;
}

}  // namespace brisko::app
