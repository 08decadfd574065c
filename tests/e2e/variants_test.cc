// One library for every build of the programs that use it: a source converted with and without
// the thread-safe option and for both processors in one run, and one wrapper through which a
// second program, compiled in each of the four ways, links with the matching library and runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "brisko_fixture.h"
#include "programs.h"
#include "run_x86.h"

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

// String functions, which the thread-safe runtime provides under other names.
const char* const kLibrarySource = R"(Public calls.l

ProcedureDLL.l Area(w.l, h.l)
  calls = calls + 1
  ProcedureReturn w * h
EndProcedure

ProcedureCDLL.l Perimeter(a, b, c)
  ProcedureReturn a + b + c
EndProcedure

ProcedureDLL NameLength(name$)
  ProcedureReturn Len(name$) + MessageRequester("Length", name$)
EndProcedure
)";

const char* const kProgramSource = R"(XIncludeFile "lib/Bin/shapes.pbi"
a = Area(3, 4)
p = Perimeter(5, 6, 7)
n = NameLength("four")
End a + p + n + calls * 100
)";
constexpr int kProgramExit = 12 + 18 + (4 + 1) + 100;

class VariantsTest : public BriskoTest {
 protected:
  // Compiles the program that includes the wrapper with the installation's compiler.
  ts::ProgramResult compileProgram(const std::string& installation, bool threadSafe) {
    std::vector<std::string> arguments = {"program.pb", "/EXE", "program.exe", "/COMMENTED"};
    if (threadSafe) arguments.push_back("/THREAD");
    return ts::runProgram(installation + "/compilers/PBcompiler.exe", arguments, work.path());
  }
};

TEST_F(VariantsTest, OneWrapperServesEveryBuildOfTheProgramThatIncludesIt) {
  work.write("lib/shapes.pb", kLibrarySource);
  work.write("program.pb", kProgramSource);
  const std::string x64 = installationWithLayout("x64");
  const ts::ProgramResult converted =
      brisko({"convert", work.file("lib/shapes.pb"), "--lib", "--wrapper", "--variants", "--log",
              "--jobs", "2", "--pb-folder-x64", x64});
  ASSERT_EQ(converted.exitCode, 0) << converted.out << converted.err;
  const std::string log = ts::readFileText(work.file("lib/Logs/briskoLog.txt"));

  const struct {
    const char* library;
    std::string installation;
    bool threadSafe;
    ts::Target target;
    const char* programs;
  } kBuilds[] = {
      {"shapes.lib", BRISKO_INSTALLATION, false, ts::Target::x86, "non-thread-safe x86"},
      {"shapes_thread.lib", BRISKO_INSTALLATION, true, ts::Target::x86, "thread-safe x86"},
      {"shapes_x64.lib", x64, false, ts::Target::x64, "non-thread-safe x64"},
      {"shapes_x64_thread.lib", x64, true, ts::Target::x64, "thread-safe x64"},
  };
  std::size_t statusAt = 0;
  for (const auto& build : kBuilds) {
    SCOPED_TRACE(build.library);
    const fs::path library = work.file(std::string("lib/Bin/") + build.library);
    // The status lines of each build come after those of the builds before it.
    statusAt = converted.out.find(std::string("Status = building ") + build.library, statusAt);
    EXPECT_NE(statusAt, std::string::npos) << converted.out;
    EXPECT_NE(log.find(std::string(build.library) + " (" + build.programs + "): "),
              std::string::npos)
        << log;

    // The members of a thread-safe build call the thread-safe string functions, the others not.
    const ts::CommandResult needs = ts::runCommand("llvm-nm --undefined-only --just-symbol-name " +
                                                   ts::shellQuote(library.string()));
    ASSERT_EQ(needs.exitCode, 0) << needs.output;
    EXPECT_NE(needs.output.find(build.threadSafe ? "Len_THREAD" : "Len"), std::string::npos);
    EXPECT_EQ(needs.output.find("_THREAD") != std::string::npos, build.threadSafe) << needs.output;

    // The program compiled this way imports this build, and runs with it.
    const ts::ProgramResult compiled = compileProgram(build.installation, build.threadSafe);
    ASSERT_EQ(compiled.exitCode, 0) << compiled.out << compiled.err;
    const std::string listing = ts::readFileText(work.file("PureBasic.asm"));
    EXPECT_NE(listing.find(std::string("; :Import\r\n; ") + build.library + "\r\n"),
              std::string::npos);
    const fs::path object = work.file(std::string(build.library) + ".obj");
    std::string assembled;
    ASSERT_TRUE(ts::assembleFasm(work.file("PureBasic.asm"), object, &assembled)) << assembled;
    const bool x64Build = build.target == ts::Target::x64;
    std::string harness = R"(#include "x86_harness.h"
void HARNESS_CDECL pb_main(void) __asm__(")" +
                          std::string(x64Build ? "PureBasicStart" : "main") + R"(");
int harness_main(void) { pb_main(); return 99; }
)";
    if (x64Build) harness = forX64(harness);
    const ts::X86Run ran = ts::linkAndRun({object, library}, harness, work.path(), build.target);
    ASSERT_TRUE(ran.linked) << ran.log;
    EXPECT_EQ(ran.exitCode, kProgramExit);
    EXPECT_EQ(ran.output, "Length: four\n");
  }

  // Without the x64 installation, an x64 program that includes the wrapper stops at its
  // CompilerError, which names the option that makes the build.
  const ts::ProgramResult x86Only = brisko(
      {"convert", work.file("lib/shapes.pb"), "--lib", "--wrapper", "--variants", "--jobs", "1"});
  ASSERT_EQ(x86Only.exitCode, 0) << x86Only.out << x86Only.err;
  const ts::ProgramResult stopped = compileProgram(x64, false);
  EXPECT_EQ(stopped.exitCode, 1);
  EXPECT_NE(stopped.out.find("Error: Line 1 - shapes was not converted for x64 programs; convert "
                             "it again with an x64 installation (--pb-folder-x64 DIR). "
                             "(lib/Bin/shapes.pbi, line 10)"),
            std::string::npos)
      << stopped.out;
}

// A failing build is reported as if the builds had run one after another: the builds before it
// are made, nothing of those after it is shown or kept.
TEST_F(VariantsTest, TheFirstFailingBuildEndsTheRun) {
  work.write("lib/shapes.pb", std::string("CompilerIf #PB_Compiler_Thread\n"
                                          "  CompilerError \"not thread-safe yet\"\n"
                                          "CompilerEndIf\n") +
                                  kLibrarySource);
  const std::string x64 = installationWithLayout("x64");
  const std::string noCompiler = installationWith("PBcompiler.exe", "exit 3");
  fs::remove(noCompiler + "/compilers/PBcompiler.exe");
  const struct {
    std::vector<std::string> options;
    std::string error;  // the one message shown, on standard error
    std::vector<std::string> made;
    std::string failed;  // the build whose status is shown last
  } kCases[] = {
      {{"--variants", "--pb-folder-x64", x64},
       "brisko (PB --> .obj)\nThe compiler reported an error.\n\nError: Line 2 - not "
       "thread-safe yet\n",
       {"shapes.lib"},
       "shapes_thread.lib"},
      // An "x64" installation that compiles for x86 is named; the x86 builds before it are made.
      {{"--pb-folder-x64", BRISKO_INSTALLATION},
       "Error!\nAn installation's compiler writes code for another processor than the one it was "
       "named for.\nIt was named for x64 code and writes x86 code.\n(" +
           std::string(BRISKO_INSTALLATION) + "/)\n",
       {"shapes.lib"},
       "shapes_x64.lib"},
      // The other installation's tools are checked at start-up.
      {{"--pb-folder-x64", noCompiler},
       "Error!\nCannot locate the Purebasic compiler.\nbrisko looked for it at " + noCompiler +
           "/compilers/PBcompiler.exe\nThe installation folder " + noCompiler +
           "/ was named as the other processor's installation.\n\nTerminating brisko.\n",
       {},
       ""},
  };
  for (const auto& [options, error, made, failed] : kCases) {
    fs::remove_all(work.file("lib/Bin"));
    std::vector<std::string> arguments = {
        "convert", work.file("lib/shapes.pb"), "--lib", "--wrapper", "--jobs", "4"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const ts::ProgramResult run = brisko(arguments);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, error);
    EXPECT_EQ(folderEntries(work.file("lib/Bin")), made) << run.out;
    const std::size_t last = run.out.rfind("Status = building ");
    EXPECT_EQ(last == std::string::npos ? "" : run.out.substr(last + 18, failed.size() + 1),
              failed.empty() ? "" : failed + ".")
        << run.out;
  }
}

}  // namespace
}  // namespace brisko::e2e
