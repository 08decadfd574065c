// The window program: brisko with its main window (Windows).
#include "platform/gui.h"
#include "platform/system_objects.h"
#include "ui/window_program.h"

int main() {
  auto gui = brisko::platform::makeSystemGui();
  const brisko::platform::SystemObjects system;

  const brisko::ui::WindowProgramPlatform platform{
      {*gui, *system.files, *system.processes, *system.clock, *system.environment,
       *system.installationCommand, *system.ideProbe},
      *system.tempFolder};
  return brisko::ui::runWindowProgram(platform, brisko::platform::programParameterText());
}
