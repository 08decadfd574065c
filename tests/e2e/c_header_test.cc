// What a conversion tells and writes beside its output: the summary and the warning of lost
// initial values on the console, and the C header, which a C caller includes instead of
// declaring the exports itself. The caller is compiled with -Wall -Werror, linked with the
// output by MinGW and by lld-link (whose compiler takes the MSVC branch of the header) for x86
// and x64, and run.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <tuple>

#include "brisko_fixture.h"
#include "programs.h"
#include "run_x86.h"

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

// The held example's harness with its own declarations taken out and the header included in
// their place; Words() returns an address as PureBasic's integer.
std::string callerIncluding(const fs::path& header) {
  std::istringstream lines(kMathsHarness);
  std::string caller;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("__asm__(") != std::string::npos) continue;
    caller += line + "\n";
    if (line.starts_with("#include")) caller += "#include \"" + header.string() + "\"\n";
  }
  const std::string words = "harness_print(Words())";
  caller.replace(caller.find(words), words.size(), "harness_print((const char*)Words())");
  return caller;
}

class CHeaderTest : public BriskoTest,
                    public ::testing::WithParamInterface<std::tuple<bool, bool>> {
 protected:
  bool x64() const { return std::get<0>(GetParam()); }
  bool library() const { return std::get<1>(GetParam()); }
};

TEST_P(CHeaderTest, CallerThatIncludesOnlyTheHeaderLinksAndRuns) {
  work.write("maths/maths.pb", kMathsSource);
  std::vector<std::string> arguments = {"--pb-folder",
                                        installationWithLayout(x64() ? "x64" : "classic"),
                                        "convert", work.file("maths/maths.pb"), "--c-header"};
  if (library()) arguments.push_back("--lib");
  const ts::ProgramResult r = brisko(arguments);
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  const fs::path bin = work.file("maths/Bin");
  const fs::path output = bin / (library() ? "maths.lib" : "maths.obj");
  const fs::path header = bin / "maths.h";
  EXPECT_NE(r.out.find(output.string() + "\n" + header.string() + "\n"), std::string::npos)
      << r.out;
  const std::string target = x64() ? "x64" : "x86";
  EXPECT_NE(r.out.find("The output holds (" + target +
                       (library() ? " library, 13 members):\n" : " object):\n")),
            std::string::npos)
      << r.out;

  const ts::Target code = x64() ? ts::Target::x64 : ts::Target::x86;
  const std::string caller = x64() ? forX64(callerIncluding(header)) : callerIncluding(header);
  const ts::BuildOptions warnings{"-Wall -Werror", ""};
  const ts::X86Run ran = ts::linkAndRun({output}, caller, work.path(), code, warnings);
  ASSERT_TRUE(ran.linked) << ran.log;
  EXPECT_EQ(ran.output, kMathsOutput);
  const ts::LinkCheck lld = ts::linkForWindows({output}, caller, work.path(), code, warnings);
  EXPECT_TRUE(lld.linked) << lld.log;
  // MinGW's ld places a 64-bit program above 4 GB unless told otherwise, where the 32-bit
  // address that Data.l ?words holds does not fit.
  const ts::BuildOptions minGW{warnings.compile, x64() ? "--image-base=0x400000" : ""};
  const ts::LinkCheck mingw = ts::linkWithMinGW({output}, caller, work.path(), code, minGW);
  EXPECT_TRUE(mingw.linked) << mingw.log;
}

INSTANTIATE_TEST_SUITE_P(TargetsAndFormats, CHeaderTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<bool, bool>>& param) {
                           return std::string(std::get<0>(param.param) ? "X64" : "X86") +
                                  (std::get<1>(param.param) ? "Library" : "Object");
                         });

// Values that the main program assigns, in declarations of several forms; a value of 0 and the
// arrays and lists have none to lose, nor does a procedure's own variable.
const char* const kStartValuesSource =
    R"(Global total = 5, zero = 0, name$ = "start", NewList items()
Define.l scale = 3 : Global Dim grid(4)
Public limit.l = 10
Global plain

Procedure.l Helper(x)
  Protected local = 7
  ProcedureReturn x + local
EndProcedure

ProcedureDLL Grow(x)
  total = total + Helper(x) * limit + Len(name$)
  ProcedureReturn total
EndProcedure

ProcedureCDLL.l Peek(i)
  ProcedureReturn grid(i)
EndProcedure
)";

TEST_F(BriskoTest, ConversionSummarisesItsOutputAndWarnsOfLostInitialValues) {
  work.write("start.pb", kStartValuesSource);
  const ts::ProgramResult r =
      brisko({"convert", work.file("start.pb"), "--dest", work.file("out"), "--log"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  const std::string warning =
      "These variables get their initial value from the main program, which the converted code "
      "does not run; they start as 0 or an empty string:";
  EXPECT_EQ(r.err, "Warning!\n" + warning + "\ntotal, name$, scale, limit\n");
  EXPECT_NE(r.out.find("Status = awaiting instructions\n"
                       "The output holds (x86 object):\n"
                       "  exported procedures: 2 (Grow, Peek)\n"
                       "  internal procedures: 1\n"
                       "  exported variables: limit\n"
                       "  exported arrays: none\n"
                       "  runtime libraries: String\n" +
                       work.file("out/Bin/start.obj") + "\n"),
            std::string::npos)
      << r.out;
  const std::string log = ts::readFileText(work.file("out/Logs/briskoLog.txt"));
  EXPECT_NE(log.find("\r\n" + warning + " total, name$, scale, limit\r\n"), std::string::npos)
      << log;
}

}  // namespace
}  // namespace brisko::e2e
