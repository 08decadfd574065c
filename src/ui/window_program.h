// The window program from start to end: start-up resources, start-up, the main window, and
// the fatal report of a window that could not run.
#pragma once

#include <string_view>

#include "platform/gui.h"
#include "ui/main_window.h"

namespace brisko::ui {

// Runs the program on the windowing and the platform for the command line's parameter text;
// always returns 0, the process's exit code, also after a fatal error has been shown.
int runWindowProgram(platform::Gui& gui, const platform::Platform& platform,
                     std::string_view parameterText);

}  // namespace brisko::ui
