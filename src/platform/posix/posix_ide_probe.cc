// The IDE-running check on POSIX: a process whose executable is the IDE's program, found
// through the /proc/<pid>/exe links.
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/ide_probe.h"

namespace brisko::platform {
namespace {

bool isProcessId(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

// The canonical path of the file a process runs; empty when it cannot be read (the process
// has ended, or belongs to another user).
std::string processExecutable(const char* processId) {
  const std::string link = std::string("/proc/") + processId + "/exe";
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

class ProcessIdeProbe : public IdeProbe {
 public:
  bool ideRunning(const std::string& ideProgram) const override {
    if (ideProgram.empty()) return false;
    // The kernel gives the executables with symbolic links resolved; so must the program's.
    char* resolved = ::realpath(ideProgram.c_str(), nullptr);
    if (resolved == nullptr) return false;
    const std::string program = resolved;
    ::free(resolved);

    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(processes)) {
      if (isProcessId(entry->d_name) && processExecutable(entry->d_name) == program) {
        found = true;
        break;
      }
    }
    ::closedir(processes);
    return found;
  }
};

}  // namespace

std::unique_ptr<IdeProbe> makeSystemIdeProbe() {
  return std::make_unique<ProcessIdeProbe>();
}

}  // namespace brisko::platform
