// Conversions of the listings every compiler generation writes: the stand-in installation is
// set to each layout in turn, and the same programs convert in both formats, link with the
// x86 helper and with the Windows linkers, and run as they do from the classic layout.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <tuple>

#include "brisko_fixture.h"
#include "programs.h"
#include "run_x64.h"
#include "run_x86.h"

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

// The classic layout's conversions are the other end-to-end tests' business.
const char* const kLayouts[] = {"macros", "after-bss", "after-end-code"};

// What the real compilers' layouts add: a static, inline assembly with the equates of the
// procedure's parameters and locals, procedure addresses in a DataSection, a procedure nothing
// calls, a second public name given to a procedure by another one's inline assembly (Counter is
// the first ProcedureDLL, _Procedure0), and End inside a procedure, which ends the process with
// its code.
const char* const kGenerationsSource = R"(Procedure.l Twice(x)
  ProcedureReturn x * 2
EndProcedure

Procedure Unused()
  ProcedureReturn MessageRequester("never", "shown")
EndProcedure

ProcedureDLL Counter()
  Static calls, base = 40
  calls = calls + 1
  ProcedureReturn base + calls
EndProcedure

ProcedureCDLL Mix(a, b)
  Protected c = 100
  !MOV eax,[p.v_a]
  !IMUL eax,[p.v_b]
  !ADD [p.v_c],eax
  ProcedureReturn c
EndProcedure

ProcedureDLL Through(slot, x)
  Protected p = PeekL(?table + slot * 4)
  !MOV ecx,[p.v_p]
  !PUSH dword [p.v_x]
  !CALL ecx
  !MOV [p.v_x],eax
  ProcedureReturn x
EndProcedure

ProcedureDLL Publish()
  !public _Procedure0 as '_Again@0'
EndProcedure

ProcedureDLL Quit(code)
  If code : End code + Twice(code) : EndIf
  End
EndProcedure

DataSection
  table:
  Data.i @Twice(), @Counter()
EndDataSection
)";

const char* const kGenerationsHarness = R"(#include "x86_harness.h"
int HARNESS_STDCALL Counter(void) __asm__("Counter");
int HARNESS_STDCALL Again(void) __asm__("_Again@0");
int HARNESS_CDECL Mix(int a, int b) __asm__("Mix");
int HARNESS_STDCALL Through(int slot, int x) __asm__("Through");
void HARNESS_STDCALL Quit(int code) __asm__("Quit");
int harness_main(void) {
  harness_print_int(Counter() + Counter() + Again());
  harness_print(" ");
  harness_print_int(Mix(3, 4));
  harness_print(" ");
  harness_print_int(Through(0, 21));
  harness_print("\n");
  Quit(5);
  return 99;
}
)";

class LayoutTest : public BriskoTest,
                   public ::testing::WithParamInterface<std::tuple<const char*, bool>> {
 protected:
  std::string layout() const { return std::get<0>(GetParam()); }
  bool library() const { return std::get<1>(GetParam()); }
  std::string output(const std::string& base) const { return base + (library() ? ".lib" : ".obj"); }

  // Converts the file in the folder with the layout's installation; the result's path.
  fs::path convert(const std::string& folder, const std::string& file,
                   std::vector<std::string> options = {}) {
    std::vector<std::string> arguments = {"--pb-folder", installationWithLayout(layout()),
                                          "convert", work.file(folder + "/" + file)};
    if (library()) arguments.push_back("--lib");
    arguments.insert(arguments.end(), options.begin(), options.end());
    const ts::ProgramResult r = brisko(arguments);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    return work.file(folder + "/Bin/" + output(fs::path(file).stem().string()));
  }
};

TEST_P(LayoutTest, HeldProgramRunsAndLinksForWindows) {
  work.write("maths/maths.pb", kMathsSource);
  const fs::path result = convert("maths", "maths.pb");
  ASSERT_TRUE(fs::exists(result));
  const std::set<std::string> symbols = definedSymbols(result);
  for (const std::string& name : kMathsExports) EXPECT_EQ(symbols.count(name), 1u) << name;

  const ts::X86Run run = ts::linkAndRun({result}, kMathsHarness, work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.output, kMathsOutput);
  const ts::LinkCheck lld = ts::linkForWindows({result}, kMathsHarness, work.path());
  EXPECT_TRUE(lld.linked) << lld.log;
  const ts::LinkCheck mingw = ts::linkWithMinGW({result}, kMathsHarness, work.path());
  EXPECT_TRUE(mingw.linked) << mingw.log;
}

TEST_P(LayoutTest, WhatTheCompilersAddConvertsAndRuns) {
  work.write("gen/gen.pb", kGenerationsSource);
  const fs::path result = convert("gen", "gen.pb");
  ASSERT_TRUE(fs::exists(result));
  if (library()) {
    // The procedure nothing calls is only in the listing where the compiler keeps it.
    const bool unusedKept = layout() == "macros";
    std::vector<std::string> members = {"Counter.obj",
                                        "Mix.obj",
                                        "Quit.obj",
                                        "Through.obj",
                                        "Publish.obj",
                                        "gen_Twice.obj",
                                        "gen_briskoDataSections.obj"};
    if (unusedKept) members.push_back("gen_Unused.obj");
    std::sort(members.begin(), members.end());
    EXPECT_EQ(archiveMembers(result), members);

    // Several FASM runs at once give the same library.
    const std::map<std::string, std::string> sequential = memberBytes(result, work.file("j1"));
    convert("gen", "gen.pb", {"--jobs", "2"});
    EXPECT_TRUE(memberBytes(result, work.file("j2")) == sequential);
  }

  const ts::X86Run run = ts::linkAndRun({result}, kGenerationsHarness, work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.output, "126 112 42\n");
  EXPECT_EQ(run.exitCode, 15);  // End 5 + Twice(5)
  const ts::LinkCheck mingw = ts::linkWithMinGW({result}, kGenerationsHarness, work.path());
  EXPECT_TRUE(mingw.linked) << mingw.log;
}

// A second program compiled by the same compiler links with the converted code through the
// wrapper: the runtime's items stay the program's, defined once.
TEST_P(LayoutTest, WrapperProgramLinksWithTheConvertedCode) {
  work.write("lib/shapes.pb", kShapesSource);
  const fs::path result = convert("lib", "shapes.pb", {"--wrapper"});
  ASSERT_TRUE(fs::exists(result));
  std::string client = kClientSource;
  client.replace(client.find("out/Bin/"), 8, "lib/Bin/");
  work.write("client.pb", client);
  const ts::ProgramResult compiled =
      ts::runProgram(installationWithLayout(layout()) + "/compilers/PBcompiler.exe",
                     {"client.pb", "/EXE", "client.exe", "/COMMENTED"}, work.path());
  ASSERT_EQ(compiled.exitCode, 0) << compiled.out << compiled.err;
  std::string log;
  ASSERT_TRUE(ts::assembleFasm(work.file("PureBasic.asm"), work.file("client.obj"), &log)) << log;
  const bool main = layout() == "macros";
  const std::string harness = std::string(R"(#include "x86_harness.h"
void pb_main(void) __asm__(")") +
                              (main ? "main" : "PureBasicStart") +
                              R"(");
int harness_main(void) { pb_main(); return 99; }
)";
  const ts::X86Run run = ts::linkAndRun({work.file("client.obj"), result}, harness, work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.exitCode, kClientExit) << run.output;
}

// x64 listings of the same programs: 64-bit objects and libraries that run as the x86 ones do.
using X64Test = LayoutTest;  // with the layout "x64"

TEST_P(X64Test, HeldProgramRunsAndLinksForWindows) {
  work.write("maths/maths.pb", kMathsSource);
  const fs::path result =
      convert("maths", "maths.pb", {"--log", "--export-globals", "--jobs", "2"});
  ASSERT_TRUE(fs::exists(result));
  const std::set<std::string> symbols = definedSymbols(result);
  for (const std::string& name : kMathsExports) EXPECT_EQ(symbols.count(name), 1u) << name;
  EXPECT_EQ(symbols.count("hidden"), 1u);

  // The sources alone assemble again into the same target.
  fs::remove(result);
  const ts::ProgramResult again =
      brisko({"--pb-folder", installationWithLayout(layout()), "convert",
              work.file("maths/maths.pb"), "--use-existing-asm"});
  ASSERT_EQ(again.exitCode, 0) << again.out << again.err;
  const ts::CommandResult formats =
      ts::runCommand("llvm-objdump -f " + ts::shellQuote(result.string()) + " | grep 'format'");
  EXPECT_EQ(formats.output.find("coff-i386"), std::string::npos) << formats.output;
  EXPECT_NE(formats.output.find("coff-x86-64"), std::string::npos) << formats.output;

  const std::string harness = forX64(kMathsHarness);
  const ts::X86Run run = ts::linkAndRun64({result}, harness, work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.output, kMathsOutput);
  // (MinGW's ld places a 64-bit program above 4 GB, where the 32-bit address that Data.l ?words
  // holds does not fit; the wrapper program below links with it.)
  const ts::LinkCheck lld = ts::linkForWindows64({result}, harness, work.path());
  EXPECT_TRUE(lld.linked) << lld.log;
}

// The generations program with its inline assembly written for x64; End passes its code through
// PB_ExitCode.
TEST_P(X64Test, WhatTheCompilersAddConvertsAndRuns) {
  std::string source = kGenerationsSource;
  const std::string x86 =
      "  !MOV ecx,[p.v_p]\n  !PUSH dword [p.v_x]\n  !CALL ecx\n  !MOV [p.v_x],eax\n";
  ASSERT_NE(source.find(x86), std::string::npos);
  source.replace(source.find(x86), x86.size(),
                 "  !MOV rax,[p.v_p]\n  !MOV rcx,[p.v_x]\n  !SUB rsp,40\n  !CALL rax\n"
                 "  !ADD rsp,40\n  !MOV [p.v_x],rax\n");
  work.write("gen/gen.pb", source);
  const fs::path result = convert("gen", "gen.pb");
  ASSERT_TRUE(fs::exists(result));
  const ts::X86Run run = ts::linkAndRun64({result}, forX64(kGenerationsHarness), work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.output, "126 112 42\n");
  EXPECT_EQ(run.exitCode, 15);
}

TEST_P(X64Test, WrapperProgramLinksWithTheConvertedCode) {
  work.write("lib/shapes.pb", kShapesSource);
  const fs::path result = convert("lib", "shapes.pb", {"--wrapper"});
  ASSERT_TRUE(fs::exists(result));
  std::string client = kClientSource;
  client.replace(client.find("out/Bin/"), 8, "lib/Bin/");
  work.write("client.pb", client);
  const ts::ProgramResult compiled =
      ts::runProgram(installationWithLayout(layout()) + "/compilers/PBcompiler.exe",
                     {"client.pb", "/EXE", "client.exe", "/COMMENTED"}, work.path());
  ASSERT_EQ(compiled.exitCode, 0) << compiled.out << compiled.err;
  std::string log;
  ASSERT_TRUE(ts::assembleFasm(work.file("PureBasic.asm"), work.file("client.obj"), &log)) << log;
  const ts::X86Run run = ts::linkAndRun64({work.file("client.obj"), result},
                                          R"(#include "x64_harness.h"
void HARNESS_MSABI pb_main(void) __asm__("PureBasicStart");
int harness_main(void) { pb_main(); return 99; }
)",
                                          work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.exitCode, kClientExit) << run.output;

  const std::string caller = R"(#include "x64_harness.h"
int HARNESS_MSABI Area(int w, int h) __asm__("Area");
int harness_main(void) { return Area(6, 7); }
)";
  const ts::LinkCheck mingw = ts::linkWithMinGW64({result}, caller, work.path());
  EXPECT_TRUE(mingw.linked) << mingw.log;
  const ts::LinkCheck lld = ts::linkForWindows64({result}, caller, work.path());
  EXPECT_TRUE(lld.linked) << lld.log;
}

std::string layoutTestName(const ::testing::TestParamInfo<std::tuple<const char*, bool>>& param) {
  std::string name = std::get<0>(param.param);
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name + (std::get<1>(param.param) ? "_Library" : "_Object");
}

INSTANTIATE_TEST_SUITE_P(Generations, LayoutTest,
                         ::testing::Combine(::testing::ValuesIn(kLayouts), ::testing::Bool()),
                         layoutTestName);
INSTANTIATE_TEST_SUITE_P(Generations, X64Test,
                         ::testing::Combine(::testing::Values("x64"), ::testing::Bool()),
                         layoutTestName);

}  // namespace
}  // namespace brisko::e2e
