// The real platform objects a program runs on, made together at its start.
#pragma once

#include <memory>

#include "platform/file_system.h"
#include "platform/ide_probe.h"
#include "platform/installation_command.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/system_file_system.h"

namespace brisko::platform {

struct SystemObjects {
  std::unique_ptr<FileSystem> files = makeSystemFileSystem();
  std::unique_ptr<ProcessLauncher> processes = makeProcessLauncher();
  std::unique_ptr<Clock> clock = makeSystemClock();
  std::unique_ptr<Environment> environment = makeSystemEnvironment();
  std::unique_ptr<TempFolder> tempFolder = makeSystemTempFolder();
  std::unique_ptr<InstallationCommandSource> installationCommand =
      makeSystemInstallationCommandSource();
  std::unique_ptr<IdeProbe> ideProbe = makeSystemIdeProbe();
};

}  // namespace brisko::platform
