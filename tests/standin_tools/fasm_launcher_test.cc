// compilers/fasm.exe of the laid-out installation: it must behave as the flat assembler itself.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tool_runner.h"

namespace brisko::standin_test {
namespace {

using ::testing::HasSubstr;

std::string launcher() {
  return installationPath("compilers/fasm.exe");
}

TEST(FasmLauncherTest, AssemblesAnI386CoffObject) {
  ScratchFolder folder;
  folder.write("ok source.asm", "format MS COFF\nsection '.text' code\npublic _f\n_f: ret\n");
  const ToolResult r =
      runTool(launcher(), {"ok source.asm", folder.file("out dir.obj")}, folder.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::uint8_t> object = readBytes(folder.file("out dir.obj"));
  ASSERT_GE(object.size(), 20u);
  EXPECT_EQ(object[0] | object[1] << 8, 0x014C);
}

TEST(FasmLauncherTest, ErrorsKeepTheAssemblersExitCodeAndStandardError) {
  ScratchFolder folder;
  folder.write("bad.asm", "format MS COFF\nsection '.text' code\n  frobnicate eax\n");
  const ToolResult r = runTool(launcher(), {"bad.asm", "bad.obj"}, folder.path());
  EXPECT_EQ(r.exitCode, 2);  // the flat assembler's code for a source error
  EXPECT_THAT(r.err, HasSubstr("bad.asm [3]"));
  EXPECT_THAT(r.err, HasSubstr("error: illegal instruction."));
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("error")));

  const ToolResult missing = runTool(launcher(), {"absent.asm", "x.obj"}, folder.path());
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_THAT(missing.err, HasSubstr("source file not found"));
}

TEST(FasmLauncherTest, FallsBackToTheEmulatorWhenTheKernelRefusesTheProgram) {
  ScratchFolder folder;
  // Executable bytes in no format the kernel knows (no ELF header, no "#!").
  folder.write("fasm32", std::string("\x7f"
                                     "NOTELF\x01\x01\x01",
                                     10) +
                             std::string(64, '\0'));
  folder.write("qemu", "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\" >&2; done\nexit 7\n");
  chmod(folder.file("fasm32").c_str(), 0755);
  chmod(folder.file("qemu").c_str(), 0755);
  const ToolResult r = runTool(
      launcher(), {"with blank.asm", "\"quoted\".obj"}, folder.path(),
      {{"BRISKO_REAL_FASM", folder.file("fasm32")}, {"BRISKO_QEMU_I386", folder.file("qemu")}});
  EXPECT_EQ(r.exitCode, 7);
  EXPECT_EQ(r.err, "[" + folder.file("fasm32") + "]\n[with blank.asm]\n[\"quoted\".obj]\n");
}

TEST(FasmLauncherTest, MissingAssemblerIsReported) {
  ScratchFolder folder;
  const ToolResult r = runTool(launcher(), {"a.asm"}, folder.path(),
                               {{"BRISKO_REAL_FASM", folder.file("no-such-fasm")}});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_THAT(r.err, HasSubstr("fasm launcher: cannot run " + folder.file("no-such-fasm")));
}

}  // namespace
}  // namespace brisko::standin_test
