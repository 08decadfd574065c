#include "ui/window_program.h"

#include "app/startup.h"
#include "ui/gui_feedback.h"

namespace brisko::ui {

int runWindowProgram(const WindowProgramPlatform& platform, std::string_view parameterText) {
  platform::Gui& gui = platform.window.gui;
  GuiFeedback feedback(gui);
  const bool resourcesObtained = gui.loadResources();
  const app::StartupInputs inputs{platform.window.files,
                                  platform.window.environment,
                                  platform.tempFolder,
                                  platform.window.installationCommand,
                                  feedback,
                                  resourcesObtained,
                                  std::nullopt};
  app::StartupState state;
  if (app::startUp(inputs, state)) {
    std::optional<language::TextId> failure;
    {
      MainWindow window(platform.window, feedback, state.paths);
      failure = window.run(parameterText);
    }
    if (failure) feedback.reportError(*failure, true);
  }
  gui.releaseResources();
  return 0;
}

}  // namespace brisko::ui
