// The line splitter and the first pass over the listing: header, declarations, failures.
#include <gtest/gtest.h>

#include "pipeline/analyse_assembly.h"
#include "pipeline/listing/listing_text.h"
#include "pipeline/split_tokens.h"
#include "pipeline/wrapper_declarations.h"
#include "pipeline_fixture.h"

namespace brisko::pipeline {
namespace {

Lines tokensOf(std::string_view line, std::string_view delimiters,
               QuoteRule quotes = QuoteRule::assembly) {
  TokenArray target;
  EXPECT_TRUE(splitTokens(line, delimiters, target, quotes)) << line;
  return Lines(target.tokens.begin(), target.tokens.end());
}

// Lines end at CR LF, LF or a lone CR, wherever they fall within the eight-byte steps of the
// search; non-ASCII bytes are no line ends.
TEST(PipelineListingLines, EveryLineEndSplitsAndNothingElse) {
  const std::string longLine(37, 'x');
  const Listing listing =
      Listing::fromBytes("a\r\nbc\n\rd\re\xE9\x0D\x0A" + longLine + "\x0B\x0C\r\r\n\nlast");
  ListingCursor cursor(listing);
  Lines lines;
  for (std::string_view line; cursor.next(line);) lines.emplace_back(line);
  EXPECT_EQ(lines, (Lines{"a", "bc", "", "d", "e\xC3\xA9", longLine + "\x0B\x0C", "", "", "last"}));

  ListingCursor fromThird(listing);
  std::string_view line;
  fromThird.next(line);
  fromThird.next(line);
  const std::size_t third = fromThird.position();
  while (fromThird.next(line)) {
  }
  fromThird.seek(third);
  ASSERT_TRUE(fromThird.next(line));
  EXPECT_EQ(line, "");
  EXPECT_TRUE(Listing::fromBytes("").text().empty());
}

TEST(PipelineSplitTokens, SourceLinesKeepDoubleQuotedTextAndDropSpaces) {
  const auto scan = [](std::string_view line) {
    return tokensOf(line, kSourceLineDelimiters, QuoteRule::sourceLine);
  };
  EXPECT_EQ(scan(R"(c$ = "x, y")"), (Lines{"c$", "=", R"("x, y")"}));
  EXPECT_EQ(scan("a.l,b"), (Lines{"a", ".", "l", ",", "b"}));
  EXPECT_EQ(scan(R"(Foo("a"+b))"), (Lines{"Foo", "(", R"("a")", "+b", ")"}));

  TokenArray target;
  ASSERT_TRUE(splitTokens("x : y", kSourceLineDelimiters, target, QuoteRule::sourceLine));
  // An empty line leaves the earlier tokens in place.
  EXPECT_TRUE(splitTokens("", kSourceLineDelimiters, target, QuoteRule::sourceLine));
  EXPECT_EQ(Lines(target.tokens.begin(), target.tokens.end()), (Lines{"x", ":", "y"}));
  EXPECT_FALSE(splitTokens(R"(a$ = "abc)", kSourceLineDelimiters, target, QuoteRule::sourceLine));
}

TEST(PipelineSplitTokens, AssemblyLinesKeepQuotedTokensWholeWithoutLimit) {
  EXPECT_EQ(tokensOf("MOV    dword [esp+4],eax", kBodyLineDelimiters),
            (Lines{"MOV", "dword", "[", "esp", "+", "4", "]", ",", "eax"}));
  EXPECT_EQ(tokensOf("db 'a, b',0", kBodyLineDelimiters), (Lines{"db", "'a, b'", ",", "0"}));
  EXPECT_EQ(tokensOf(R"(db "it's [x]+1",10)", kBodyLineDelimiters),
            (Lines{"db", R"("it's [x]+1")", ",", "10"}));
  EXPECT_EQ(tokensOf("dd 'ab','c d' ,x", kDataLineDelimiters),
            (Lines{"dd", "'ab'", ",", "'c d'", ",", "x"}));

  std::string longLine = "dd 0";
  for (int i = 1; i < 150; ++i) longLine += "," + std::to_string(i);
  const Lines tokens = tokensOf(longLine, kDataLineDelimiters);
  ASSERT_EQ(tokens.size(), 300u);
  EXPECT_EQ(tokens.back(), "149");
}

class PipelineAnalysis : public testing::PipelineFixture {
 protected:
  static std::string kindName(SymbolKind kind) {
    switch (kind) {
      case SymbolKind::external:
        return "external";
      case SymbolKind::procedureDll:
        return "procedureDll";
      case SymbolKind::procedureCDll:
        return "procedureCDll";
      case SymbolKind::procedure:
        return "procedure";
      case SymbolKind::localData:
        return "localData";
      case SymbolKind::array:
        return "array";
      case SymbolKind::list:
        return "list";
      case SymbolKind::variable:
        return "variable";
      case SymbolKind::alias:
        return "alias";
      case SymbolKind::mainLabel:
        return "mainLabel";
      case SymbolKind::heldData:
        return "heldData";
    }
    return "?";
  }

  // "kind asmName outputName | declaration" for every record but the externals.
  Lines declared() const {
    Lines result;
    for (const SymbolRecord& r : current->symbols) {
      if (r.kind == SymbolKind::external) continue;
      result.push_back(kindName(r.kind) + " " + r.asmName + " " + r.outputName + " | " +
                       wrapperDeclaration(r));
    }
    return result;
  }
};

TEST_F(PipelineAnalysis, HeaderGivesImportLibrariesAndExternals) {
  ListingText listing;
  listing.imports = {"mylib.lib", " spaced.lib"};
  listing.externs = {"_PB_Len@4", "; ", "  _Beep@8  ", "; ", "_ExitProcess@4"};
  useLog();
  EXPECT_EQ(analyse(listing.text()), ok());
  EXPECT_EQ(current->listing.importLibraries,
            (std::vector<std::string>{"mylib.lib", " spaced.lib"}));
  Lines externals;
  for (const SymbolRecord& r : current->symbols) {
    EXPECT_EQ(r.kind, SymbolKind::external);
    EXPECT_EQ(r.outputName, "");
    EXPECT_EQ(r.referenced, 0);
    externals.push_back(r.asmName);
  }
  EXPECT_EQ(externals, (Lines{"_PB_Len@4", "_Beep@8", "_ExitProcess@4"}));
  EXPECT_EQ(current->listing.exportCount, 0);
  EXPECT_EQ(feedback.statuses.front(), "Status = parsing PB generated assembly code.");
  EXPECT_EQ(log.content,
            "Scanning assembly code / creating data sections (if appropriate) "
            "\"/dest/Source/PureBasic.asm\" ......no errors!\r\n");
  // The data-sections source follows the split: the analysis writes nothing.
  EXPECT_FALSE(files.exists("/dest/Source/demo_briskoDataSections.asm"));
}

TEST_F(PipelineAnalysis, PublicAlwaysAndGlobalOnlyWhenExported) {
  ListingText listing;
  listing.program = {
      "; Public Dim table.l(10), NewList items.s(), count, name$ : Global flag",
      "; PUBLIC Dim m(3, 4), k.w, Dim s$(2) ; Public notThis",
      "; Public a : public b",
  };
  const Lines common = {
      R"(array a_table table | table_arrayPTR As "table")",
      R"(list t_items items | items_arrayPTR As "items")",
      R"(variable v_count count | count.l AS "count")",
      R"(variable v_name$ name$ | name$ AS "name$")",
  };
  const Lines rest = {
      R"(array a_m m | m_arrayPTR As "m")",
      R"(variable v_k k | k.w AS "k")",
      R"(array a_s$ s$ | s_stringarrayPTR As "s$")",
      R"(variable v_a a | a.l AS "a")",
      R"(variable v_b b | b.l AS "b")",
  };
  ASSERT_EQ(analyse(listing.text()), ok());
  Lines expected = common;
  testing::append(expected, rest);
  EXPECT_EQ(declared(), expected);
  EXPECT_EQ(current->listing.exportCount, 9);

  feedback.messages.clear();
  ASSERT_EQ(analyse(listing.text(), kObject, app::kExportGlobals), ok());
  expected = common;
  expected.push_back(R"(variable v_flag flag | flag.l AS "flag")");
  testing::append(expected, rest);
  EXPECT_EQ(declared(), expected);
  EXPECT_EQ(current->listing.exportCount, 10);
}

TEST_F(PipelineAnalysis, ProceduresAndTheirWrapperDeclarations) {
  ListingText listing;
  testing::append(listing.program,
                  testing::procedure(R"(ProcedureDLL.w Add(a, b.b, c$ = "x, y"))", 0, {"RET"}));
  testing::append(listing.program, testing::procedure("procedureCDLL Mul(x) ; two", 1, {"RET"}));
  testing::append(listing.program, testing::procedure("Procedure Scale(f.f)", 2, {"RET"}));
  testing::append(listing.program, testing::procedure("ProcedureC.s Name()", 3, {"RET"}));

  ASSERT_EQ(analyse(listing.text(), kObject, app::kPbWrapper), ok());
  EXPECT_EQ(declared(), (Lines{
                            R"(procedureDll _Procedure0 Add | Add.w(a.l,b.b,c$="x, y") As "Add")",
                            R"(procedureCDll _Procedure1 Mul | Mul(x.l) As "Mul")",
                            R"(procedure _Procedure2 demo_Scale | demo_Scale(f.f) As "demo_Scale")",
                            R"(procedure _Procedure3 demo_Name | demo_Name.s() As "demo_Name")",
                        }));
  EXPECT_EQ(current->listing.exportCount, 2);

  ASSERT_EQ(analyse(listing.text()), ok());
  EXPECT_EQ(declared(),
            (Lines{"procedureDll _Procedure0 Add | ", "procedureCDll _Procedure1 Mul | ",
                   "procedure _Procedure2 demo_Scale | ", "procedure _Procedure3 demo_Name | "}));
}

TEST_F(PipelineAnalysis, DefineSetsTheDefaultTypeOnlyOnItsOwn) {
  ListingText listing;
  listing.program = {"; Define.b x", "; Public p1", "; Define x : Public skipped", "; Define.b",
                     "; Public p2"};
  testing::append(listing.program, testing::procedure("ProcedureDLL F(a, b$)", 0, {"RET"}));
  ASSERT_EQ(analyse(listing.text(), kObject, app::kPbWrapper), ok());
  EXPECT_EQ(declared(),
            (Lines{R"(variable v_p1 p1 | p1.l AS "p1")", R"(variable v_p2 p2 | p2.b AS "p2")",
                   R"(procedureDll _Procedure0 F | F(a.b,b$) As "F")"}));
}

TEST_F(PipelineAnalysis, LinesThatDeclareNothing) {
  ListingText listing;
  listing.program = {
      "; Declare Foo()",
      "; x = 1 : Procedure Foo()",
      "macro MP0{",
      "_Procedure0:",
      "RET",
      "}",
      "; x = 1 ; Public hidden",
      "; *ptr = 0 : Public star",
      ";Public noSpace",
      "; Public s : t$ = \"abc",
      "; Global g",
      "; ",
      "MOV eax, 1",
  };
  ASSERT_EQ(analyse(listing.text()), ok());
  EXPECT_EQ(declared(), Lines{});
  EXPECT_EQ(current->listing.exportCount, 0);
}

TEST_F(PipelineAnalysis, ProcedureLineNotFollowedByItsMacroIsNoDeclaration) {
  ListingText listing;
  listing.program = {"; ProcedureDLL Lost()", "; Public kept", "; ProcedureDLL Lost2()"};
  testing::append(listing.program, testing::procedure("ProcedureDLL Found()", 0, {"RET"}));
  ASSERT_EQ(analyse(listing.text()), ok());
  EXPECT_EQ(declared(), (Lines{R"(variable v_kept kept | kept.l AS "kept")",
                               "procedureDll _Procedure0 Found | "}));
  EXPECT_EQ(current->listing.exportCount, 2);
}

TEST_F(PipelineAnalysis, ListingThatCannotBeOpenedIsReportedAndLogged) {
  useLog();
  EXPECT_EQ(analyseListing(conversion()), failed(TextId::openingFileError));
  EXPECT_EQ(onlyError(),
            "There was an unexpected problem whilst trying to open the file.\n"
            "(/dest/Source/PureBasic.asm)");
  EXPECT_EQ(log.content,
            "Scanning assembly code / creating data sections (if appropriate) "
            "\"/dest/Source/PureBasic.asm\" ......Error!\r\n"
            "There was an unexpected problem whilst trying to open the file. "
            "(/dest/Source/PureBasic.asm)\r\n");
}

TEST_F(PipelineAnalysis, IncompleteListingsEndWithInvalidFile) {
  ListingText listing;
  listing.program = {"; Public v"};
  listing.finalData = {"l_x:", "dd 1"};
  const std::string full = listing.text();
  const auto cutAt = [&](std::string_view marker) { return full.substr(0, full.find(marker)); };
  const auto replaced = [&](const std::string& line, const std::string& by = "; removed") {
    std::string text = full;
    text.replace(text.find(line), line.size(), by);
    return text;
  };
  const std::vector<std::string> broken = {
      "",
      cutAt("; :System"),
      replaced("; :System"),
      replaced("; :Import"),
      cutAt("public main"),
      cutAt("section '.data'"),
      replaced("section '.bss' readable writeable"),
      cutAt("section '.bss'"),
      replaced("section '.data' data readable writeable\r\nl_x:"),
      // Marker lines are matched exactly.
      replaced("; :System", "; :system"),
  };
  for (std::size_t i = 0; i < broken.size(); ++i) {
    SCOPED_TRACE(i);
    feedback.messages.clear();
    EXPECT_EQ(analyse(broken[i]), failed(TextId::invalidFile));
    EXPECT_EQ(onlyError(), "Invalid file.\n(/dest/Source/PureBasic.asm)");
  }
}

}  // namespace
}  // namespace brisko::pipeline
