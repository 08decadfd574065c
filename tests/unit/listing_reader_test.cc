// The reader on short listings of the compilers' layouts: the header, the program's source
// lines, the procedures' labels and where each procedure's code ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listing_builder.h"
#include "pipeline/listing/listing_reader.h"

namespace brisko::pipeline {
namespace {

using testing::Lines;

std::string compilerListing(const Lines& rest) {
  return testing::compilerLayoutListing(rest);
}

struct Scan {
  std::vector<std::string> sources;              // non-empty source texts
  std::vector<std::string> labels;               // the procedures' labels
  std::vector<std::vector<std::string>> bodies;  // each procedure's code lines
  std::string firstSection;                      // the line at dataStart()
  bool ended = false;
};

// Reads the listing as the analysis and then the splitter do.
Scan scan(const std::string& text) {
  const Listing listing = Listing::fromBytes(text);
  Scan result;
  EXPECT_EQ(ListingReader::familyOf(listing), LayoutFamily::compilers);
  const auto reader = ListingReader::open(listing, LayoutFamily::compilers);
  ListingHeader header;
  EXPECT_TRUE(reader->readHeader(header));
  EXPECT_EQ(header.importLibraries, std::vector<std::string_view>{"user.lib"});
  EXPECT_EQ(header.externals,
            (std::vector<ExternalDeclaration>{{"_PB_Len@4", "_PB_Len@4"},
                                              {"_ExitProcess@4", "_ExitProcess@4"}}));
  ProgramLine line;
  while (reader->nextProgramLine(line)) {
    const std::string_view source = line.source;
    if (source.empty()) continue;
    result.sources.emplace_back(source);
    std::string_view label;
    if (source.starts_with("Procedure") && reader->procedureLabel(label)) {
      result.labels.emplace_back(label);
    }
  }
  result.ended = reader->ended();
  if (!result.ended) {
    ListingCursor cursor(listing);
    cursor.seek(reader->dataStart());
    std::string_view first;
    cursor.next(first);
    result.firstSection = first;
  }
  const auto splitter = ListingReader::open(listing, LayoutFamily::compilers);
  for (const std::string& label : result.labels) {
    EXPECT_TRUE(splitter->seekProcedure(label)) << label;
    std::vector<std::string>& body = result.bodies.emplace_back();
    std::string_view code;
    while (splitter->nextProcedureLine(code)) body.emplace_back(code);
    EXPECT_FALSE(splitter->ended()) << label;
  }
  return result;
}

const Lines kData = {"section '.data' data readable writeable",
                     "_S1: db 'x',0",
                     "; Procedure Fake()",
                     "_Procedure99:",
                     "section '.bss' readable writeable",
                     "v_a rd 1"};

TEST(ListingReaderTest, MacroProceduresEndAtTheirClosingBrace) {
  Lines rest = {"; Global a ",
                "; Procedure.l One(x) ",
                "macro MP0{",
                "_Procedure0:",
                "  MOV eax,1",
                "; ProcedureReturn 1",
                "  RET 4",
                "}",
                "; ProcedureDLL Two()",
                "macro MP2{",
                "_Procedure2:",
                "  JMP _PB_EOP",
                "}",
                "_PB_EOP:",
                "  CALL _ExitProcess@4",
                "MP0",
                "MP2"};
  testing::append(rest, kData);
  testing::append(rest, {"section '.data' data readable writeable", "l_a:"});
  const Scan s = scan(compilerListing(rest));
  EXPECT_FALSE(s.ended);
  EXPECT_EQ(s.sources, (std::vector<std::string>{"Global a", "Procedure.l One(x)",
                                                 "ProcedureReturn 1", "ProcedureDLL Two()"}));
  EXPECT_EQ(s.labels, (std::vector<std::string>{"_Procedure0", "_Procedure2"}));
  EXPECT_EQ(s.bodies, (std::vector<std::vector<std::string>>{
                          {"MOV eax,1", "; ProcedureReturn 1", "RET 4"}, {"JMP _PB_EOP"}}));
  EXPECT_EQ(s.firstSection, kData[0]);
}

// Procedures after the bss (a code section of their own) and after the end code: each ends
// at the next procedure's source line or section line; data and bss lines are no program.
TEST(ListingReaderTest, ProceduresWithoutMacrosEndAtTheNextProcedureOrSection) {
  const Lines procedures = {"; ProcedureCDLL Two() ",
                            "_Procedure0:",
                            "PS0=0",
                            "; ProcedureReturn 2",
                            "  RET  ",
                            "; Procedure One()",
                            "_Procedure2:",
                            "  p.v_x equ esp+PS2+4",
                            "  RET 4"};
  const Lines main = {"; Global a", "  MOV eax,1",           "_PB_EOP_NoValue:",  "  PUSH dword 0",
                      "_PB_EOP:",   "  CALL _ExitProcess@4", "_PB_EndFunctions:", "  RET"};
  Lines afterBss = main;
  testing::append(afterBss, kData);
  afterBss.push_back("section '.code' code readable executable align 4096");
  testing::append(afterBss, procedures);
  afterBss.push_back("section '.data' data readable writeable");
  Lines afterEndCode = main;
  testing::append(afterEndCode, procedures);
  testing::append(afterEndCode, kData);

  for (const Lines& rest : {afterBss, afterEndCode}) {
    const Scan s = scan(compilerListing(rest));
    EXPECT_FALSE(s.ended);
    EXPECT_EQ(s.sources, (std::vector<std::string>{"Global a", "ProcedureCDLL Two()",
                                                   "ProcedureReturn 2", "Procedure One()"}));
    EXPECT_EQ(s.labels, (std::vector<std::string>{"_Procedure0", "_Procedure2"}));
    EXPECT_EQ(s.bodies,
              (std::vector<std::vector<std::string>>{{"PS0=0", "; ProcedureReturn 2", "RET"},
                                                     {"p.v_x equ esp+PS2+4", "RET 4"}}));
    EXPECT_EQ(s.firstSection, kData[0]);
  }
}

// Headers of several generations: versions with words, the start label of 4.x, the x64 format.
TEST(ListingReaderTest, HeaderVariantsOfTheGenerations) {
  struct Variant {
    std::string version, start, format;
  };
  for (const Variant& v : {Variant{"4.50 Alpha 1", "main", "format MS COFF"},
                           Variant{"5.70 LTS beta 3", "PureBasicStart", "format MS COFF"},
                           Variant{"6.01 LTS", "PureBasicStart", "format MS64 COFF"}}) {
    std::string text = compilerListing({"; Global a", "section '.data' data readable writeable"});
    const auto replace = [&text](const std::string& from, const std::string& to) {
      text.replace(text.find(from), from.size(), to);
    };
    replace("5.31", v.version);
    replace("public PureBasicStart", "public " + v.start);
    replace("format MS COFF", v.format);
    const Listing listing = Listing::fromBytes(text);
    ASSERT_EQ(ListingReader::familyOf(listing), LayoutFamily::compilers) << v.version;
    const auto reader = ListingReader::open(listing, LayoutFamily::compilers);
    ListingHeader header;
    ASSERT_TRUE(reader->readHeader(header)) << v.version;
    EXPECT_EQ(header.target == Target::x64(), v.format == "format MS64 COFF");
    EXPECT_EQ(header.publicNames, (std::vector<std::string_view>{"_PB_ExecutableType", v.start}));
    EXPECT_EQ(header.defines, std::vector<std::string_view>{"define fake real"});
  }
}

TEST(ListingReaderTest, CompilerListingWithoutDataHasEndedEarly) {
  EXPECT_TRUE(scan(compilerListing({"; Global a", "  MOV eax,1"})).ended);
}

}  // namespace
}  // namespace brisko::pipeline
