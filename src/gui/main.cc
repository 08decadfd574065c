// The window program: brisko with its main window (Windows).
#include "platform/gui.h"
#include "platform/system_file_system.h"
#include "ui/window_program.h"

int main() {
  auto gui = brisko::platform::makeSystemGui();
  auto files = brisko::platform::makeSystemFileSystem();
  auto processes = brisko::platform::makeProcessLauncher();
  auto clock = brisko::platform::makeSystemClock();
  auto environment = brisko::platform::makeSystemEnvironment();
  auto tempFolder = brisko::platform::makeSystemTempFolder();
  auto installationCommand = brisko::platform::makeSystemInstallationCommandSource();
  auto ideProbe = brisko::platform::makeSystemIdeProbe();

  const brisko::ui::WindowProgramPlatform platform{
      {*gui, *files, *processes, *clock, *environment, *installationCommand, *ideProbe},
      *tempFolder};
  return brisko::ui::runWindowProgram(platform, brisko::platform::programParameterText());
}
