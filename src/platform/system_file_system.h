#pragma once

#include <memory>

#include "platform/file_system.h"

namespace brisko::platform {

// The real file system of the platform the program was built for.
std::unique_ptr<FileSystem> makeSystemFileSystem();

}  // namespace brisko::platform
