// The process-wide services that stages receive: platform access, feedback and the
// installation's tool paths. Built once at start-up.
#pragma once

#include "app/configuration.h"
#include "app/feedback.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system.h"

namespace brisko::app {

struct Services {
  platform::FileSystem& files;
  platform::ProcessLauncher& processes;
  const platform::Clock& clock;
  Feedback& feedback;
  WindowServices& window;
  const ToolchainPaths& paths;
};

}  // namespace brisko::app
