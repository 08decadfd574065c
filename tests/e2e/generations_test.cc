// Conversions of the listings every compiler generation writes: the stand-in installation is
// set to each layout in turn, and to x64, and the same programs convert in both formats, link
// with the target's helper and with the Windows linkers, and run as they do from the classic
// layout.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <tuple>

#include "brisko_fixture.h"
#include "programs.h"
#include "run_x86.h"

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

// The real compilers' layouts on x86, and x64 (the after-end-code layout); the classic layout's
// conversions are the other end-to-end tests' business.
const char* const kLayouts[] = {"macros", "after-bss", "after-end-code", "x64"};

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
  bool x64() const { return layout() == "x64"; }
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

  // The layout's target, and a harness written for x86 code made for it.
  ts::Target target() const { return x64() ? ts::Target::x64 : ts::Target::x86; }
  std::string harnessFor(const std::string& harness) const {
    return x64() ? forX64(harness) : harness;
  }
  ts::X86Run run(const std::vector<fs::path>& inputs, const std::string& harness) {
    return ts::linkAndRun(inputs, harnessFor(harness), work.path(), target());
  }
  ts::LinkCheck linkForWindows(const std::vector<fs::path>& inputs, const std::string& harness) {
    return ts::linkForWindows(inputs, harnessFor(harness), work.path(), target());
  }
  ts::LinkCheck linkWithMinGW(const std::vector<fs::path>& inputs, const std::string& harness) {
    return ts::linkWithMinGW(inputs, harnessFor(harness), work.path(), target());
  }
};

TEST_P(LayoutTest, HeldProgramRunsAndLinksForWindows) {
  work.write("maths/maths.pb", kMathsSource);
  const fs::path result =
      convert("maths", "maths.pb", {"--log", "--export-globals", "--jobs", "2"});
  ASSERT_TRUE(fs::exists(result));
  const std::set<std::string> symbols = definedSymbols(result);
  for (const std::string& name : kMathsExports) EXPECT_EQ(symbols.count(name), 1u) << name;
  EXPECT_EQ(symbols.count("hidden"), 1u);

  // The sources alone assemble again, for the same target.
  fs::remove(result);
  const ts::ProgramResult again =
      brisko({"--pb-folder", installationWithLayout(layout()), "convert",
              work.file("maths/maths.pb"), "--use-existing-asm"});
  ASSERT_EQ(again.exitCode, 0) << again.out << again.err;
  const ts::CommandResult formats =
      ts::runCommand("llvm-objdump -f " + ts::shellQuote(result.string()) + " | grep 'format'");
  EXPECT_EQ(formats.output.find(x64() ? "coff-i386" : "coff-x86-64"), std::string::npos)
      << formats.output;
  EXPECT_NE(formats.output.find(x64() ? "coff-x86-64" : "coff-i386"), std::string::npos)
      << formats.output;

  const ts::X86Run ran = run({result}, kMathsHarness);
  ASSERT_TRUE(ran.linked) << ran.log;
  EXPECT_EQ(ran.output, kMathsOutput);
  const ts::LinkCheck lld = linkForWindows({result}, kMathsHarness);
  EXPECT_TRUE(lld.linked) << lld.log;
  // (MinGW's ld places a 64-bit program above 4 GB, where the 32-bit address that Data.l ?words
  // holds does not fit; the other programs link with it on x64.)
  if (!x64()) {
    const ts::LinkCheck mingw = linkWithMinGW({result}, kMathsHarness);
    EXPECT_TRUE(mingw.linked) << mingw.log;
  }
}

TEST_P(LayoutTest, WhatTheCompilersAddConvertsAndRuns) {
  std::string source = kGenerationsSource;
  if (x64()) {
    // The inline assembly written for x64.
    const std::string x86 =
        "  !MOV ecx,[p.v_p]\n  !PUSH dword [p.v_x]\n  !CALL ecx\n  !MOV [p.v_x],eax\n";
    ASSERT_NE(source.find(x86), std::string::npos);
    source.replace(source.find(x86), x86.size(),
                   "  !MOV rax,[p.v_p]\n  !MOV rcx,[p.v_x]\n  !SUB rsp,40\n  !CALL rax\n"
                   "  !ADD rsp,40\n  !MOV [p.v_x],rax\n");
  }
  work.write("gen/gen.pb", source);
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

  const ts::X86Run ran = run({result}, kGenerationsHarness);
  ASSERT_TRUE(ran.linked) << ran.log;
  EXPECT_EQ(ran.output, "126 112 42\n");
  EXPECT_EQ(ran.exitCode, 15);  // End 5 + Twice(5)
  const ts::LinkCheck mingw = linkWithMinGW({result}, kGenerationsHarness);
  EXPECT_TRUE(mingw.linked) << mingw.log;
}

// A module as the 5.20 and later compilers lay it out: a global, an array, a static, DataSections
// (one inside a module procedure) and a public procedure that an exported procedure outside the
// module calls, beside a procedure of the same name; data inside a procedure's code, which in
// the 5.2x layout stands after the bss. (The 4.x compilers know no modules.)
const char* const kModuleSource = R"(DeclareModule sgl
  Global SGL.l
  Global Dim table.l(3)
  Declare.l Bump(n)
EndDeclareModule
Module sgl
  Procedure.l Bump(n)
    Static calls
    calls = calls + 1
    table(1) = table(1) + n
    SGL = SGL + n + PeekL(?inner) + PeekL(?outer)
    ProcedureReturn SGL + calls
    DataSection
      inner:
      Data.l 7
    EndDataSection
  EndProcedure
  DataSection
    outer:
    Data.l 5, ?outer
  EndDataSection
EndModule
Procedure.l Bump(n)
  ProcedureReturn n * 2
EndProcedure
ProcedureDLL.l Use(n)
  ProcedureReturn sgl::Bump(n) + Bump(n) + sgl::table(1)
EndProcedure
ProcedureDLL.l Seven()
  Protected v
  !CALL @f
  !dd 7
  !@@:
  !POP eax
  !MOV eax,[eax]
  !MOV [p.v_v],eax
  ProcedureReturn v
EndProcedure
)";

TEST_P(LayoutTest, ModulesConvertAndRun) {
  if (layout() == "macros") GTEST_SKIP() << "the 4.50 compilers know no modules";
  std::string source = kModuleSource;
  if (x64()) {
    const std::string x86 = "  !POP eax\n  !MOV eax,[eax]\n  !MOV [p.v_v],eax\n";
    source.replace(source.find(x86), x86.size(),
                   "  !POP rax\n  !MOVSXD rax,dword [rax]\n  !MOV [p.v_v],rax\n");
  }
  work.write("mod/mod.pb", source);
  const fs::path result = convert("mod", "mod.pb");
  ASSERT_TRUE(fs::exists(result));
  // The data inside Seven's code is none of the data's.
  const std::string data = ts::readFileText(work.file("mod/Source/mod_briskoDataSections.asm"));
  EXPECT_EQ(data.find("dd 7 \r\n  dd 5"), std::string::npos);
  const ts::X86Run ran = run({result}, R"(#include "x86_harness.h"
int HARNESS_STDCALL Use(int n) __asm__("Use");
int HARNESS_STDCALL Seven(void) __asm__("Seven");
int harness_main(void) {
  harness_print_int(Use(3));
  harness_print(" ");
  harness_print_int(Use(3));
  harness_print(" ");
  harness_print_int(Seven());
  harness_print("\n");
  return 0;
}
)");
  ASSERT_TRUE(ran.linked) << ran.log;
  // sgl::Bump(3) = 15 + 1 the first time, 30 + 2 the second; Bump(3) = 6; table(1) = 3, 6.
  EXPECT_EQ(ran.output, "25 44 7\n");
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
  const std::string start = layout() == "macros" ? "main" : "PureBasicStart";
  const ts::X86Run ran = run({work.file("client.obj"), result},
                             R"(#include "x86_harness.h"
void HARNESS_CDECL pb_main(void) __asm__(")" +
                                 start + R"(");
int harness_main(void) { pb_main(); return 99; }
)");
  ASSERT_TRUE(ran.linked) << ran.log;
  EXPECT_EQ(ran.exitCode, kClientExit) << ran.output;
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

}  // namespace
}  // namespace brisko::e2e
