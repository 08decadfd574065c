// The POSIX IDE-running check on real processes.
#ifndef _WIN32
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ide_probe.h"
#include "run_program.h"

extern char** environ;

namespace brisko::platform {
namespace {

namespace fs = std::filesystem;

TEST(PosixIdeProbe, FindsAProcessRunningTheProgramThroughAnyPathToIt) {
  const testsupport::ScratchFolder scratch;
  const fs::path folder = scratch.path();
  const fs::path program = folder / "PureBasic";
  fs::copy_file("/bin/sleep", program);
  fs::create_symlink(program, folder / "IDE");
  const auto probe = makeSystemIdeProbe();
  EXPECT_FALSE(probe->ideRunning(program.string()));

  pid_t child = 0;
  char* arguments[] = {const_cast<char*>("PureBasic"), const_cast<char*>("30"), nullptr};
  ASSERT_EQ(::posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments, environ), 0);
  // The process shows its executable once the exec has happened.
  bool seen = false;
  for (int i = 0; i < 200 && !seen; ++i) {
    seen = probe->ideRunning((folder / "IDE").string());
    if (!seen) ::usleep(10000);
  }
  EXPECT_TRUE(seen);
  EXPECT_FALSE(probe->ideRunning((folder / "Elsewhere").string()));
  EXPECT_FALSE(probe->ideRunning(""));

  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_FALSE(probe->ideRunning(program.string()));
}

}  // namespace
}  // namespace brisko::platform
#endif
