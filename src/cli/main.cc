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
#include "platform/system_file_system.h"
#include "ui/console_feedback.h"

int main(int argc, char** argv) {
  brisko::platform::initialiseConsole();
  const std::vector<std::string> arguments = brisko::platform::programArguments(argc, argv);

  auto files = brisko::platform::makeSystemFileSystem();
  auto processes = brisko::platform::makeProcessLauncher();
  auto clock = brisko::platform::makeSystemClock();
  auto environment = brisko::platform::makeSystemEnvironment();
  auto tempFolder = brisko::platform::makeSystemTempFolder();
  auto installationCommand = brisko::platform::makeSystemInstallationCommandSource();
  auto ideProbe = brisko::platform::makeSystemIdeProbe();
  brisko::ui::ConsoleFeedback feedback(stdout, stderr, BRISKO_ISATTY(BRISKO_FILENO(stdout)) != 0);

  brisko::cli::ConsolePlatform platform{*files,      *processes,           *clock,   *environment,
                                        *tempFolder, *installationCommand, feedback, *ideProbe};
  return brisko::cli::runConsole(arguments, platform, stdout, stderr);
}
