// Conversions as a new user runs them, with ordinary programs and ordinary habits: nothing of
// the user's is lost, nothing of another source is mixed in, and every failure is one.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "brisko_fixture.h"
#include "run_x86.h"

extern char** environ;

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

using SafetyTest = BriskoTest;

const char* const kDoubledSource = R"(Public total.l
Procedure Twice(x)
  ProcedureReturn x * 2
EndProcedure

ProcedureDLL Doubled(x)
  total = total + 1
  ProcedureReturn Twice(x)
EndProcedure

ProcedureDLL.s Name()
  ProcedureReturn "doubled"
EndProcedure
)";

const char* const kDoubledHarness = R"(#include "x86_harness.h"
extern int total __asm__("total");
int HARNESS_STDCALL Doubled(int x) __asm__("Doubled");
const char* HARNESS_STDCALL Name(void) __asm__("Name");
int harness_main(void) {
  harness_print_int(Doubled(21) + total);
  harness_print(" ");
  harness_print(Name());
  harness_print("\n");
  return 0;
}
)";

// A library conversion of a source kept in Source/, next to notes, with an object of the user's
// and the object of an earlier conversion in Bin/: all of them are still there afterwards.
TEST_F(SafetyTest, LibraryConversionKeepsTheUsersFiles) {
  work.write("Source/mylib.pb", kDoubledSource);
  work.write("Source/notes.txt", "my notes");
  work.write("Bin/helper.obj", "an object of my own");
  ts::ProgramResult r = brisko({"convert", work.file("Source/mylib.pb"), "--dest", work.path()});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  r = brisko({"convert", work.file("Source/mylib.pb"), "--dest", work.path(), "--lib"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

  EXPECT_EQ(ts::readFileText(work.file("Source/mylib.pb")), kDoubledSource);
  EXPECT_EQ(ts::readFileText(work.file("Source/notes.txt")), "my notes");
  EXPECT_EQ(folderEntries(work.file("Bin")),
            (std::vector<std::string>{"helper.obj", "mylib.lib", "mylib.obj"}));
  EXPECT_EQ(ts::readFileText(work.file("Bin/helper.obj")), "an object of my own");
  EXPECT_EQ(folderEntries(work.file("Source/briskoObjects")), std::vector<std::string>{});
  EXPECT_EQ(archiveMembers(work.file("Bin/mylib.lib")),
            (std::vector<std::string>{"Doubled.obj", "Name.obj", "mylib_Twice.obj",
                                      "mylib_briskoDataSections.obj"}));
}

// A compiler that crashes, that exits with another message, or that ends without the listing
// makes the conversion (and the check) fail with its own words.
TEST_F(SafetyTest, FailingCompilersAreFailures) {
  struct Case {
    const char* script;
    const char* shown;
    int checkExitCode;  // a check asks for no listing
  };
  const Case cases[] = {
      {"kill -SEGV $$", "The compiler reported an unknown error.", 1},
      {"echo 'Error: the source file cannot be opened'\nexit 1",
       "The compiler reported an error.\n\nError: the source file cannot be opened", 1},
      {"echo 'PureBasic - compiled'\nexit 0",
       "The compiler wrote no assembly listing.\n\nPureBasic - compiled", 0},
  };
  work.write("p/answer.pb", kDoubledSource);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const std::string installation = installationWith("PBcompiler.exe", c.script);
    ts::ProgramResult r =
        brisko({"--pb-folder", installation, "convert", work.file("p/answer.pb"), "--lib"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(c.shown), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(work.file("p/Bin/answer.lib")));
    r = brisko({"--pb-folder", installation, "check", work.file("p/answer.pb")});
    EXPECT_EQ(r.exitCode, c.checkExitCode) << r.out << r.err;
  }
}

// Names that are no valid label prefix for FASM still convert: symbols carry a form of the
// name, the files and the wrapper's import keep the real one.
TEST_F(SafetyTest, CommonFileNamesConvertAndRun) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"my-lib", "my_lib"}, {"my lib", "my_lib"}, {"Copy of lib", "Copy_of_lib"},
      {"lib(1)", "lib_1_"}, {"a+b", "a_b"},       {"2024", "_2024"}};
  for (const auto& [name, symbols] : names) {
    SCOPED_TRACE(name);
    for (const bool library : {false, true}) {
      const std::string folder = work.file(symbols + (library ? "-lib" : "-obj"));
      work.write(folder.substr(work.path().size() + 1) + "/" + name + ".pb", kDoubledSource);
      std::vector<std::string> arguments = {"convert", folder + "/" + name + ".pb", "--wrapper"};
      if (library) arguments.push_back("--lib");
      const ts::ProgramResult r = brisko(arguments);
      ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
      const fs::path output = folder + "/Bin/" + name + (library ? ".lib" : ".obj");
      ASSERT_TRUE(fs::exists(output));
      EXPECT_TRUE(fs::exists(folder + "/Source/" + name + "_briskoDataSections.asm"));
      EXPECT_EQ(definedSymbols(output).count(symbols + "_Twice"), library ? 1u : 0u);
      const std::string wrapper = ts::readFileText(folder + "/Bin/" + name + ".pbi");
      EXPECT_NE(wrapper.find("Import \"" + name + (library ? ".lib" : ".obj") + "\""),
                std::string::npos);
      EXPECT_NE(wrapper.find("Procedure _LinkLibs_" + symbols + "()"), std::string::npos);
      const ts::X86Run run = ts::linkAndRun({output}, kDoubledHarness, folder);
      ASSERT_TRUE(run.linked) << run.log;
      EXPECT_EQ(run.output, "43 doubled\n");
    }
  }
}

// "Procedure Helper" and "ProcedureDLL lib_Helper" in lib.pb would both be lib_Helper: the
// internal one gives way, and both work.
TEST_F(SafetyTest, ProceduresOfOneOutputNameBothWork) {
  work.write("lib.pb", R"(Procedure Helper()
  ProcedureReturn 1
EndProcedure

ProcedureDLL lib_Helper()
  ProcedureReturn 2
EndProcedure

ProcedureDLL Both()
  ProcedureReturn Helper() * 10 + lib_Helper()
EndProcedure
)");
  const char* const harness = R"(#include "x86_harness.h"
int HARNESS_STDCALL Both(void) __asm__("Both");
int HARNESS_STDCALL lib_Helper(void) __asm__("lib_Helper");
int harness_main(void) {
  harness_print_int(Both() * 10 + lib_Helper());
  harness_print("\n");
  return 0;
}
)";
  for (const char* format : {"", "--lib"}) {
    SCOPED_TRACE(format);
    std::vector<std::string> arguments = {"convert", work.file("lib.pb")};
    if (*format != '\0') arguments.push_back(format);
    const ts::ProgramResult r = brisko(arguments);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(fs::exists(work.file("Source/lib_Helper_2.asm")));
    const fs::path output = work.file(*format != '\0' ? "Bin/lib.lib" : "Bin/lib.obj");
    const ts::X86Run run = ts::linkAndRun({output}, harness, work.path());
    ASSERT_TRUE(run.linked) << run.log;
    EXPECT_EQ(run.output, "122\n");
  }
}

// After alpha.pb and beta.pb were converted into one folder, reusing the sources for alpha
// would pack beta's procedures into alpha.lib: refused before anything is assembled.
TEST_F(SafetyTest, ReusedSourcesOfAnotherFileAreRefused) {
  work.write("alpha.pb", "ProcedureDLL AlphaOne()\r\n  ProcedureReturn 1\r\nEndProcedure\r\n");
  work.write("beta.pb", "ProcedureDLL BetaOne()\r\n  ProcedureReturn 2\r\nEndProcedure\r\n");
  ASSERT_EQ(brisko({"convert", work.file("alpha.pb"), "--lib"}).exitCode, 0);
  const std::string alphaLibrary = ts::readFileText(work.file("Bin/alpha.lib"));
  ASSERT_EQ(brisko({"convert", work.file("beta.pb"), "--lib"}).exitCode, 0);

  const ts::ProgramResult r = brisko({"convert", work.file("alpha.pb"), "--use-existing-asm"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "Error!\nThe Source folder holds the assembly sources of another file. Convert this "
            "file afresh, or remove them first.\n(" +
                work.file("Source/beta_briskoDataSections.asm") + ")\n");
  EXPECT_EQ(ts::readFileText(work.file("Bin/alpha.lib")), alphaLibrary);
}

// Starts brisko without waiting for it, in a process group of its own, with the test's
// environment (which names the stand-in installation and the temporary folder).
pid_t startBrisko(std::vector<std::string> arguments, const std::string& folder) {
  arguments.insert(arguments.begin(), BRISKO_EXE);
  std::vector<char*> argv;
  for (std::string& text : arguments) argv.push_back(text.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  pid_t child = -1;
  if (posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ) != 0) child = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return child;
}

std::string manyProcedures(const std::string& prefix, int count) {
  std::string source;
  for (int i = 0; i < count; ++i) {
    source += "ProcedureDLL " + prefix + std::to_string(i) + "(x)\r\n  ProcedureReturn x + " +
              std::to_string(i) + "\r\nEndProcedure\r\n";
  }
  return source;
}

// A conversion into a destination that another one holds is refused at once, naming it; two
// started together never mix their outputs.
TEST_F(SafetyTest, OneConversionAtATimeWritesIntoADestination) {
  work.write("a/alpha.pb", manyProcedures("Alpha", 30));
  work.write("b/beta.pb", manyProcedures("Beta", 30));
  fs::create_directories(work.file("out"));
  {
    const int held = ::open(work.file("out").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const ts::ProgramResult r =
        brisko({"convert", work.file("a/alpha.pb"), "--dest", work.file("out"), "--lib"});
    ::close(held);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error!\nAnother conversion is writing into this destination folder.\n(" +
                         work.file("out") + "/)\n");
    EXPECT_EQ(folderEntries(work.file("out")), std::vector<std::string>{});
  }

  ::setenv("BRISKO_PB_COMMAND", installationCommand().c_str(), 1);
  ::setenv("TMPDIR", temp.path().c_str(), 1);
  const pid_t alpha = startBrisko(
      {"convert", work.file("a/alpha.pb"), "--dest", work.file("out"), "--lib"}, work.path());
  const pid_t beta = startBrisko(
      {"convert", work.file("b/beta.pb"), "--dest", work.file("out"), "--lib"}, work.path());
  ASSERT_GT(alpha, 0);
  ASSERT_GT(beta, 0);
  int alphaStatus = 0;
  int betaStatus = 0;
  ::waitpid(alpha, &alphaStatus, 0);
  ::waitpid(beta, &betaStatus, 0);
  ASSERT_TRUE(WIFEXITED(alphaStatus) && WIFEXITED(betaStatus));
  EXPECT_LE(WEXITSTATUS(alphaStatus), 1);
  EXPECT_LE(WEXITSTATUS(betaStatus), 1);
  EXPECT_LT(WEXITSTATUS(alphaStatus) + WEXITSTATUS(betaStatus), 2);
  for (const auto& [name, status] : {std::pair{"alpha", alphaStatus}, {"beta", betaStatus}}) {
    const fs::path library = work.file(std::string("out/Bin/") + name + ".lib");
    if (WEXITSTATUS(status) != 0) continue;
    for (const std::string& member : archiveMembers(library)) {
      EXPECT_EQ(member.rfind(name[0] == 'a' ? "Alpha" : "Beta", 0) == 0 ||
                    member.rfind(std::string(name) + "_", 0) == 0,
                true)
          << member << " in " << library;
    }
  }
}

// Ctrl-C during a library build: the objects made so far stay out of Bin/, the library of the
// run before is untouched, and the next run starts from an empty object folder.
TEST_F(SafetyTest, InterruptedLibraryBuildLeavesBinAlone) {
  work.write("many.pb", manyProcedures("Many", 20));
  ASSERT_EQ(brisko({"convert", work.file("many.pb"), "--lib"}).exitCode, 0);
  const std::string library = ts::readFileText(work.file("Bin/many.lib"));

  // An assembler that makes an object, says it started and then hangs.
  const std::string marker = work.file("fasm-started");
  const std::string installation =
      installationWith("fasm.exe", "eval out=\\${$#}\necho stale > \"$out\"\ntouch " +
                                       ts::shellQuote(marker) + "\nexec sleep 30");
  ::setenv("BRISKO_PB_COMMAND", installationCommand().c_str(), 1);
  ::setenv("TMPDIR", temp.path().c_str(), 1);
  const pid_t child = startBrisko(
      {"--pb-folder", installation, "convert", work.file("many.pb"), "--lib", "--jobs", "1"},
      work.path());
  ASSERT_GT(child, 0);
  for (int i = 0; i < 1000 && !fs::exists(marker); ++i) ::usleep(10000);
  ASSERT_TRUE(fs::exists(marker));
  ::kill(-child, SIGINT);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status));

  EXPECT_EQ(folderEntries(work.file("Bin")), std::vector<std::string>{"many.lib"});
  EXPECT_EQ(ts::readFileText(work.file("Bin/many.lib")), library);
  EXPECT_FALSE(folderEntries(work.file("Source/briskoObjects")).empty());

  ASSERT_EQ(brisko({"convert", work.file("many.pb"), "--lib"}).exitCode, 0);
  EXPECT_EQ(archiveMembers(work.file("Bin/many.lib")).size(), 21u);
  EXPECT_EQ(folderEntries(work.file("Source/briskoObjects")), std::vector<std::string>{});
}

// An object of 20,000 procedures: FASM gets the memory the Windows console FASM would take
// for itself, not its small default.
TEST_F(SafetyTest, BigObjectsAssemble) {
  work.write("big.pb", manyProcedures("Big", 20000));
  const ts::ProgramResult r = brisko({"convert", work.file("big.pb")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::set<std::string> symbols = definedSymbols(work.file("Bin/big.obj"));
  EXPECT_EQ(symbols.count("Big0"), 1u);
  EXPECT_EQ(symbols.count("Big19999"), 1u);
}

// Unicode data strings of a DataSection convert, and read back as UTF-16.
TEST_F(SafetyTest, UnicodeDataStringsConvert) {
  work.write("wide.pb", R"(DataSection
  greeting:
  Data.s "Hi"
EndDataSection

ProcedureDLL Greeting()
  ProcedureReturn ?greeting
EndProcedure
)");
  for (const char* format : {"", "--lib"}) {
    SCOPED_TRACE(format);
    std::vector<std::string> arguments = {"convert", work.file("wide.pb"), "--unicode"};
    if (*format != '\0') arguments.push_back(format);
    const ts::ProgramResult r = brisko(arguments);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const ts::X86Run run =
        ts::linkAndRun({work.file(*format != '\0' ? "Bin/wide.lib" : "Bin/wide.obj")},
                       R"(#include "x86_harness.h"
const unsigned short* HARNESS_STDCALL Greeting(void) __asm__("Greeting");
int harness_main(void) {
  const unsigned short* text = Greeting();
  harness_print_int(text[0] * 1000 + text[1]);
  harness_print(text[2] == 0 ? " ends\n" : " runs on\n");
  return 0;
}
)",
                       work.path());
    ASSERT_TRUE(run.linked) << run.log;
    EXPECT_EQ(run.output, "72105 ends\n");
  }
}

}  // namespace
}  // namespace brisko::e2e
