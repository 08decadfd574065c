#include "ui/window_program.h"

#include "session/startup.h"
#include "ui/gui_feedback.h"

namespace brisko::ui {

int runWindowProgram(platform::Gui& gui, const platform::Platform& platform,
                     std::string_view parameterText) {
  GuiFeedback feedback(gui);
  session::StartupOptions options;
  options.resourcesObtained = gui.loadResources();
  session::StartupState state;
  if (session::startUp(platform, feedback, options, state)) {
    std::optional<language::TextId> failure;
    {
      MainWindow window(gui, platform, feedback, state.paths);
      failure = window.run(parameterText);
    }
    if (failure) feedback.reportError(*failure, true);
  }
  gui.releaseResources();
  return 0;
}

}  // namespace brisko::ui
