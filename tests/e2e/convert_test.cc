// "brisko convert" on real sources with the stand-in installation and the real FASM: the
// produced object or library is linked with C harnesses (run under qemu-i386, and linked as a
// Windows program by lld-link and by MinGW's ld) to show that exports, internal procedures,
// globals, data and the calls out of the converted code all work.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "brisko_fixture.h"
#include "programs.h"
#include "run_x86.h"

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

enum class Format { object, library };

// A conversion's log: UTF-8 with its mark, every line ended by CR LF.
struct LogFile {
  bool found = false;
  bool marked = false;
  bool crLf = false;
  std::vector<std::string> lines;
};

LogFile readLog(const fs::path& path) {
  LogFile log;
  if (!fs::exists(path)) return log;
  log.found = true;
  std::string text = ts::readFileText(path.string());
  log.marked = text.rfind("\xEF\xBB\xBF", 0) == 0;
  if (log.marked) text.erase(0, 3);
  log.crLf =
      text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0 &&
      std::count(text.begin(), text.end(), '\n') == std::count(text.begin(), text.end(), '\r');
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    log.lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return log;
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Checks the form of a log and returns the index of its first line after the header.
std::size_t expectLogHeader(const LogFile& log) {
  EXPECT_TRUE(log.marked);
  EXPECT_TRUE(log.crLf);
  if (log.lines.size() < 5) {
    ADD_FAILURE() << "log too short: " << log.lines.size() << " lines";
    return log.lines.size();
  }
  EXPECT_EQ(log.lines[0], "Brisko generated log file.");
  EXPECT_TRUE(std::regex_match(log.lines[1], std::regex(R"(Date is \d\d:\d\d:\d{4})")))
      << log.lines[1];
  EXPECT_TRUE(std::regex_match(log.lines[2], std::regex(R"(Time is \d\d:\d\d)"))) << log.lines[2];
  EXPECT_EQ(log.lines[3], std::string(10, '\\'));
  return 4;
}

// The log of a failed conversion: a line that tells the step that failed, then the verdict.
void expectFailureLog(const fs::path& path, const std::string& failedStep) {
  SCOPED_TRACE(path.string());
  const LogFile log = readLog(path);
  ASSERT_TRUE(log.found) << path;
  const std::size_t first = expectLogHeader(log);
  ASSERT_LT(first, log.lines.size());
  EXPECT_EQ(log.lines.back(), "Output file not created.");
  const std::regex pattern(failedStep);
  EXPECT_TRUE(std::any_of(log.lines.begin() + static_cast<std::ptrdiff_t>(first), log.lines.end(),
                          [&](const std::string& line) { return std::regex_match(line, pattern); }))
      << "no line matches " << failedStep;
}

// Replaces the first occurrence of from in the file; false when there is none.
bool editFile(const fs::path& path, const std::string& from, const std::string& to) {
  std::string text = ts::readFileText(path.string());
  const std::size_t at = text.find(from);
  if (at == std::string::npos) return false;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text.replace(at, from.size(), to);
  return true;
}

std::string outputName(const std::string& base, Format format) {
  return base + (format == Format::library ? ".lib" : ".obj");
}

using ConvertTest = BriskoTest;

class ConvertFormatTest : public ConvertTest, public ::testing::WithParamInterface<Format> {
 protected:
  // "convert" with the format option of the parameter.
  ts::ProgramResult convert(std::vector<std::string> arguments,
                            std::map<std::string, std::string> environment = {}) {
    arguments.insert(arguments.begin(), "convert");
    if (GetParam() == Format::library) arguments.push_back("--lib");
    return brisko(arguments, std::move(environment));
  }
};

TEST_P(ConvertFormatTest, ExportsRunAndLinkWithCPrograms) {
  const Format format = GetParam();
  work.write("maths.pb", kMathsSource);
  fs::create_directories(work.file("out"));
  const ts::ProgramResult r = convert({work.file("maths.pb"), "--dest", work.file("out")});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  // FASM's banner is not the console's business.
  EXPECT_EQ(r.out.find("flat assembler"), std::string::npos) << r.out;

  const fs::path out = work.file("out");
  const fs::path output = out / "Bin" / outputName("maths", format);
  // Only the result stays in Bin/; the intermediate objects of a library are removed.
  EXPECT_EQ(folderEntries(out / "Bin"), std::vector<std::string>{outputName("maths", format)});
  EXPECT_FALSE(fs::exists(out / "Logs" / "briskoLog.txt"));
  std::vector<std::string> sources = {"maths_briskoDataSections.asm"};
  for (const std::string& name : kMathsExports) sources.push_back(name + ".asm");
  for (const std::string& name : kMathsInternals) sources.push_back("maths_" + name + ".asm");
  for (const std::string& name : sources) EXPECT_TRUE(fs::exists(out / "Source" / name)) << name;
  EXPECT_EQ(fs::exists(out / "Source" / "maths_briskoLinkFile.asm"), format == Format::object);

  // Exports keep their names; internal procedures are visible only in a library, where other
  // members call them; an internal global never is.
  const std::set<std::string> symbols = definedSymbols(output);
  for (const std::string& name : kMathsExports) EXPECT_EQ(symbols.count(name), 1u) << name;
  EXPECT_EQ(symbols.count("counter"), 1u);
  EXPECT_EQ(symbols.count("table"), 1u);
  EXPECT_EQ(symbols.count("hidden"), 0u);
  for (const std::string& name : kMathsInternals) {
    EXPECT_EQ(symbols.count("maths_" + name), format == Format::library ? 1u : 0u) << name;
  }
  if (format == Format::library) {
    std::vector<std::string> members = {"maths_briskoDataSections.obj"};
    for (const std::string& name : kMathsExports) members.push_back(name + ".obj");
    for (const std::string& name : kMathsInternals) members.push_back("maths_" + name + ".obj");
    std::sort(members.begin(), members.end());
    EXPECT_EQ(archiveMembers(output), members);
  }

  const ts::X86Run run = ts::linkAndRun({output}, kMathsHarness, work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.exitCode, 0) << run.log;
  EXPECT_EQ(run.output, kMathsOutput);

  const ts::LinkCheck lld = ts::linkForWindows({output}, kMathsHarness, work.path());
  EXPECT_TRUE(lld.linked) << lld.log;
  const ts::LinkCheck mingw = ts::linkWithMinGW({output}, kMathsHarness, work.path());
  EXPECT_TRUE(mingw.linked) << mingw.log;
}

const char* const kAnswerSource = R"(Procedure Base()
  ProcedureReturn 7000
EndProcedure

ProcedureDLL Answer()
  ProcedureReturn Base() + 331
EndProcedure
)";

const char* const kAnswerHarness = R"(#include "x86_harness.h"
int HARNESS_STDCALL Answer(void) __asm__("Answer");
int harness_main(void) {
  harness_print_int(Answer());
  harness_print("\n");
  return 0;
}
)";

// Edited sources are assembled again in the format they were made for, without the compiler:
// the installation's compiler is replaced by one that leaves a mark and fails.
TEST_P(ConvertFormatTest, ExistingSourcesAreAssembledAgainWithoutTheCompiler) {
  const Format format = GetParam();
  work.write("project/answer.pb", kAnswerSource);
  const fs::path project = work.file("project");
  ts::ProgramResult r = convert({work.file("project/answer.pb")});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  const fs::path output = project / "Bin" / outputName("answer", format);
  ASSERT_TRUE(fs::exists(output));

  ASSERT_TRUE(editFile(project / "Source" / "Answer.asm", "331", "500"));
  fs::remove(output);
  fs::remove(project / "Source" / "PureBasic.asm");
  const std::string marker = work.file("compiler-ran");
  const std::string installation =
      installationWith("PBcompiler.exe", "touch " + ts::shellQuote(marker) + "\nexit 1");
  // No format option: the sources decide it.
  r = brisko({"--pb-folder", installation, "convert", work.file("project/answer.pb"),
              "--use-existing-asm"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_FALSE(fs::exists(project / "Source" / "PureBasic.asm"));
  ASSERT_TRUE(fs::exists(output));
  if (format == Format::library) {
    EXPECT_EQ(archiveMembers(output), (std::vector<std::string>{"Answer.obj", "answer_Base.obj",
                                                                "answer_briskoDataSections.obj"}));
  }

  const ts::X86Run run = ts::linkAndRun({output}, kAnswerHarness, work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.output, "7500\n");
}

INSTANTIATE_TEST_SUITE_P(Formats, ConvertFormatTest,
                         ::testing::Values(Format::object, Format::library));

// The log lists the external symbols the code uses under their decorated names, which follow
// the compiler options; with --export-globals a Global is exported as well.
TEST_F(ConvertTest, LogListsTheExternalsOfTheCompiledOptions) {
  work.write("wide.pb",
             "Global total.l\r\n"
             "ProcedureDLL Greet(name$)\r\n"
             "  total = total + Len(name$)\r\n"
             "  ProcedureReturn MessageRequester(\"Hello\", name$)\r\n"
             "EndProcedure\r\n");
  fs::create_directories(work.file("out"));
  const ts::ProgramResult r = brisko({"convert", work.file("wide.pb"), "--dest", work.file("out"),
                                      "--log", "--unicode", "--threadsafe", "--export-globals"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

  const LogFile log = readLog(work.file("out/Logs/briskoLog.txt"));
  ASSERT_TRUE(log.found);
  std::size_t line = expectLogHeader(log);
  const std::size_t progressStart = line;
  // Steps end in their outcome; a step made of parts ends in "......" and its parts follow;
  // the check of the objects gives its counts.
  while (line < log.lines.size() && !log.lines[line].empty()) {
    EXPECT_TRUE(
        endsWith(log.lines[line], "......no errors!") || endsWith(log.lines[line], "......") ||
        std::regex_match(
            log.lines[line],
            std::regex(R"(1 objects checked: \d+ symbols defined, \d+ taken from outside\.)")))
        << log.lines[line];
    ++line;
  }
  EXPECT_GT(line, progressStart);
  ASSERT_LT(line + 2, log.lines.size());
  EXPECT_EQ(log.lines[line + 1], "\"wide.obj\" uses the following external functions / symbols :");
  EXPECT_EQ(log.lines[line + 2], "==========");
  std::set<std::string> externals;
  for (std::size_t i = line + 3; i < log.lines.size(); ++i) {
    const std::string number = std::to_string(i - line - 2) + ") ";
    ASSERT_EQ(log.lines[i].rfind(number, 0), 0u) << log.lines[i];
    externals.insert(log.lines[i].substr(number.size()));
  }
  EXPECT_EQ(externals, (std::set<std::string>{"_PB_Len_THREAD_UNICODE@4",
                                              "_PB_MessageRequester_THREAD_UNICODE@8"}));

  const ts::X86Run run = ts::linkAndRun({work.file("out/Bin/wide.obj")}, R"(#include "x86_harness.h"
extern int total __asm__("total");
int HARNESS_STDCALL Greet(const unsigned short* name) __asm__("Greet");
int harness_main(void) {
  int shown = Greet((const unsigned short*)u"World");
  harness_print_int(total);
  harness_print("\n");
  return shown;
}
)",
                                        work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.output, "Hello: World\n5\n");
  EXPECT_EQ(run.exitCode, 1);
}

// Each failure ends the conversion with its text, exit status 1 and a log that says so.
TEST_F(ConvertTest, FailuresAreReportedAndLogged) {
  work.write("bad/bad.pb", "Procedure.l Twice(x.l)\r\n  ProcedureReturn x * \r\nEndProcedure\r\n");
  ts::ProgramResult r = brisko({"convert", work.file("bad/bad.pb"), "--log"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("The compiler reported an error.\n\nError: Line 2"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(work.file("bad/Bin/bad.obj")));
  expectFailureLog(work.file("bad/Logs/briskoLog.txt"),
                   R"(Compiling ".*bad\.pb" \.+Error: Line 2 .*)");

  // An edited source that FASM rejects.
  work.write("asm/answer.pb", kAnswerSource);
  r = brisko({"convert", work.file("asm/answer.pb")});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  fs::remove(work.file("asm/Bin/answer.obj"));
  std::ofstream(work.file("asm/Source/Answer.asm"), std::ios::binary | std::ios::app)
      << "  BOGUS eax,1\r\n";
  r = brisko({"convert", work.file("asm/answer.pb"), "--use-existing-asm", "--log"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Fasm reported an error.\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("error: illegal instruction."), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(work.file("asm/Bin/answer.obj")));
  expectFailureLog(work.file("asm/Logs/briskoLog.txt"),
                   R"(Creating COFF file ".*answer\.obj" \.+Error!)");

  // A librarian that fails.
  const std::string installation =
      installationWith("polib.exe", "printf 'POLIB: fatal error: cannot write\\r\\n'\nexit 1");
  work.write("lib/answer.pb", kAnswerSource);
  r = brisko(
      {"--pb-folder", installation, "convert", work.file("lib/answer.pb"), "--lib", "--log"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Polib reported an error.\n\nPOLIB: fatal error: cannot write"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(work.file("lib/Bin/answer.lib")));
  expectFailureLog(work.file("lib/Logs/briskoLog.txt"),
                   R"(Creating COFF file ".*answer\.lib" \.+Error!)");

  // A source without exports.
  work.write("plain/plain.pb",
             "Procedure Helper(x)\r\n  ProcedureReturn x + 1\r\nEndProcedure\r\n"
             "Global g = Helper(1)\r\n");
  r = brisko({"convert", work.file("plain/plain.pb"), "--log"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Error!\nThere are no exports within this file.\n(" +
                       work.file("plain/plain.pb") + ")\n"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(work.file("plain/Bin/plain.obj")));
  expectFailureLog(work.file("plain/Logs/briskoLog.txt"),
                   "There are no exports within this file\\..*");
}

// A library assembled with several FASM runs at once is the one assembled one source after
// another, and its log reads the same (dates aside).
TEST_F(ConvertTest, ParallelLibraryBuildEqualsTheSequentialOne) {
  std::string source;
  for (int i = 0; i < 12; ++i) {
    const std::string n = std::to_string(i);
    source += (i % 3 == 0 ? "Procedure Inner" : "ProcedureDLL Outer") + n + "(x)\r\n" +
              "  ProcedureReturn x * " + n + (i > 0 ? " + Inner0(x)" : "") + "\r\nEndProcedure\r\n";
  }
  work.write("many/many.pb", source);
  const fs::path project = work.file("many");
  struct Build {
    std::map<std::string, std::string> members;
    std::vector<std::string> log;
  };
  std::vector<Build> builds;
  for (const char* jobs : {"1", "2"}) {
    const ts::ProgramResult r =
        brisko({"convert", work.file("many/many.pb"), "--lib", "--log", "--jobs", jobs});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    Build build;
    EXPECT_EQ(folderEntries(project / "Bin"), std::vector<std::string>{"many.lib"});
    build.members = memberBytes(project / "Bin" / "many.lib", work.file(std::string("j") + jobs));
    build.log = readLog(project / "Logs" / "briskoLog.txt").lines;
    ASSERT_GT(build.log.size(), 3u);
    build.log.erase(build.log.begin() + 1, build.log.begin() + 3);  // date and time
    builds.push_back(std::move(build));
  }
  EXPECT_EQ(builds[0].members.size(), 13u);  // the procedures and the data sections
  EXPECT_TRUE(builds[0].members == builds[1].members);
  EXPECT_EQ(builds[0].log, builds[1].log);
}

// A destination named on the command line is made when it is missing (with the folders above
// it), and refused when it is a file; when the output folders cannot be made there, nothing
// is converted. Without --dest the output goes below the source file's folder.
TEST_F(ConvertTest, DestinationFoldersAreUsedOrRefused) {
  work.write("project/answer.pb", kAnswerSource);
  ts::ProgramResult r = brisko(
      {"convert", work.file("project/answer.pb"), "--dest", work.file("missing/deeper"), "--lib"});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(fs::exists(work.file("missing/deeper/Bin/answer.lib")));
  EXPECT_FALSE(fs::exists(work.file("project/Bin")));
  // The files written are listed last, one per line.
  EXPECT_TRUE(endsWith(r.out, "\n" + work.file("missing/deeper/Bin/answer.lib") + "\n")) << r.out;

  r = brisko({"convert", work.file("project/answer.pb"), "--wrapper", "--log"});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  // After the summary of what the output holds.
  EXPECT_TRUE(endsWith(r.out, "  runtime libraries: none\n" + work.file("project/Bin/answer.obj") +
                                  "\n" + work.file("project/Bin/answer.pbi") + "\n" +
                                  work.file("project/Logs/briskoLog.txt") + "\n"))
      << r.out;

  work.write("afile", "not a folder");
  r = brisko({"convert", work.file("project/answer.pb"), "--dest", work.file("afile")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Error!\nUnable to create the output directories.\n(" + work.file("afile") +
                       "/: File exists)\n");

  work.write("blocked/Bin", "a file where the Bin folder belongs");
  r = brisko({"convert", work.file("project/answer.pb"), "--dest", work.file("blocked"), "--log"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Error!\nUnable to create the output directories.\n"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(work.file("blocked/Source/answer_briskoLinkFile.asm")));
  EXPECT_TRUE(fs::is_regular_file(work.file("blocked/Bin")));
}

}  // namespace
}  // namespace brisko::e2e
