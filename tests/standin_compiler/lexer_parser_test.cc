// The lexer's literals and line structure, and the parser's errors with their line numbers.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "compiler.h"
#include "lexer.h"
#include "parser.h"

namespace standin {
namespace {

std::vector<Token> lex(const std::string& source) {
  return tokenize(splitSourceLines(source));
}

TEST(Lexer, NumberLiteralsInEveryBase) {
  const std::vector<Token> tokens = lex("x = 12 + $1F - %101 * 'AB'");
  ASSERT_EQ(tokens.size(), 11u);  // with the line end and the file end
  EXPECT_EQ(tokens[2].value, 12);
  EXPECT_EQ(tokens[4].value, 31);
  EXPECT_EQ(tokens[6].value, 5);
  EXPECT_EQ(tokens[8].value, 'A' * 256 + 'B');
  EXPECT_EQ(tokens[8].kind, TokenKind::number);
}

TEST(Lexer, PercentAfterAnOperandIsModulo) {
  const std::vector<Token> tokens = lex("r = a %10");
  ASSERT_EQ(tokens.size(), 7u);
  EXPECT_EQ(tokens[3].text, "%");
  EXPECT_EQ(tokens[4].value, 10);
}

TEST(Lexer, StringsCommentsConstantsAndNames) {
  const std::vector<Token> tokens = lex("a$ = \"x ; y\" ; comment\n#Max = 3");
  EXPECT_EQ(tokens[0].text, "a$");
  EXPECT_EQ(tokens[2].kind, TokenKind::string);
  EXPECT_EQ(tokens[2].text, "x ; y");
  EXPECT_EQ(tokens[3].kind, TokenKind::endOfLine);
  EXPECT_EQ(tokens[4].kind, TokenKind::constant);
  EXPECT_EQ(tokens[4].text, "Max");
  EXPECT_EQ(tokens[4].line, 2);
}

TEST(Lexer, InlineAssemblyKeepsTheWholeLine) {
  const std::vector<Token> tokens = lex("  !MOV eax, [v_x] ; kept\n");
  ASSERT_EQ(tokens[0].kind, TokenKind::inlineAsm);
  EXPECT_EQ(tokens[0].text, "MOV eax, [v_x] ; kept");
}

TEST(Lexer, LinesSplitOnCrLfAndTheByteOrderMarkIsDropped) {
  const std::vector<std::string> lines = splitSourceLines(
      "\xEF\xBB\xBF"
      "a\r\nb\n\nc");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "c");
}

TEST(Lexer, UnterminatedStringIsAnError) {
  try {
    lex("x = 1\ny$ = \"open");
    FAIL();
  } catch (const CompileError& error) {
    EXPECT_EQ(error.line, 2);
  }
}

TEST(Parser, BuildsNestedBlocksWithTheirClosingLines) {
  const Program program = parse(
      lex("Procedure.w F(a, b$ = \"x\")\n  If a\n  ElseIf a > 1\n  Else\n  EndIf\nEndProcedure\n"));
  ASSERT_EQ(program.statements.size(), 1u);
  const ProcedureDecl& decl = *program.statements[0]->procedure;
  EXPECT_EQ(decl.keyword, "Procedure");
  EXPECT_EQ(decl.returnType, Type::word);
  ASSERT_EQ(decl.params.size(), 2u);
  EXPECT_NE(decl.params[1].defaultValue, nullptr);
  EXPECT_EQ(decl.endLine, 6);
  const Stmt& chain = *decl.body[0];
  ASSERT_EQ(chain.branches.size(), 3u);
  EXPECT_EQ(chain.branches[1].line, 3);
  EXPECT_EQ(chain.branches[2].condition, nullptr);
  EXPECT_EQ(chain.endLine, 5);
}

TEST(Parser, DeclarationItemsOfEveryKind) {
  const Program program = parse(lex("Global.w Dim t.l(10), NewList items(), n = 5, s$"));
  const Stmt& stmt = *program.statements[0];
  EXPECT_EQ(stmt.keyword, "Global");
  EXPECT_EQ(stmt.defaultType, Type::word);
  ASSERT_EQ(stmt.items.size(), 4u);
  EXPECT_EQ(stmt.items[0].kind, DeclItem::Kind::array);
  EXPECT_EQ(stmt.items[1].kind, DeclItem::Kind::list);
  EXPECT_NE(stmt.items[2].init, nullptr);
  EXPECT_EQ(stmt.items[3].name, "s$");
}

// Included lines are listed after their include statement; XIncludeFile takes a file once.
// An error in an included file is reported on the main source's include line, with the file
// and its own line.
TEST(Includes, LinesAppearInPlaceAndErrorsNameTheFile) {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() /
      ("standin_includes_" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::create_directories(folder / "sub");
  const auto write = [&](const char* name, const char* text) {
    std::ofstream(folder / name, std::ios::binary) << text;
  };
  write("sub/inner.pbi", "\xEF\xBB\xBF  y = 2\r\n\r\n");
  write("outer.pbi", "x = 1 ; outer\r\nincludefile \"sub/inner.pbi\"\r\n");
  write("bad.pbi", "; one\nIncludeFile \"sub/../outer.pbi\"\nb = Missing(a)\n");
  write("self.pbi", "IncludeFile \"self.pbi\"\n");
  CompileOptions options;
  options.sourceFolder = folder;
  const CompileResult result = compileProgram(
      "XIncludeFile \"outer.pbi\"\nXIncludeFile \"sub/../outer.pbi\"\n"
      "IncludeFile \"sub/inner.pbi\"\n",
      options);
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_NE(result.listing.find("; XIncludeFile \"outer.pbi\"\r\n; x = 1 ; outer\r\n  MOV eax,1\r\n"
                                "  MOV dword [v_x],eax\r\n; includefile \"sub/inner.pbi\"\r\n"
                                "; y = 2\r\n  MOV eax,2\r\n  MOV dword [v_y],eax\r\n"
                                "; XIncludeFile \"sub/../outer.pbi\"\r\n"
                                "; IncludeFile \"sub/inner.pbi\"\r\n; y = 2\r\n"),
            std::string::npos)
      << result.listing;
  const std::pair<const char*, const char*> errors[] = {
      {"x = 1\nXIncludeFile \"bad.pbi\"\n",
       "Missing() is not a function, array, macro or "
       "linked list. (bad.pbi, line 3)"},
      {"x = 1\nIncludeFile \"none.pbi\"\n", "The file cannot be opened (none.pbi)."},
      {"x = 1\nIncludeFile none.pbi\n", "IncludeFile needs a file name in double quotes"},
      {"x = 1\nIncludeFile \"self.pbi\"\n", "nested too deeply. (self.pbi, line 1)"},
      {"XIncludeFile \"outer.pbi\"\ny = Missing(1)\n", "Missing() is not"},
  };
  for (const auto& [source, message] : errors) {
    const CompileResult failed = compileProgram(source, options);
    EXPECT_EQ(failed.errorLine, 2) << source;
    EXPECT_NE(failed.message.find(message), std::string::npos) << failed.message;
  }
  fs::remove_all(folder);
}

struct ErrorCase {
  const char* source;
  int line;
  const char* fragment;
};

class CompileErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompileErrors, ReportTheLineAndTheReason) {
  const CompileResult result = compileProgram(GetParam().source, {});
  ASSERT_FALSE(result.ok);
  EXPECT_EQ(result.errorLine, GetParam().line);
  EXPECT_NE(result.message.find(GetParam().fragment), std::string::npos) << result.message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompileErrors,
    ::testing::Values(
        ErrorCase{"x = 1\nIf x\n  y = 2\n", 3, "EndIf"}, ErrorCase{"x = 1\nWend\n", 2, "Wend"},
        ErrorCase{"x = (1 + 2\n", 1, "')'"},
        ErrorCase{"a = 1\nb = Missing(a)\n", 2, "Missing() is not a function"},
        ErrorCase{"NoSuchApi_(1)\n", 1, "NoSuchApi_() is not a function"},
        ErrorCase{"MessageBox_(0, 1)\n", 1, "Incorrect number of parameters"},
        ErrorCase{"x = Len(5)\n", 1, "a string is expected"},
        ErrorCase{"Procedure P(a$)\nEndProcedure\nP(1)\n", 3, "a string is expected"},
        ErrorCase{"x = 1\ns$ = 5\n", 2, "A string is expected"},
        ErrorCase{"x.q = 1\n", 1, "not supported"},
        ErrorCase{"Procedure A()\n  Procedure B()\n", 2, "inside a procedure"},
        ErrorCase{"Procedure A()\n  Global g\nEndProcedure\n", 2, "outside procedures"},
        ErrorCase{"Protected p\n", 1, "inside a procedure"}, ErrorCase{"Dim a(n)\n", 1, "constant"},
        ErrorCase{"ProcedureReturn 1\n", 1, "inside a procedure"},
        ErrorCase{"Restore nowhere\n", 1, "not declared"}, ErrorCase{"Break\n", 1, "inside a loop"},
        ErrorCase{"x = 1 : Procedure P()\nEndProcedure\n", 1, "begin its line"},
        ErrorCase{"Procedure P(a)\nEndProcedure\nP(1, 2)\n", 3, "Incorrect number"},
        ErrorCase{"DataSection\n  Data.l x\nEndDataSection\n", 2, "constant values"},
        ErrorCase{"DataSection\n  IncludeBinary \"/no/such/file\"\nEndDataSection\n", 2,
                  "not found"},
        ErrorCase{"For i = 1 To 3 Step n\nNext\n", 1, "Step"},
        ErrorCase{"x = #Undefined\n", 1, "#Undefined"},
        ErrorCase{"Procedure P()\n  Protected a, Dim big.l(20000)\nEndProcedure\n", 2, "at most"},
        ErrorCase{"Dim t(2)\nSortList(t(), 0)\n", 2, "A linked list is expected"},
        ErrorCase{"NewList l()\nSortArray(l(), 0)\n", 2, "An array is expected"},
        ErrorCase{"Import \"m.obj\"\n  v As \"\"\nEndImport\n", 2, "symbol name is empty"},
        ErrorCase{"v = 1\nImport \"m.obj\"\n  v\nEndImport\n", 3, "already declared"}));

// Modules in the generations that know them: what a part of the program sees, and what the
// older generations and the module rules refuse.
TEST(Modules, ErrorsReportTheLineAndTheReason) {
  const char* const declared = "DeclareModule m\n  Declare P()\nEndDeclareModule\n";
  const char* const module = "Module m\n  Procedure P()\n  EndProcedure\nEndModule\n";
  const struct {
    ListingLayout layout;
    std::string source;
    int line;
    const char* fragment;
  } cases[] = {
      {ListingLayout::classic, "x = 1\nDeclareModule m\nEndDeclareModule\n", 2,
       "not supported by PureBasic 4.20"},
      {ListingLayout::macros, "x = 1\nUseModule m\n", 2, "not supported by PureBasic 4.50"},
      {ListingLayout::afterBss,
       "DeclareModule m\nEndDeclareModule\nModule m\n  Global b\nEndModule\nx = m::b\n", 6,
       "'m::b' is no public variable"},
      {ListingLayout::afterBss, std::string(declared) + module + "m::Q()\n", 8,
       "'m::Q' is no public procedure"},
      {ListingLayout::afterBss, "x = m::a\nDeclareModule m\n  Global a\nEndDeclareModule\n", 1,
       "module 'm' is not declared"},
      {ListingLayout::afterBss, "Module m\nEndModule\n", 1, "no DeclareModule"},
      {ListingLayout::afterBss, std::string(declared) + "Module m\nEndModule\n", 2,
       "no such procedure"},
      {ListingLayout::afterBss, "DeclareModule m\n  Procedure P()\n", 2, "belongs in the Module"},
      {ListingLayout::afterEndCode, "If 1\n  DeclareModule m\n", 2, "outside procedures, blocks"},
      {ListingLayout::afterEndCode, "DeclareModule m\nEndDeclareModule\nEndModule\n", 3,
       "'EndModule' without"},
      // A module sees nothing of the main program; UseModule shows a module's public items
      // until UnuseModule.
      {ListingLayout::afterEndCode,
       "Procedure Main()\nEndProcedure\nDeclareModule m\nEndDeclareModule\nModule m\n"
       "  Main()\nEndModule\n",
       6, "Main() is not a function"},
      {ListingLayout::afterEndCode,
       "#K = 1\nDeclareModule m\nEndDeclareModule\nModule m\n  x = #K\nEndModule\n", 5,
       "#K is not declared"},
      {ListingLayout::afterEndCode,
       std::string(declared) + module + "UseModule m\nP()\nUnuseModule m\nP()\n", 11,
       "P() is not a function"},
  };
  for (const auto& expected : cases) {
    CompileOptions options;
    options.layout = expected.layout;
    const CompileResult result = compileProgram(expected.source, options);
    EXPECT_FALSE(result.ok) << expected.source;
    EXPECT_EQ(result.errorLine, expected.line) << expected.source;
    EXPECT_NE(result.message.find(expected.fragment), std::string::npos) << result.message;
  }
}

}  // namespace
}  // namespace standin
