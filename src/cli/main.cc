// The console program: brisko check|convert|register-ide on a terminal.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define BRISKO_ISATTY _isatty
#define BRISKO_FILENO _fileno
#else
#include <unistd.h>
#define BRISKO_ISATTY isatty
#define BRISKO_FILENO fileno
#endif

#include "cli/console_app.h"
#include "platform/system_objects.h"
#include "ui/console_feedback.h"

int main(int argc, char** argv) {
  brisko::platform::initialiseConsole();
  const std::vector<std::string> arguments = brisko::platform::programArguments(argc, argv);

  const brisko::platform::SystemObjects system;
  brisko::ui::ConsoleFeedback feedback(stdout, stderr, BRISKO_ISATTY(BRISKO_FILENO(stdout)) != 0);

  brisko::cli::ConsolePlatform platform{
      *system.files,      *system.processes,           *system.clock, *system.environment,
      *system.tempFolder, *system.installationCommand, feedback,      *system.ideProbe};
  return brisko::cli::runConsole(arguments, platform, stdout, stderr);
}
