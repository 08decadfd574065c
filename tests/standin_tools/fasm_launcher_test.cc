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
  // The memory limit the launcher adds comes first.
  const std::string start = "[" + folder.file("fasm32") + "]\n[-m]\n[";
  const std::string end = "]\n[with blank.asm]\n[\"quoted\".obj]\n";
  ASSERT_GT(r.err.size(), start.size() + end.size());
  EXPECT_EQ(r.err.substr(0, start.size()), start);
  EXPECT_EQ(r.err.substr(r.err.size() - end.size()), end);
  const std::string limit = r.err.substr(start.size(), r.err.size() - start.size() - end.size());
  EXPECT_EQ(limit.find_first_not_of("0123456789"), std::string::npos) << limit;
}

// The Linux fasm's default of 16 MiB runs out on a large source; the launcher sizes the memory
// as the Windows FASM does, but leaves a limit given on the command line alone.
TEST(FasmLauncherTest, GivesTheAssemblerMemoryForLargeSources) {
  ScratchFolder folder;
  std::string source = "format MS COFF\nsection '.data' data readable writeable\n";
  for (int i = 0; i < 200000; ++i) {
    const std::string label = "label_" + std::to_string(i);
    source += label + ": dd " + label + "\n";
  }
  folder.write("big.asm", source);

  const ToolResult limited = runTool(launcher(), {"-m", "16384", "big.asm"}, folder.path());
  EXPECT_NE(limited.exitCode, 0);
  EXPECT_THAT(limited.out, HasSubstr("(16384 kilobytes memory)"));
  EXPECT_THAT(limited.err, HasSubstr("out of memory"));

  const ToolResult sized = runTool(launcher(), {"big.asm", "big.obj"}, folder.path());
  ASSERT_EQ(sized.exitCode, 0) << sized.err;
  EXPECT_GT(readBytes(folder.file("big.obj")).size(), 200000u * 4);
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
