// PBcompiler.exe as the conversion runs it: quoted source, /EXE, switches; listing in the
// working folder; "Error: Line" on standard output with exit code 1.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>

#include "run_x86.h"

namespace {

namespace fs = std::filesystem;
namespace ts = brisko::testsupport;

struct Invocation {
  ts::CommandResult result;
  fs::path folder;
};

Invocation compileInFolder(const std::string& source, const std::string& switches) {
  Invocation run;
  run.folder = ts::makeTempFolder("standin_cli");
  {
    std::ofstream out(run.folder / "program.pb", std::ios::binary);
    out << source;
  }
  run.result = ts::runCommand("cd " + ts::shellQuote(run.folder.string()) + " && " +
                              ts::shellQuote(STANDIN_PBCOMPILER) + " " +
                              ts::shellQuote((run.folder / "program.pb").string()) + " /EXE " +
                              ts::shellQuote((run.folder / "out.exe").string()) + switches);
  return run;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(CompilerCommandLine, CommentedWritesTheListingAndAPlaceholderExecutable) {
  const Invocation run =
      compileInFolder("x = 1\r\nMessageRequester(\"a\", \"b\")\r\n", " /THREAD /COMMENTED");
  EXPECT_EQ(run.result.exitCode, 0) << run.result.output;
  EXPECT_EQ(run.result.output.find("Error: Line"), std::string::npos);
  EXPECT_TRUE(fs::exists(run.folder / "out.exe"));
  const std::string listing = readFile(run.folder / "PureBasic.asm");
  EXPECT_NE(listing.find("extrn _PB_MessageRequester_THREAD@8\r\n"), std::string::npos);
  EXPECT_NE(listing.find("; x = 1\r\n"), std::string::npos);
  std::string log;
  EXPECT_TRUE(ts::assembleFasm(run.folder / "PureBasic.asm", run.folder / "p.obj", &log)) << log;
  fs::remove_all(run.folder);
}

TEST(CompilerCommandLine, WithoutCommentedNoListingIsWritten) {
  const Invocation run = compileInFolder("x = 1\n", " /UNICODE /INLINEASM");
  EXPECT_EQ(run.result.exitCode, 0) << run.result.output;
  EXPECT_FALSE(fs::exists(run.folder / "PureBasic.asm"));
  fs::remove_all(run.folder);
}

TEST(CompilerCommandLine, AnErrorPrintsItsLineAndExitsWithOne) {
  const Invocation run = compileInFolder("x = 1\ny = 2\nz = Unknown(3)\n", " /COMMENTED");
  EXPECT_EQ(run.result.exitCode, 1);
  const std::size_t at = run.result.output.find("Error: Line 3 - ");
  ASSERT_NE(at, std::string::npos) << run.result.output;
  EXPECT_NE(run.result.output.find("Unknown() is not a function", at), std::string::npos);
  // The caller cuts the message before the final line break: it must be CR LF.
  EXPECT_EQ(run.result.output.substr(run.result.output.size() - 2), "\r\n");
  EXPECT_FALSE(fs::exists(run.folder / "PureBasic.asm"));
  fs::remove_all(run.folder);
}

// A compiled CompilerError stops the compilation as any error does; /THREAD chooses here
// whether it is compiled.
TEST(CompilerCommandLine, ACompiledCompilerErrorStopsTheCompilation) {
  for (const bool thread : {false, true}) {
    const Invocation run = compileInFolder(
        "x = 1\r\nCompilerIf #PB_Compiler_Thread\r\n  CompilerError \"No threads\"\r\n"
        "CompilerEndIf\r\n",
        thread ? " /THREAD /COMMENTED" : " /COMMENTED");
    EXPECT_EQ(run.result.exitCode, thread ? 1 : 0) << run.result.output;
    EXPECT_EQ(run.result.output.find("Error: Line 3 - No threads\r\n") != std::string::npos,
              thread);
    EXPECT_NE(fs::exists(run.folder / "PureBasic.asm"), thread);
    fs::remove_all(run.folder);
  }
}

// The installation chooses the listing layout with a file beside the compiler.
TEST(CompilerCommandLine, TheLayoutSettingBesideTheCompilerChoosesTheGeneration) {
  const fs::path folder = ts::makeTempFolder("standin_layout");
  fs::copy_file(STANDIN_PBCOMPILER, folder / "PBcompiler.exe");
  std::ofstream(folder / "program.pb") << "x = 1\n";
  for (const char* setting : {"after-bss\r\n", "newest"}) {
    std::ofstream(folder / "listing-layout.txt") << setting;
    const ts::CommandResult result = ts::runCommand("cd " + ts::shellQuote(folder.string()) +
                                                    " && ./PBcompiler.exe program.pb /COMMENTED");
    EXPECT_EQ(result.exitCode, setting[0] == 'n' ? 1 : 0) << result.output;
    EXPECT_NE(result.output.find(setting[0] == 'n' ? "names no listing layout" : "5.31 (Windows"),
              std::string::npos);
  }
  EXPECT_TRUE(fs::exists(folder / "PureBasic.asm"));
  fs::remove_all(folder);
}

// target.txt beside the compiler names the processor; x64 goes with the after-end-code layout
// only.
TEST(CompilerCommandLine, TheTargetSettingBesideTheCompilerChoosesX64) {
  const fs::path folder = ts::makeTempFolder("standin_target");
  fs::copy_file(STANDIN_PBCOMPILER, folder / "PBcompiler.exe");
  std::ofstream(folder / "program.pb") << "x = 1\n";
  using Setting = std::array<const char*, 3>;  // target, layout (blank: none), output
  for (const auto& [target, layout, output] :
       {Setting{" X64 \r\n", "", "PureBasic 5.73 LTS (Windows - x64)"},
        Setting{"x64", "macros", "the x64 target writes the after-end-code layout only"},
        Setting{"arm64", "", "target.txt names no target (\"arm64\")."}}) {
    std::ofstream(folder / "target.txt") << target;
    std::ofstream(folder / "listing-layout.txt") << layout;
    fs::remove(folder / "PureBasic.asm");
    const ts::CommandResult result = ts::runCommand("cd " + ts::shellQuote(folder.string()) +
                                                    " && ./PBcompiler.exe program.pb /COMMENTED");
    const bool compiled = std::string(output).rfind("PureBasic", 0) == 0;
    EXPECT_EQ(result.exitCode, compiled ? 0 : 1) << result.output;
    EXPECT_NE(result.output.find(output), std::string::npos) << result.output;
    EXPECT_EQ(readFile(folder / "PureBasic.asm").find("format MS64 COFF\r\n") != std::string::npos,
              compiled);
  }
  fs::remove_all(folder);
}

TEST(CompilerCommandLine, AMissingSourceIsAnError) {
  const ts::CommandResult result =
      ts::runCommand(ts::shellQuote(STANDIN_PBCOMPILER) + " /nonexistent/file.pb /EXE x.exe");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("cannot be opened"), std::string::npos);
}

}  // namespace
