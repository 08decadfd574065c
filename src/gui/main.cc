// The window program: brisko with its main window (Windows).
#include "platform/gui.h"
#include "platform/platform.h"
#include "ui/window_program.h"

int main() {
  auto gui = brisko::platform::makeSystemGui();
  const brisko::platform::SystemPlatform system;
  return brisko::ui::runWindowProgram(*gui, system.platform(),
                                      brisko::platform::programParameterText());
}
