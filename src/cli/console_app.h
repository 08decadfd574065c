// The console front end: start-up, then the one action the command line asks for.
#pragma once

#include <string>
#include <vector>

#include "app/feedback.h"
#include "platform/file_system.h"
#include "platform/ide_probe.h"
#include "platform/installation_command.h"
#include "platform/process.h"
#include "platform/system.h"

namespace brisko::cli {

// Exit statuses of the console program.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What the console program runs on; the real platform in main, fakes in tests.
struct ConsolePlatform {
  platform::FileSystem& files;
  platform::ProcessLauncher& processes;
  const platform::Clock& clock;
  const platform::Environment& environment;
  platform::TempFolder& tempFolder;
  const platform::InstallationCommandSource& installationCommand;
  app::Feedback& feedback;
  const platform::IdeProbe& ideProbe;
};

// Runs the program for the arguments after its name and returns the exit status. Usage
// texts and usage errors go to usageOut.
int runConsole(const std::vector<std::string>& arguments, ConsolePlatform& platform,
               std::FILE* usageOut, std::FILE* errorOut);

}  // namespace brisko::cli
