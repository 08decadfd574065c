// The layout of the listing, checked the way the converter reads it: the header with its
// marker lines and extrn block, procedures as comment + macro + entry label + body + "}",
// the first data section with the string constants, the bss and the DataSection contents.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "compiler.h"

namespace standin {
namespace {

std::vector<std::string> listingLines(const std::string& source, CompileOptions options = {},
                                      ListingLayout layout = ListingLayout::classic) {
  options.layout = layout;
  const CompileResult result = compileProgram(source, options);
  EXPECT_TRUE(result.ok) << "line " << result.errorLine << ": " << result.message;
  std::vector<std::string> lines;
  std::istringstream in(result.listing);
  std::string line;
  while (std::getline(in, line)) {
    EXPECT_FALSE(line.empty() || line.back() != '\r') << "every line ends with CR LF";
    if (!line.empty()) line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// What a reader of the header learns, following its marker lines.
struct Header {
  std::vector<std::string> libraries;  // lines 8.. up to "; :System"
  std::vector<std::string> systemLibraries;
  std::vector<std::string> importLibraries;
  std::vector<std::string> externals;
  std::size_t programStart = 0;  // the line after "; :"
};

Header readHeader(const std::vector<std::string>& lines) {
  Header header;
  std::size_t i = 7;
  for (; lines.at(i) != "; :System"; ++i) header.libraries.push_back(lines[i].substr(2));
  for (++i; lines.at(i) != "; :Import"; ++i) header.systemLibraries.push_back(lines[i].substr(2));
  for (++i; lines.at(i) != "; "; ++i) header.importLibraries.push_back(lines[i].substr(2));
  EXPECT_EQ(lines.at(i + 1), "format MS COFF");
  EXPECT_EQ(lines.at(i + 2), "; ");
  for (i += 3; lines.at(i).rfind("public", 0) != 0; ++i) {
    if (lines[i][0] == ';') continue;
    EXPECT_EQ(lines[i].substr(0, 6), "extrn ");
    header.externals.push_back(lines[i].substr(6));
  }
  while (lines.at(i) != "; :") ++i;
  header.programStart = i + 1;
  return header;
}

std::size_t indexOf(const std::vector<std::string>& lines, const std::string& wanted,
                    std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i] == wanted) return i;
  }
  return std::string::npos;
}

TEST(Listing, HeaderNamesLibrariesAndExternalsInGroups) {
  const std::vector<std::string> lines = listingLines(
      "Import \"extra.lib\"\n  Helper(a)\nEndImport\n"
      "x = Len(\"abc\") + PeekL(@x)\nMessageBox_(0, \"a\", \"b\", 0)\nHelper(1)\n");
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(lines[i].substr(0, 1), ";");
  EXPECT_NE(lines[1].find("PureBasic 4.20"), std::string::npos);
  const Header header = readHeader(lines);
  EXPECT_EQ(header.libraries, (std::vector<std::string>{"String", "Memory"}));
  EXPECT_EQ(header.systemLibraries, (std::vector<std::string>{"KERNEL32", "USER32"}));
  EXPECT_EQ(header.importLibraries, (std::vector<std::string>{"extra.lib"}));
  EXPECT_EQ(header.externals,
            (std::vector<std::string>{"_PB_Len@4", "_PB_PeekL@4", "_ExitProcess@4",
                                      "_MessageBoxA@16", "_Helper@4"}));
  // Groups are separated by "; " lines.
  const std::size_t len = indexOf(lines, "extrn _PB_PeekL@4");
  EXPECT_EQ(lines[len + 1], "; ");
  EXPECT_EQ(lines[len + 2], "extrn _ExitProcess@4");
  EXPECT_EQ(lines[header.programStart], "; Import \"extra.lib\"");
}

// Imported symbols that FASM might not take as names ("add" is an instruction) or that look
// like the listing's own labels get labels of their own; only the imports a program uses are
// declared.
TEST(Listing, ImportedSymbolsAreDeclaredUnderNamesFasmTakes) {
  const std::vector<std::string> lines = listingLines(
      "Import \"m.obj\"\n  Add(a.i,b.i) As \"Add\"\n  Plain(a) As \"_plain@4\"\n"
      "  Unused(a)\n  small.w AS \"it's$\"\n  implicit.b\nEndImport\n"
      "ImportC \"m.obj\"\n  text$\n  Sub(a)\n  S1\nEndImport\n"
      "x = Add(1, 2) + Plain(3) + small + implicit + Sub(4)\ns$ = text$\nPokeL(@small, S1)\n");
  EXPECT_EQ(readHeader(lines).externals,
            (std::vector<std::string>{"_PB_PokeL@8", "_ExitProcess@4", "'Add' as ip_Add",
                                      "_plain@4", "\"it's$\" as iv_small", "_implicit", "_Sub",
                                      "_text$", "'_S1' as iv_S1"}));
  for (const char* code :
       {"  CALL ip_Add", "  CALL _plain@4", "  MOVSX eax,word [iv_small]",
        "  MOVSX eax,byte [_implicit]", "  MOV eax,dword [_text$]", "  MOV eax,iv_small"}) {
    EXPECT_NE(indexOf(lines, code), std::string::npos) << code;
  }
  EXPECT_EQ(indexOf(lines, "iv_small rw 1"), std::string::npos);  // no storage of its own
}

TEST(Listing, StringFunctionsAndWindowsFunctionsFollowTheSwitches) {
  CompileOptions options;
  options.thread = true;
  options.unicode = true;
  const Header header = readHeader(listingLines(
      "MessageRequester(\"a\", \"b\", 0)\nx = Len(\"c\") + PeekL(0) + lstrlen_(\"d\") + "
      "GetTickCount_()\n",
      options));
  const std::set<std::string> externals(header.externals.begin(), header.externals.end());
  EXPECT_EQ(externals, (std::set<std::string>{"_PB_MessageRequester2_THREAD_UNICODE@12",
                                              "_PB_Len_THREAD_UNICODE@4", "_PB_PeekL@4",
                                              "_lstrlenW@4", "_GetTickCount@0", "_ExitProcess@4"}));
  EXPECT_EQ(header.systemLibraries, (std::vector<std::string>{"KERNEL32"}));
}

TEST(Listing, UnicodeStringConstantsAreWords) {
  CompileOptions options;
  options.unicode = true;
  const std::vector<std::string> lines = listingLines(
      "a$ = \"it's \xC3\xA9\"\nDataSection\nt:\nData.s \"ok\"\nEndDataSection\n", options);
  EXPECT_NE(indexOf(lines, "_S1: du 'it',39,'s ',233,0"), std::string::npos);
  EXPECT_NE(indexOf(lines, "dw 111,107,0"), std::string::npos);
}

TEST(Listing, ProceduresAreCommentMacroLabelBodyAndBrace) {
  const std::vector<std::string> lines = listingLines(
      "; leading comment\n"
      "ProcedureDLL.l Add(a, b)\n  ProcedureReturn a + b\nEndProcedure\n\n"
      "Procedure Twice(x)\n  ProcedureReturn Add(x, x)\nEndProcedure\n"
      "y = Twice(2)\n");
  const std::size_t first = indexOf(lines, "; ProcedureDLL.l Add(a, b)");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(lines[first - 1], "; ; leading comment");
  EXPECT_EQ(lines[first + 1], "macro MP0{");
  EXPECT_EQ(lines[first + 2], "_Procedure0:");
  const std::size_t close = indexOf(lines, "}", first);
  EXPECT_EQ(lines[close - 1], "  RET 8");
  EXPECT_NE(indexOf(lines, "; EndProcedure", first), std::string::npos);
  EXPECT_EQ(lines[close + 1], "; Procedure Twice(x)");
  EXPECT_EQ(lines[close + 2], "macro MP1{");
  EXPECT_EQ(lines[close + 3], "_Procedure1:");
  EXPECT_NE(indexOf(lines, "  CALL _Procedure0", close), std::string::npos);
  // After the main code come the macro invocations, then the end code.
  const std::size_t mp0 = indexOf(lines, "MP0");
  ASSERT_NE(mp0, std::string::npos);
  EXPECT_EQ(lines[mp0 + 1], "MP1");
  EXPECT_LT(indexOf(lines, "; y = Twice(2)"), mp0);
  EXPECT_LT(mp0, indexOf(lines, "section '.data' data readable writeable"));
}

TEST(Listing, CdeclProceduresLeaveTheStackToTheCaller) {
  const std::vector<std::string> lines =
      listingLines("ProcedureC C2(a, b)\n  ProcedureReturn a\nEndProcedure\nx = C2(1, 2)\n");
  const std::size_t close = indexOf(lines, "}");
  EXPECT_EQ(lines[close - 1], "  RET");
  const std::size_t call = indexOf(lines, "  CALL _Procedure0", close);
  ASSERT_NE(call, std::string::npos);
  EXPECT_EQ(lines[call + 1], "  ADD esp,8");
}

TEST(Listing, DataAndBssSectionsInTheirOrder) {
  const std::vector<std::string> lines = listingLines(
      "Global count.l = 3, flag.b, Dim table.l(10), NewList items.l()\n"
      "Dim bytes.b(4)\n"
      "MessageRequester(\"Hello world\", \"Hello world\")\n"
      "DataSection\n  first:\n  Data.l 1, 2, ?second\n  second:\n  Data.b 7, 8\n"
      "  Data.w 9\n  Data.s \"a b\"\nEndDataSection\n");
  const std::size_t data = indexOf(lines, "section '.data' data readable writeable");
  ASSERT_NE(data, std::string::npos);
  EXPECT_EQ(lines[data + 1], "_SYS_StaticStringStart:");
  EXPECT_EQ(lines[data + 2], "_S1: db 'Hello world',0");  // one constant for both uses
  EXPECT_EQ(lines[data + 3], "align 4");
  EXPECT_EQ(lines[data + 4], "section '.bss' readable writeable");
  const std::vector<std::string> bss(lines.begin() + static_cast<std::ptrdiff_t>(data) + 5,
                                     lines.begin() + static_cast<std::ptrdiff_t>(data) + 14);
  EXPECT_EQ(bss,
            (std::vector<std::string>{"v_count rd 1", "v_flag rb 1", "a_table:", "rd  11",
                                      "t_items rd 1", "a_bytes:", "rd  2", "PB_DataPointer rd 1",
                                      "section '.data' data readable writeable"}));
  const std::vector<std::string> tail(lines.begin() + static_cast<std::ptrdiff_t>(data) + 14,
                                      lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"l_first:", "dd 1,2,l_second", "l_second:", "db 7,8",
                                            "dw 9", "db 'a b',0"}));
  // Initial values are assigned by the main code.
  EXPECT_NE(indexOf(lines, "  MOV dword [v_count],eax"), std::string::npos);
}

TEST(Listing, SharedVariablesKeepTheSpellingOfTheirDeclaration) {
  const std::vector<std::string> lines =
      listingLines("total = 1\nPublic Total\nTOTAL = TOTAL + 1\nGlobal Name$\n");
  EXPECT_NE(indexOf(lines, "v_Total rd 1"), std::string::npos);
  EXPECT_NE(indexOf(lines, "v_Name$ rd 1"), std::string::npos);
  EXPECT_EQ(indexOf(lines, "v_total rd 1"), std::string::npos);
  EXPECT_NE(indexOf(lines, "  MOV dword [v_Total],eax"), std::string::npos);
}

TEST(Listing, NoSectionLineAppearsInTheProgramPart) {
  const std::vector<std::string> lines =
      listingLines("Procedure P()\n  ProcedureReturn 1\nEndProcedure\nx = P()\n");
  const Header header = readHeader(lines);
  const std::size_t data = indexOf(lines, "section '.data' data readable writeable");
  for (std::size_t i = header.programStart; i < data; ++i) {
    EXPECT_NE(lines[i].substr(0, 7), "section") << i;
  }
}

TEST(Listing, InlineSectionLinesAreRefused) {
  EXPECT_FALSE(compileProgram("!section '.x' code\n", {}).ok);
}

// A converted library runs no main code: a procedure body may name its own labels, entry
// labels of procedures, data and bss labels and externals, never a label of the main code.
TEST(Listing, ProcedureBodiesNameNoLabelOfTheMainCode) {
  const std::vector<std::string> lines = listingLines(
      "Global g\nDim local(3)\n"
      "If g : g = 2 : EndIf\nWhile g < 3 : g = g + 1 : Wend\n"
      "Procedure P(n)\n  If n > 0 : End n : EndIf\n  For i = 1 To n : g = g + i : Next\n"
      "  Repeat : n = n - 1 : Until n < 0\n  ProcedureReturn P(n - 1)\nEndProcedure\n"
      "For k = 1 To 2 : P(k) : Next\nEnd\n");
  std::set<std::string> mainLabels;
  std::set<std::string> bodyTokens;
  bool inBody = false;
  const Header header = readHeader(lines);
  for (std::size_t i = header.programStart; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("section", 0) == 0) break;
    if (line.rfind("macro MP", 0) == 0) {
      inBody = true;
    } else if (line == "}") {
      inBody = false;
    } else if (!line.empty() && line.back() == ':' && !inBody) {
      mainLabels.insert(line.substr(0, line.size() - 1));
    } else if (inBody && line.rfind("  ", 0) == 0) {
      std::string token;
      for (char c : line + " ") {
        if (c == ' ' || c == ',' || c == '[' || c == ']' || c == '+') {
          if (!token.empty()) bodyTokens.insert(token);
          token.clear();
        } else {
          token += c;
        }
      }
    }
  }
  ASSERT_FALSE(mainLabels.empty());
  for (const std::string& label : mainLabels) EXPECT_EQ(bodyTokens.count(label), 0u) << label;
}

// From the start label on: sections, procedure lines and labels, macros and markers.
std::string skeletonOf(const std::vector<std::string>& lines) {
  std::string skeleton;
  bool started = false;
  for (std::string line : lines) {
    started = started || line == "public main" || line == "public PureBasicStart";
    bool mark = line == "}" || line == "I_BSSEnd:";
    for (const char* prefix : {"public", "section", "; Procedure ", "; ProcedureDLL ", "_Procedure",
                               "_EndProc", "macro MP", "MP", "_PB_EOP", "_PB_EndF"}) {
      mark = mark || line.rfind(prefix, 0) == 0;
    }
    if (!started || !mark) continue;
    if (line.rfind("section '.", 0) == 0) {
      line = line.substr(10, line.find('\'', 10) - 10) +
             line.substr(std::min(line.find(" align"), line.size()));
    }
    skeleton += line + "|";
  }
  return skeleton;
}

// Exported() is kept though never called, Unused() is left out; numbers go to exported
// procedures first, then from the last procedure up, two apart.
TEST(Listing, TheGenerationsPlaceSectionsProceduresAndMarkersTheirWay) {
  const std::string ends = "_PB_EOP_NoValue:|_PB_EOP:|_PB_EndFunctions:|";
  const std::string procedures =
      "; ProcedureDLL Exported() |_Procedure0:|_EndProcedure1:|; Procedure Helper(x) |"
      "_Procedure4:|_EndProcedure5:|";
  const struct {
    ListingLayout layout;
    std::string version, skeleton;
  } layouts[] = {
      {ListingLayout::macros, "4.50",
       "public main|code|; Procedure Helper(x)|macro MP4{|_Procedure4:|_EndProcedure5:|}|"
       "; Procedure Unused()|macro MP2{|_Procedure2:|_EndProcedure3:|}|"
       "; ProcedureDLL Exported()|macro MP0{|_Procedure0:|_EndProcedure1:|}|" +
           ends + "MP0|MP4|data|bss|I_BSSEnd:|data|"},
      {ListingLayout::afterBss, "5.31",
       "public PureBasicStart|code align 4096|" + ends + "data|bss|I_BSSEnd:|code align 4096|" +
           procedures + "data|"},
      {ListingLayout::afterEndCode, "5.73 LTS",
       "public PureBasicStart|code align 8|" + ends + procedures + "data|bss|I_BSSEnd:|data|"},
  };
  for (const auto& expected : layouts) {
    const std::vector<std::string> lines = listingLines(
        "Procedure Helper(x)\n  ProcedureReturn x * 2\nEndProcedure\nProcedure Unused()\n"
        "EndProcedure\nProcedureDLL Exported()\n  ProcedureReturn Helper(1)\nEndProcedure\n"
        "End Helper(3)\n",
        {}, expected.layout);
    EXPECT_EQ(lines.at(1), "; PureBasic " + expected.version + " (Windows - x86) generated code");
    EXPECT_EQ(indexOf(lines, "; :"), std::string::npos);
    EXPECT_EQ(skeletonOf(lines), expected.skeleton) << expected.version;
    for (std::size_t i = 1; i < lines.size() && expected.layout != ListingLayout::macros; ++i) {
      EXPECT_TRUE(lines[i].rfind("_Procedure", 0) != 0 || lines[i - 1].rfind("; Proc", 0) == 0);
    }
  }
}

TEST(Listing, TheGenerationsCarryRuntimeItemsStaticsAddressesAndEquates) {
  const std::vector<std::string> lines = listingLines(
      "Procedure P(a)\n  Static n, s = 3\n  Protected b\n  DataSection\n  here:\n"
      "  Data.i @P()\n  EndDataSection\n  b = a\n  !MOV eax,[p.v_b]\n  If a : End : EndIf\n"
      "  ProcedureReturn\nEndProcedure\nP(1)\n",
      {}, ListingLayout::afterEndCode);
  // In this order, each at the start of a line.
  std::istringstream wanted(
      "public PB_Instance|macro pb_public symbol|macro pb_bssalign|public PureBasicStart|"
      "_Procedure0:|p.v_a equ esp+PS0+12|p.v_b equ esp+PS0+0|; !MOV eax,[p.v_b]|"
      "  JMP _PB_EOP_NoValue|_EndProcedureZero1:|PS0=0|section '.data'|"
      "pb_public PB_DEBUGGER_LineNumber|so_P.v_s dd 3|section '.bss'|PB_MemoryBase rd 1|"
      "so_P.v_n rd 1|section '.data'|ll_p_here:|dd _Procedure0");
  auto line = lines.begin();
  for (std::string text; std::getline(wanted, text, '|');) {
    line = std::find_if(line, lines.end(),
                        [&](const std::string& l) { return l.rfind(text, 0) == 0; });
    ASSERT_NE(line, lines.end()) << text;
  }
}

// ---- The x64 target ------------------------------------------------------------------------

std::vector<std::string> x64Lines(const std::string& source, CompileOptions options = {}) {
  options.target = Target::x64;
  return listingLines(source, options, ListingLayout::classic);  // x64 has one layout only
}

// Expects the texts, separated by '|', at the start of lines in this order.
void expectInOrder(const std::vector<std::string>& lines, const std::string& texts) {
  std::istringstream wanted(texts);
  auto line = lines.begin();
  for (std::string text; std::getline(wanted, text, '|');) {
    line = std::find_if(line, lines.end(),
                        [&](const std::string& l) { return l.rfind(text, 0) == 0; });
    ASSERT_NE(line, lines.end()) << text;
  }
}

// What the runs do not show: the header's lines, the names' order, the cells' directives and
// where the exit code waits.
TEST(ListingX64, NamesTheTargetAndUsesSixtyFourBitCells) {
  CompileOptions options;
  options.thread = options.unicode = true;
  const std::vector<std::string> lines = x64Lines(
      "Import \"extra.lib\"\n  Helper(a)\nEndImport\nGlobal x, y.l, s$\n"
      "DataSection\n  here:\n  Data.i 1, ?here\nEndDataSection\n"
      "x = Len(\"abc\") + Helper(1) + MessageBox_(0, \"a\", \"b\", 0)\nEnd x\n",
      options);
  expectInOrder(lines,
                "; PureBasic 5.73 LTS (Windows - x64) generated code|format MS64 COFF|"
                "extrn PB_Len_THREAD_UNICODE|extrn ExitProcess|extrn MessageBoxW|"
                "extrn 'Helper' as ip_Helper|public PB_ExecutableType|"
                "section '.code' code readable executable align 8|"
                "  MOV qword [PB_ExitCode],rax|  MOV rcx,qword [PB_ExitCode]|"
                "PB_ExecutableType: dq 0|pb_align 8|PB_Instance: rq 1|v_x rq 1|v_y rd 1|"
                "v_s$ rq 1|PB_ExitCode: rq 1|pb_bssalign 8|PB_DataPointer rq 1|"
                "dq 1,l_here");
}

// Follows rsp through the code, which runs from top to bottom between labels that all stand
// where rsp is at its statement level (the epilogues make no call); returns the CALL lines
// where rsp is no multiple of 16.
std::vector<std::string> misalignedCalls(const std::vector<std::string>& lines) {
  std::vector<std::string> misaligned;
  long long below = 8;  // bytes below a multiple of 16: a CALL has just pushed its address
  for (const std::string& line : lines) {
    const auto amount = [&] { return std::stoll(line.substr(line.find(',') + 1)); };
    if (line == "PureBasicStart:" || line.rfind("_Procedure", 0) == 0) below = 8;
    if (line.rfind("  PUSH ", 0) == 0) below += 8;
    if (line.rfind("  POP ", 0) == 0) below -= 8;
    if (line.rfind("  SUB rsp,", 0) == 0) below += amount();
    if (line.rfind("  ADD rsp,", 0) == 0) below -= amount();
    if (line.rfind("  CALL ", 0) == 0 && below % 16 != 0) misaligned.push_back(line);
  }
  return misaligned;
}

// The form of the convention, and rsp aligned at every call (which the stubs do not check).
TEST(ListingX64, ProceduresFollowTheWindowsX64Convention) {
  const std::vector<std::string> lines = x64Lines(
      "ProcedureC Two(a, b)\n  If a > 0 : ProcedureReturn Two(a - 1, b) + Len(\"x\") : EndIf\n"
      "EndProcedure\n"
      "ProcedureDLL Six(a, b, c, d, e, f)\n  Protected x, Dim t.w(100), NewList l()\n"
      "  AddElement(l()) : t(a) = Two(b, 1) + ListSize(l())\n  ProcedureReturn f\nEndProcedure\n"
      "x = Two(1, 2)\ny = 1 + Six(1, 2, 3, 4, 5, Six(1, 2, 3, 4, 5, 6))\n");
  expectInOrder(lines,
                "; x = Two(1, 2)|  SUB rsp,40|  CALL _Procedure2|  ADD rsp,40|_Procedure0:|"
                "  MOV qword [rsp+8],rcx|  MOV qword [rsp+16],rdx|  MOV qword [rsp+24],r8|"
                "  MOV qword [rsp+32],r9|  PUSH rbp|  MOV rbp,rsp|  SUB rsp,232|  RET");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.rfind("  RET ", 0) == 0 &&
                                   l.find_first_not_of(' ', 5) != std::string::npos;
                          }),
            0);
  EXPECT_EQ(misalignedCalls(lines), std::vector<std::string>{});
}

// ---- Modules --------------------------------------------------------------------------------

// Every kind of item label carries the module's name, inside the module and where the main
// program reaches an item through "sgl::"; the procedure after EndModule shares its module
// procedure's name and gets a number of its own.
TEST(ListingModules, ItemLabelsCarryTheModuleNameInTheGenerationsThatKnowModules) {
  const std::string source =
      "DeclareModule sgl\n  Global count.l, Dim table.l(4), NewList items.l()\n"
      "  Declare Bump(n)\n  #Step = 3\nEndDeclareModule\n"
      "Module sgl\n  Global hidden.l = 2\n  Procedure Bump(n)\n    Static calls.l, base.l = 40\n"
      "    DataSection\n    Inner:\n    Data.l 7\n    EndDataSection\n"
      "    calls = calls + 1\n    count = count + n * #Step + PeekL(?inner) + PeekL(?outer)\n"
      "    table(1) = count\n    AddElement(items()) : items() = calls\n"
      "    ProcedureReturn base + calls + hidden\n  EndProcedure\n"
      "  DataSection\n  outer:\n  Data.l 5\n  EndDataSection\nEndModule\n"
      "Procedure Bump(n)\n  ProcedureReturn n * 100 + sgl::Bump(n)\nEndProcedure\n"
      "x = Bump(1) + sgl::count + sgl::table(1) + sgl::items() + #sgl::Step\nEnd x\n";
  CompileOptions x64;
  x64.target = Target::x64;
  for (const auto& [options, layout] : {std::pair{CompileOptions{}, ListingLayout::afterBss},
                                        {CompileOptions{}, ListingLayout::afterEndCode},
                                        {x64, ListingLayout::afterEndCode}}) {
    SCOPED_TRACE(static_cast<int>(layout) + 10 * static_cast<int>(options.target));
    const std::vector<std::string> lines = listingLines(source, options, layout);
    expectInOrder(lines,
                  "; DeclareModule sgl|; EndDeclareModule|; Module sgl|; EndModule|; x = Bump(1)|"
                  "; Procedure Bump(n) |_Procedure0:|  CALL _Procedure2|; Procedure Bump(n) |"
                  "_Procedure2:");
    expectInOrder(lines,
                  "sgl.so_Bump.v_base d|sgl.v_count r|sgl.a_table:|r|sgl.t_items r|"
                  "sgl.v_hidden r|sgl.so_Bump.v_calls r|v_x r|sgl.ll_bump_inner:|dd 7|"
                  "sgl.l_outer:|dd 5");
    std::string mainCode;
    const auto use = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.rfind("; x = Bump(1)", 0) == 0;
    });
    for (auto line = use; line != lines.end() && *line != "; End x"; ++line) {
      mainCode += *line + "\n";
    }
    for (const char* label :
         {"CALL _Procedure0", "[sgl.v_count]", "sgl.a_table", "[sgl.t_items]"}) {
      EXPECT_NE(mainCode.find(label), std::string::npos) << label << " in\n" << mainCode;
    }
  }
}

}  // namespace
}  // namespace standin
