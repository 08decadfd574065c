#include "pipeline/symbol_names.h"

#include <utility>

#include <gtest/gtest.h>

namespace brisko::pipeline {
namespace {

SymbolRecord makeRecord(std::string asmName, std::string outputName, SymbolKind kind) {
  SymbolRecord record;
  record.asmName = std::move(asmName);
  record.outputName = std::move(outputName);
  record.kind = kind;
  return record;
}

TEST(FasmReservedWordTest, RecognisesReservedWordsInAnyCase) {
  for (const char* word :
       {"Add", "PUSH", "loop", "Test", "call", "eax", "dword", "format", "section", "public",
        "extrn", "rd", "du", "mod", "equ", "Macro", "vgf2p8affineinvqb", "__LINE__"}) {
    EXPECT_TRUE(isFasmReservedWord(word)) << word;
  }
}

TEST(FasmReservedWordTest, LeavesOtherNamesAlone) {
  for (const char* word : {"MyFunc", "Adder", "_Procedure0", "v_count", "", "ad", "coff",
                           "readable", "vgf2p8affineinvqbx", "a\xC3\xA4"}) {
    EXPECT_FALSE(isFasmReservedWord(word)) << word;
  }
}

TEST(SymbolNamesTest, ReservedNameGetsAnInternalLabelAndKeepsItsRealName) {
  const SymbolRecord record = makeRecord("PB_Add", "Add", SymbolKind::procedureDll);
  EXPECT_EQ(symbolLabel(record), "brisko?Add");
  EXPECT_EQ(publicLine(record), "public brisko?Add as 'Add'");
  EXPECT_EQ(externLine(record), "extrn 'Add' as brisko?Add");
}

TEST(SymbolNamesTest, OrdinaryNameIsUsedAsItIs) {
  const SymbolRecord record = makeRecord("v_count", "v_count", SymbolKind::variable);
  EXPECT_EQ(symbolLabel(record), "v_count");
  EXPECT_EQ(publicLine(record), "public v_count");
  EXPECT_EQ(externLine(record), "extrn v_count");
}

TEST(SymbolNamesTest, ExternalKeepsItsListingName) {
  const SymbolRecord record = makeRecord("_MessageBoxA@16", "", SymbolKind::external);
  EXPECT_EQ(symbolLabel(record), "_MessageBoxA@16");
  EXPECT_EQ(externLine(record), "extrn _MessageBoxA@16");
}

}  // namespace
}  // namespace brisko::pipeline
