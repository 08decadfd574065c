#include "platform/platform.h"

#include "platform/system_file_system.h"

namespace brisko::platform {

SystemPlatform::SystemPlatform()
    : files_(makeSystemFileSystem()),
      processes_(makeProcessLauncher()),
      clock_(makeSystemClock()),
      environment_(makeSystemEnvironment()),
      tempFolder_(makeSystemTempFolder()),
      installationCommand_(makeSystemInstallationCommandSource()),
      ideProbe_(makeSystemIdeProbe()),
      platform_{*files_,      *processes_,           *clock_,   *environment_,
                *tempFolder_, *installationCommand_, *ideProbe_} {}

SystemPlatform::~SystemPlatform() = default;

}  // namespace brisko::platform
