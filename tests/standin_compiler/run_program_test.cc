// Programs compiled by the stand-in compiler, assembled by FASM as one object, linked with a
// freestanding harness and run under qemu-i386: the exit code and the output of the stub
// library functions show that the generated code computes what the source says.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "program_runner.h"

namespace standin::testing {
namespace {

// Exit codes are 8 bits wide: expected values stay below 256.
void expectExit(const std::string& source, int expected, CompileOptions options = {}) {
  const ProgramRun run = compileAndRun(source, options);
  ASSERT_EQ(run.error, "") << run.listing;
  EXPECT_EQ(run.exitCode, expected) << run.listing;
}

TEST(RunProgram, IntegerArithmeticAndPrecedence) {
  expectExit("a = 7\nb = 3\nEnd a * b + 2 - a / b\n", 21);
  expectExit("x = -5\nEnd 10 - x * 2 + (x % 3) + 20\n", 38);     // 10 + 10 - 2 + 20
  expectExit("a = 100\nEnd (a >> 2) | ((1 << 6) & $F0)\n", 89);  // 25 | 64
  expectExit("x = -(3 + 4) * -2\nEnd x + ~0 + 1\n", 14);
  expectExit("#Base = 40\n#Offset = #Base / 4 + 2\nEnd #Offset + %101 + 'A' - 65\n", 17);
}

TEST(RunProgram, ComparisonsAndLogic) {
  expectExit(
      "a = 3 : b = 5\n"
      "r = (a < b) + (a > b) * 2 + (a <= 3) * 4 + (b >= 6) * 8 + (a <> b) * 16 + (a = 3) * 32\n"
      "End r\n",
      1 + 4 + 16 + 32);
  expectExit("a = 1 : b = 0\nEnd (a And b) + (a Or b) * 2 + (Not b) * 4 + (a Xor 1) * 8\n", 6);
}

TEST(RunProgram, ByteAndWordVariablesWrapAndSignExtend) {
  expectExit("b.b = 127\nb = b + 1\nIf b = -128 : End 1 : EndIf\nEnd 2\n", 1);
  expectExit("Define.w\nw = 32767\nw = w + 2\nEnd -w / 256\n", 127);
}

TEST(RunProgram, IfElseIfElseChains) {
  const std::string program =
      "Procedure Classify(n)\n"
      "  If n < 0\n    ProcedureReturn 1\n"
      "  ElseIf n = 0\n    ProcedureReturn 2\n"
      "  ElseIf n < 10\n    ProcedureReturn 3\n"
      "  Else\n    ProcedureReturn 4\n  EndIf\n"
      "EndProcedure\n"
      "End Classify(-3) * 64 + Classify(0) * 16 + Classify(5) * 4 + Classify(50)\n";
  expectExit(program, 64 + 32 + 12 + 4);
}

TEST(RunProgram, LoopsForWhileRepeat) {
  expectExit("s = 0\nFor i = 1 To 10\n  s = s + i\nNext i\nEnd s\n", 55);
  expectExit("s = 0\nFor i = 10 To 1 Step -3\n  s = s + i\nNext\nEnd s\n", 22);  // 10+7+4+1
  expectExit("n = 1 : c = 0\nWhile n < 1000\n  n = n * 2 : c = c + 1\nWend\nEnd c\n", 10);
  expectExit("n = 0\nRepeat\n  n = n + 7\nUntil n > 30\nEnd n\n", 35);
  expectExit(
      "s = 0\nFor i = 1 To 100\n  If i % 2 = 0 : Continue : EndIf\n  If i > 9 : Break : EndIf\n"
      "  s = s + i\nNext\nEnd s\n",
      25);
  expectExit("n = 0\nRepeat\n  n = n + 1\n  If n = 5 : Break : EndIf\nForEver\nEnd n\n", 5);
}

TEST(RunProgram, RecursionAndStdcallAndCdeclProcedures) {
  expectExit(
      "Procedure.l Fib(n.l)\n"
      "  If n < 2 : ProcedureReturn n : EndIf\n"
      "  ProcedureReturn Fib(n - 1) + Fib(n - 2)\n"
      "EndProcedure\n"
      "End Fib(12)\n",
      144);
  expectExit(
      "ProcedureC Sub3(a, b, c)\n  ProcedureReturn a - b - c\nEndProcedure\n"
      "ProcedureCDLL Twice(x)\n  ProcedureReturn x * 2\nEndProcedure\n"
      "ProcedureDLL Both(a, b)\n  ProcedureReturn Sub3(a, b, 1) + Twice(b)\nEndProcedure\n"
      "total = 0\n"
      "For i = 1 To 3 : total = total + Both(20, i) : Next\n"  // stack stays balanced
      "End total\n",
      (19 - 1 + 2) + (19 - 2 + 4) + (19 - 3 + 6));
}

TEST(RunProgram, ProtectedLocalsStartAtZeroAndShadowGlobals) {
  expectExit(
      "Global x = 40\n"
      "Procedure Count(n)\n"
      "  Protected x, total\n"
      "  For x = 1 To n : total = total + x : Next\n"
      "  ProcedureReturn total\n"
      "EndProcedure\n"
      "a = Count(4)\nb = Count(4)\n"
      "End a + b + x\n",
      60);
}

TEST(RunProgram, GlobalsAreSharedWithProceduresButMainVariablesAreNot) {
  expectExit(
      "Global counter : Public total.l = 5\n"
      "hidden = 7\n"
      "Procedure Bump(n)\n"
      "  counter = counter + n : total = total * 2\n"
      "  hidden = 1000\n"  // a local of its own: the main variable stays 7
      "EndProcedure\n"
      "Bump(3) : Bump(4)\n"
      "End counter + total + hidden\n",
      7 + 20 + 7);
}

TEST(RunProgram, OptionalParametersTakeTheirDefaults) {
  expectExit(
      "Procedure Sum(a, b = 10, c = 100)\n  ProcedureReturn a + b + c\nEndProcedure\n"
      "End Sum(1) + Sum(1, 2) + Sum(1, 2, 3) - 200\n",
      111 + 103 + 6 - 200);
}

TEST(RunProgram, ArraysOfEachElementSize) {
  expectExit(
      "Global Dim squares.l(10)\n"
      "Procedure Fill()\n  For i = 0 To 10 : squares(i) = i * i : Next\nEndProcedure\n"
      "Fill()\nEnd squares(7) + squares(10)\n",
      149);
  expectExit(
      "Dim bytes.b(3)\nDim words.w(3)\n"
      "For i = 0 To 3 : bytes(i) = 100 * i : words(i) = 20000 * i : Next\n"
      "If bytes(2) = -56 And words(2) = -25536 And bytes(1) = 100 : End 1 : EndIf\n"
      "End 2\n",
      1);
}

TEST(RunProgram, AddressesPeekAndPoke) {
  expectExit("x = 5\nPokeL(@x, 77)\nEnd PeekL(@x) + x\n", 154);
  expectExit(
      "Dim t.l(4)\nPokeL(@t(2), 9)\nPokeW(@t(3), -2)\n"
      "End t(2) * 10 + PeekW(@t(3)) + 2 + PeekB(@t(2))\n",
      99);
  expectExit(
      "Procedure Local()\n  Protected v = 3\n  PokeL(@v, PeekL(@v) * 5)\n  ProcedureReturn v\n"
      "EndProcedure\nEnd Local()\n",
      15);
}

TEST(RunProgram, StringsArePassedAsPointersToTheLibrary) {
  const ProgramRun run = compileAndRun(
      "title$ = \"Greeting\"\n"
      "Procedure.s Pick(n)\n"
      "  If n = 1 : ProcedureReturn \"it's one\" : EndIf\n"
      "  ProcedureReturn \"other\"\n"
      "EndProcedure\n"
      "Procedure Show(t$, text.s)\n  ProcedureReturn MessageRequester(t$, text)\nEndProcedure\n"
      "Show(title$, Pick(1))\n"
      "MessageRequester(\"Second\", Pick(2), 5)\n"
      "End Len(title$) + Len(Pick(1)) + Len(\"\")\n");
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.output, "Greeting: it's one\nSecond: other\n");
  EXPECT_EQ(run.exitCode, 8 + 8);
}

TEST(RunProgram, UnicodeStringsReachTheUnicodeVariants) {
  CompileOptions options;
  options.unicode = true;
  options.thread = true;
  const ProgramRun run = compileAndRun(
      "MessageRequester(\"Wide\", \"text\")\nMessageBox_(0, \"body\", \"cap\", 0)\n"
      "End Len(\"abc\") + lstrlen_(\"hello\")\n",
      options);
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.output, "Wide: text\nMessageBox cap: body\n");
  EXPECT_EQ(run.exitCode, 8);
}

TEST(RunProgram, UnicodeDataStringsAreUtf16) {
  CompileOptions options;
  options.unicode = true;
  // Three ASCII letters (FASM refuses them quoted after dw), a euro sign and U+1F600 (a
  // surrogate pair).
  expectExit(
      "DataSection\n  text:\n  Data.s \"Hey\xE2\x82\xAC\xF0\x9F\x98\x80\"\nEndDataSection\n"
      "ok = (PeekW(?text) = 'H') + (PeekW(?text + 4) = 'y') * 2\n"
      "ok = ok + (PeekW(?text + 6) = $20AC) * 4 + ((PeekW(?text + 8) & $FFFF) = $D83D) * 8\n"
      "ok = ok + ((PeekW(?text + 10) & $FFFF) = $DE00) * 16 + (PeekW(?text + 12) = 0) * 32\n"
      "End ok\n",
      63, options);
}

TEST(RunProgram, WindowsFunctionsAreStdcall) {
  const ProgramRun run = compileAndRun(
      "SetLastError_(17)\nMessageBox_(0, \"Text\", \"Caption\", 0)\n"
      "End GetLastError_() + GetCurrentProcessId_() + (GetTickCount_() = 123456)\n");
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.output, "MessageBox Caption: Text\n");
  EXPECT_EQ(run.exitCode, 17 + 42 + 1);
}

TEST(RunProgram, DataSectionsAreReadThroughPointersAndRead) {
  expectExit(
      "DataSection\n"
      "  table:\n  Data.l 10, 20, 30, ?other\n"
      "  other:\n  Data.w 1000, -1\n  Data.b 7\n"
      "  text:\n  Data.s \"xyz\"\n"
      "EndDataSection\n"
      "Procedure Sum()\n"
      "  Protected p = ?table\n"
      "  ProcedureReturn PeekL(p) + PeekL(p + 4) + PeekL(p + 8)\n"
      "EndProcedure\n"
      "p = PeekL(?table + 12)\n"
      "If p <> ?other : End 1 : EndIf\n"
      "Restore other\nRead.w a\nRead.w b\nRead.b c\n"
      "End Sum() + a / 100 + b + c + PeekB(?text) - 120\n",
      60 + 10 - 1 + 7 + 0);
}

TEST(RunProgram, IncludeBinaryPlacesTheFileBytes) {
  namespace fs = std::filesystem;
  const fs::path folder = brisko::testsupport::makeTempFolder("standin_incbin");
  {
    std::ofstream out(folder / "blob.bin", std::ios::binary);
    out << "\x05\x06\x07";
  }
  CompileOptions options;
  options.sourceFolder = folder;
  expectExit(
      "DataSection\n  blob:\n  IncludeBinary \"blob.bin\"\n  after:\nEndDataSection\n"
      "End PeekB(?blob) * 10 + PeekB(?blob + 2) + (?after - ?blob)\n",
      50 + 7 + 3, options);
  fs::remove_all(folder);
}

TEST(RunProgram, LinkedListsGoThroughTheLibrary) {
  expectExit(
      "Global NewList values.l()\n"
      "Procedure Fill(n)\n"
      "  For i = 1 To n\n    AddElement(values())\n    values() = i * 10\n  Next\n"
      "EndProcedure\n"
      "Fill(4)\n"
      "s = 0\nResetList(values())\n"
      "While NextElement(values())\n  s = s + values()\nWend\n"
      "End s + ListSize(values())\n",
      104);
}

TEST(RunProgram, ImportedFunctionsUseTheirDeclaredConvention) {
  const std::string harness = std::string(kMainHarness) +
                              "int HARNESS_STDCALL mul(int a, int b) __asm__(\"_Multiply@8\");\n"
                              "int HARNESS_STDCALL mul(int a, int b) { return a * b; }\n"
                              "int sub(int a, int b) __asm__(\"_Subtract\");\n"
                              "int sub(int a, int b) { return a - b; }\n"
                              "int named(int a) __asm__(\"custom_name\");\n"
                              "int named(int a) { return a + 1; }\n";
  const std::string source =
      "Import \"maths.lib\"\n  Multiply(a, b)\nEndImport\n"
      "ImportC \"maths.lib\"\n  Subtract(a, b)\n  Named(a) As \"custom_name\"\nEndImport\n"
      "For i = 1 To 3 : s = s + Multiply(i, 2) + Subtract(10, i) : Next\n"
      "End s + Named(1)\n";
  const ProgramRun run = compileAndRun(source, {}, harness);
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.exitCode, 12 + 24 + 2);
  CompileOptions x64;  // every import is undecorated and takes the x64 convention
  x64.target = Target::x64;
  const ProgramRun run64 = compileAndRun(
      source, x64,
      std::string(kMainHarness64) +
          "HARNESS_MSABI long long mul(long long a, long long b) __asm__(\"Multiply\");\n"
          "HARNESS_MSABI long long mul(long long a, long long b) { return a * b; }\n"
          "HARNESS_MSABI long long sub(long long a, long long b) __asm__(\"Subtract\");\n"
          "HARNESS_MSABI long long sub(long long a, long long b) { return a - b; }\n"
          "HARNESS_MSABI long long named(long long a) __asm__(\"custom_name\");\n"
          "HARNESS_MSABI long long named(long long a) { return a + 1; }\n");
  ASSERT_EQ(run64.error, "") << run64.listing;
  EXPECT_EQ(run64.exitCode, run.exitCode);
}

// A wrapper include as the converter writes it for an object: byte-order mark, CR LF line
// ends, imported procedures and variables, and a procedure that is never called but makes the
// libraries its dummy calls use part of the link.
const char* const kWrapper =
    "\xEF\xBB\xBF;Brisko generated wrapper for maths.obj\r\n"
    "Import \"maths.obj\"\r\n"
    "  Compute.l(a.l,b.l) As \"Compute\"\r\n"
    "  Add(a.i,b.i) As \"Add\"\r\n"
    "  Greet.s(name$) As \"Greet\"\r\n"
    "  table_arrayPTR As \"table\"\r\n"
    "  names_stringarrayPTR As \"names$\"\r\n"
    "  counter.l AS \"counter\"\r\n"
    "  label$ AS \"label$\"\r\n"
    "EndImport\r\n"
    "ImportC \"maths.obj\"\r\n"
    "  Subtract.l(a.l,b.l,c.l) As \"Subtract\"\r\n"
    "EndImport\r\n"
    "  Import \"PureBasicRuntime.lib\"\r\n"
    "  EndImport\r\n"
    "  ;Under no circumstances call the following procedure!\r\n"
    "    Procedure _LinkLibs_maths()\r\n"
    "      Protected a, a$, NewList a(), Dim b(0)\r\n"
    "      MessageRequester(a$, a$)\r\n"
    "      Len(a$)\r\n"
    "      PeekL(a)\r\n"
    "      SortList(a(), a)\r\n"
    "      SortArray(b(), a)\r\n"
    "      GetTickCount_() ;Kernel32\r\n"
    "      MessageBox_(a, a, a, a) ;User32\r\n"
    "      lstrlen_(a) ;Kernel32\r\n"
    "    EndProcedure\r\n";

// The object the wrapper describes; its symbols are exactly the names the wrapper gives.
const char* const kMathsObject = R"(format MS COFF
public Compute
public add_numbers as 'Add'
public Greet
public Subtract
public table
public names as 'names$'
public counter
public label_text as 'label$'
section '.code' code readable executable
Compute:               ; stdcall: a * b + counter
  mov eax,[esp+4]
  imul eax,[esp+8]
  add eax,[counter]
  ret 8
add_numbers:
  mov eax,[esp+4]
  add eax,[esp+8]
  ret 8
Greet:
  mov eax,hello
  ret 4
Subtract:              ; cdecl: a - b - c
  mov eax,[esp+4]
  sub eax,[esp+8]
  sub eax,[esp+12]
  ret
section '.data' data readable writeable
counter dd 5
table dd 11,22,33
names dd first,second
label_text dd start
first db 'first',0
second db 'second',0
start db 'start',0
hello db 'Hello',0
)";

TEST(RunProgram, AWrapperIncludeImportsVariablesAndProceduresOfAnObject) {
  namespace ts = brisko::testsupport;
  const std::filesystem::path folder = ts::makeTempFolder("standin_wrapper");
  const auto write = [&](const char* name, const std::string& text) {
    std::ofstream out(folder / name, std::ios::binary);
    out << text;
  };
  write("maths.pbi", kWrapper);
  write("maths.asm", kMathsObject);
  std::string log;
  ASSERT_TRUE(ts::assembleFasm(folder / "maths.asm", folder / "maths.obj", &log)) << log;
  CompileOptions options;
  options.sourceFolder = folder;
  const ProgramRun run = compileAndRun(
      "XIncludeFile \"maths.pbi\"\n"
      "counter = counter + 1\n"
      "r = Compute(3, 4) + Add(1, 2) + Subtract(10, 3, 2)\n"   // 18 + 3 + 5
      "r = r + table_arrayPTR + PeekL(@table_arrayPTR + 8)\n"  // 11 + 33
      "r = r + lstrlen_(names_stringarrayPTR) + lstrlen_(PeekL(@names_stringarrayPTR + 4))\n"
      "MessageRequester(label$, Greet(\"Ann\"))\n"
      "label$ = \"changed\"\n"
      "End r + lstrlen_(PeekL(@label$))\n",
      options, kMainHarness, {folder / "maths.obj"});
  ASSERT_EQ(run.error, "") << run.listing;
  EXPECT_EQ(run.output, "start: Hello\n");
  EXPECT_EQ(run.exitCode, 26 + 44 + 11 + 7) << run.listing;
  std::filesystem::remove_all(folder);
}

TEST(RunProgram, ProceduresHaveTheirOwnListsAndArrays) {
  expectExit(
      "Global NewList values()\n"
      "Procedure Work(n)\n"
      "  Protected values, NewList values(), Dim squares.w(20)\n"  // a frame cleared by a loop
      "  For i = 1 To n\n"
      "    AddElement(values()) : values() = i * 5 % 7\n"  // 5 3 1 6
      "    squares(i) = squares(i) + i * i\n"
      "  Next\n"
      "  SortList(values(), 0)\n"
      "  FirstElement(values()) : values = values() * 10\n"
      "  NextElement(values())\n"
      "  ProcedureReturn values + values() + squares(n) + ListSize(values()) * 100\n"
      "EndProcedure\n"
      "a = Work(4)\nIf a <> Work(4) : End 1 : EndIf\n"
      "End a - 400 + ListSize(values())\n",
      10 + 3 + 16);
}

TEST(RunProgram, InlineAssemblyIsPassedThrough) {
  expectExit("x = 20\n!MOV eax,dword [v_x]\n!ADD eax,22\n!MOV dword [v_x],eax\nEnd x\n", 42);
}

TEST(RunProgram, FallingOffTheEndExitsWithZero) {
  const ProgramRun run = compileAndRun("x = 1\n");
  ASSERT_EQ(run.error, "");
  EXPECT_EQ(run.exitCode, 0);
}

// Procedure bodies are later rewritten by splitting each line at " ,+[]" and joining the
// tokens with single spaces; the rewritten listing must still assemble and behave the same.
std::string rewriteBodies(const std::string& listing) {
  std::istringstream in(listing);
  std::string line;
  std::string out;
  bool inBody = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("macro MP", 0) == 0) {
      inBody = true;
    } else if (inBody && line == "}") {
      inBody = false;
    } else if (inBody && line.rfind("_Procedure", 0) != 0) {
      std::vector<std::string> tokens;
      std::string current;
      for (char c : line) {
        if (c == ' ' || c == ',' || c == '+' || c == '[' || c == ']') {
          if (!current.empty()) tokens.push_back(current);
          current.clear();
          if (c != ' ') tokens.push_back(std::string(1, c));
        } else {
          current += c;
        }
      }
      if (!current.empty()) tokens.push_back(current);
      if (!tokens.empty() && tokens[0][0] == ';') continue;
      line.clear();
      for (std::size_t i = 0; i < tokens.size(); ++i)
        line += (i == 0 ? "  " : "") + tokens[i] + " ";
    }
    out += line + "\r\n";
  }
  return out;
}

TEST(RunProgram, BodiesSurviveTheTokenRewrite) {
  const std::string source =
      "Global Dim cells.w(8), total\n"
      "DataSection\n  numbers:\n  Data.l 3, 4, 5\nEndDataSection\n"
      "Procedure.w Work(a.b, b$)\n"
      "  Protected i\n"
      "  For i = 0 To 2 : cells(i + 1) = PeekL(?numbers + i * 4) * a : Next\n"
      "  total = cells(1) + cells(2) + cells(3) + Len(b$)\n"
      "  ProcedureReturn total\n"
      "EndProcedure\n"
      "End Work(2, \"with spaces, and commas\")\n";
  const CompileResult compiled = compileProgram(source, {});
  ASSERT_TRUE(compiled.ok) << compiled.message;
  namespace ts = brisko::testsupport;
  const std::filesystem::path folder = ts::makeTempFolder("standin_rewrite");
  {
    std::ofstream out(folder / "rewritten.asm", std::ios::binary);
    out << rewriteBodies(compiled.listing);
  }
  std::string log;
  ASSERT_TRUE(ts::assembleFasm(folder / "rewritten.asm", folder / "rewritten.obj", &log)) << log;
  const ts::X86Run run = ts::linkAndRun({folder / "rewritten.obj"}, kMainHarness, folder);
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.exitCode, 24 + 23);
  std::filesystem::remove_all(folder);
}

// The real compilers' layouts run as the classic one; the later ones start at PureBasicStart.
ProgramRun runIn(ListingLayout layout, const std::string& source) {
  CompileOptions options;
  options.layout = layout;
  const bool main = layout == ListingLayout::classic || layout == ListingLayout::macros;
  return compileAndRun(source, options, main ? kMainHarness : R"(#include "x86_harness.h"
void pb_main(void) __asm__("PureBasicStart");
int harness_main(void) { pb_main(); return 99; })");
}

TEST(RunProgram, TheGenerationsLayoutsRunAsTheClassicOne) {
  const std::pair<const char*, int> programs[] = {
      {"Procedure.s Name(n)\n  If n = 1 : ProcedureReturn \"one\" : EndIf\n"
       "  ProcedureReturn \"many\"\nEndProcedure\n"
       "Procedure Unused()\n  MessageRequester(\"never\", \"shown\")\nEndProcedure\n"
       "Procedure OnlyInData(x)\n  ProcedureReturn x * 2\nEndProcedure\n"
       "ProcedureCDLL Count()\n  Static calls, base = 40\n  calls = calls + 1\n"
       "  ProcedureReturn base + calls\nEndProcedure\n"
       "Procedure Finish(code)\n  MessageRequester(\"finish\", Name(code))\n"
       "  If code : End Count() + code : EndIf\n  ProcedureReturn\nEndProcedure\n"
       "DataSection\n  table:\n  Data.i @OnlyInData(), @Count()\nEndDataSection\n"
       "MessageRequester(\"start\", Name(1))\nCount()\n"
       // The x64 listing, whose ExitProcess is undecorated, passes the argument in rcx.
       "!if defined ExitProcess\n!MOV rcx,21\n!SUB rsp,40\n!CALL qword [l_table]\n"
       "!ADD rsp,40\n!MOV [v_r],rax\n!else\n"
       "!PUSH 21\n!CALL dword [l_table]\n!MOV [v_r],eax\n!end if\nFinish(r + Finish(0))\nEnd 1\n",
       42 + 42},
      {"Procedure Stop()\n  MessageRequester(\"bye\", \"now\")\n  End\nEndProcedure\n"
       "Stop()\nMessageRequester(\"never\", \"here\")\nEnd 5\n",
       0},
      // Only the real compilers' layouts have the p. equates of parameters and locals.
      {"Procedure Mix(a, b)\n  Protected c = 100\n  !MOV eax,[p.v_a]\n  !IMUL eax,[p.v_b]\n"
       "  !ADD [p.v_c],eax\n  ProcedureReturn c\nEndProcedure\nEnd Mix(3, 4) + Mix(1, 2)\n",
       112 + 102},
  };
  CompileOptions x64;
  x64.target = Target::x64;
  for (const auto& [source, exitCode] : programs) {
    const ProgramRun run64 = compileAndRun(source, x64, kMainHarness64);
    EXPECT_EQ(run64.error, "");
    EXPECT_EQ(run64.exitCode, exitCode) << run64.listing;
    const ProgramRun classic = runIn(ListingLayout::classic, source);
    for (ListingLayout layout :
         {ListingLayout::macros, ListingLayout::afterBss, ListingLayout::afterEndCode}) {
      const ProgramRun run = runIn(layout, source);
      ASSERT_EQ(run.error, "") << run.listing;
      EXPECT_EQ(run.exitCode, exitCode) << run.listing;
      EXPECT_TRUE(!classic.error.empty() || run.output == classic.output) << run.output;
    }
  }
}

// A module's items keep their values apart from the main program's of the same name, and its
// procedure from the main program's and another module's procedure of the same name.
TEST(RunProgram, ModulesRunInTheGenerationsThatKnowThem) {
  const std::string source =
      "Global total = 1000\n"
      "DeclareModule Counter\n  Global total, Dim history.l(3), NewList seen()\n"
      "  Declare Add(n)\n  #Limit = 3\nEndDeclareModule\n"
      "Module Counter\n  Procedure Add(n)\n    Static base = 10, count\n"
      "    DataSection\n    weights:\n    Data.l 1, 2, 3\n    EndDataSection\n"
      "    count = count + 1\n    history(count) = n * PeekL(?weights + 4 * (count - 1))\n"
      "    AddElement(seen()) : seen() = n\n    total = total + history(count) + PeekL(?bonus)\n"
      "    ProcedureReturn base + count\n  EndProcedure\n"
      "  DataSection\n  bonus:\n  Data.l 100\n  EndDataSection\nEndModule\n"
      "DeclareModule Other\n  Declare Add(n)\nEndDeclareModule\n"
      "Module Other\n  Procedure Add(n)\n    ProcedureReturn n + 1\n  EndProcedure\nEndModule\n"
      "Procedure Add(n)\n  ProcedureReturn n * 2 + Counter::Add(n)\nEndProcedure\n"
      "r = Add(5) + Add(4) + Counter::Add(2) + Other::Add(1)\n"  // 21 + 20 + 13 + 2
      "UseModule Counter\nResetList(seen())\nWhile NextElement(seen()) : s = s + seen() : Wend\n"
      "End r + s + Counter::history(2) + ListSize(seen()) + Counter::total % 100 + "
      "(total = 1000) * 100 + #Limit\n";
  const int expected = 56 + (5 + 4 + 2) + 4 * 2 + 3 + (105 + 108 + 106) % 100 + 100 + 3;
  CompileOptions x64;
  x64.target = Target::x64;
  const ProgramRun run64 = compileAndRun(source, x64, kMainHarness64);
  ASSERT_EQ(run64.error, "") << run64.listing;
  EXPECT_EQ(run64.exitCode, expected) << run64.listing;
  for (ListingLayout layout : {ListingLayout::afterBss, ListingLayout::afterEndCode}) {
    const ProgramRun run = runIn(layout, source);
    ASSERT_EQ(run.error, "") << run.listing;
    EXPECT_EQ(run.exitCode, expected) << run.listing;
  }
}

TEST(RunProgram, TheObjectLinksAsAWindowsProgram) {
  const CompileResult compiled = compileProgram(
      "Global Dim t.l(3)\nProcedureDLL Add(a, b)\n  ProcedureReturn a + b\nEndProcedure\n"
      "t(1) = Add(1, 2)\nMessageRequester(\"a\", \"b\")\nMessageBox_(0, \"x\", \"y\", 0)\nEnd "
      "t(1)\n",
      {});
  ASSERT_TRUE(compiled.ok) << compiled.message;
  namespace ts = brisko::testsupport;
  const std::filesystem::path folder = ts::makeTempFolder("standin_winlink");
  {
    std::ofstream out(folder / "PureBasic.asm", std::ios::binary);
    out << compiled.listing;
  }
  std::string log;
  ASSERT_TRUE(ts::assembleFasm(folder / "PureBasic.asm", folder / "PureBasic.obj", &log)) << log;
  const ts::LinkCheck check = ts::linkForWindows({folder / "PureBasic.obj"}, kMainHarness, folder);
  EXPECT_TRUE(check.linked) << check.log;
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace standin::testing
