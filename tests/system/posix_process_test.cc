// Runs real child processes through the platform's launcher.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/process.h"

namespace brisko::platform {
namespace {

std::string readAll(ChildProcess& child) {
  std::string out;
  char buffer[1024];
  while (child.isRunning()) {
    const std::size_t n = child.readOutput(buffer, sizeof buffer);
    out.append(buffer, n);
  }
  return out;
}

TEST(PosixProcess, CapturesStandardOutputAndExitCodeInTheWorkingFolder) {
  auto launcher = makeProcessLauncher();
  auto child = launcher->start(R"("/bin/sh" -c "pwd; echo 'a  b'; exit 3")", "/usr",
                               CapturedStream::standardOutput);
  ASSERT_TRUE(child);
  EXPECT_EQ(readAll(*child), "/usr\na  b\n");
  EXPECT_EQ(child->exitCode(), 3);
}

TEST(PosixProcess, LargeStandardErrorIsDrainedWhileTheChildRuns) {
  auto launcher = makeProcessLauncher();
  // 1 MiB of error output would fill any pipe: the child only ends if it is drained.
  auto child =
      launcher->start(R"("/bin/sh" -c "head -c 1048576 /dev/zero | tr '\0' x >&2; exit 1")", "",
                      CapturedStream::standardError);
  ASSERT_TRUE(child);
  while (child->isRunning()) {
  }
  EXPECT_EQ(child->errorBytes().size(), 1048576u);
  EXPECT_EQ(child->exitCode(), 1);
}

TEST(PosixProcess, StartFailsForMissingProgramOrWorkingFolder) {
  auto launcher = makeProcessLauncher();
  EXPECT_FALSE(launcher->start("\"/no/such/tool.exe\" x", "", CapturedStream::standardOutput));
  EXPECT_FALSE(
      launcher->start("\"/bin/sh\" -c true", "/no/such/folder/", CapturedStream::standardOutput));
  EXPECT_FALSE(launcher->start("", "", CapturedStream::standardOutput));
}

TEST(PosixProcess, RelativeProgramIsFoundFromTheCallersFolder) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir("/bin"), 0);
  auto launcher = makeProcessLauncher();
  auto child = launcher->start("\"sh\" -c \"echo ok\"", "/usr", CapturedStream::standardOutput);
  ASSERT_EQ(::chdir(cwd), 0);
  ASSERT_TRUE(child);
  EXPECT_EQ(readAll(*child), "ok\n");
  EXPECT_EQ(child->exitCode(), 0);
}

}  // namespace
}  // namespace brisko::platform
#endif
