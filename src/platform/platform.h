// The operating system as the program uses it: one reference per service, so that the front
// ends, the start-up and the actions take one bundle. SystemPlatform makes the real ones, in
// one place; tests put fakes into a Platform of their own.
#pragma once

#include <memory>

#include "platform/file_system.h"
#include "platform/ide_probe.h"
#include "platform/installation_command.h"
#include "platform/process.h"
#include "platform/system.h"

namespace brisko::platform {

struct Platform {
  FileSystem& files;
  ProcessLauncher& processes;
  const Clock& clock;
  const Environment& environment;
  TempFolder& tempFolder;
  const InstallationCommandSource& installationCommand;
  const IdeProbe& ideProbe;
};

// The services of the platform the program was built for, owned for the program's life.
class SystemPlatform {
 public:
  SystemPlatform();
  ~SystemPlatform();
  SystemPlatform(const SystemPlatform&) = delete;
  SystemPlatform& operator=(const SystemPlatform&) = delete;

  const Platform& platform() const { return platform_; }

 private:
  std::unique_ptr<FileSystem> files_;
  std::unique_ptr<ProcessLauncher> processes_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<Environment> environment_;
  std::unique_ptr<TempFolder> tempFolder_;
  std::unique_ptr<InstallationCommandSource> installationCommand_;
  std::unique_ptr<IdeProbe> ideProbe_;
  Platform platform_;
};

}  // namespace brisko::platform
