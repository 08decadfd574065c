// The generated sources of the real compilers' layouts: the runtime's items as externals, statics,
// DataSection labels of procedures, aliases, the end-of-program routine, labels of the main
// program and procedure names that repeat.
#include <gtest/gtest.h>

#include <algorithm>

#include "pipeline/split_procedures.h"
#include "pipeline_fixture.h"

namespace brisko::pipeline {
namespace {

// The main program, the end code and the procedures (after it), then the data, the bss and the
// DataSections.
Lines listingRest(const Lines& procedures) {
  Lines rest = {"; Global total",
                "Start:",
                "  MOV eax,1",
                "_PB_EOP_NoValue:",
                "  PUSH dword 0",
                "_PB_EOP:",
                "  CALL _PB_EndFunctions",
                "  CALL _ExitProcess@4",
                "_PB_EndFunctions:",
                "  RET"};
  testing::append(rest, procedures);
  testing::append(rest, {"section '.data' data readable writeable",
                         "_PB_DataSection:",
                         "pb_public PB_DEBUGGER_LineNumber",
                         "  dd -1",
                         "_PB_ExecutableType: dd 0",
                         "_SYS_StaticStringStart:",
                         "_S1: db 'x',0",
                         "_SYS_StaticStringEnd:",
                         "pb_align 4",
                         "so_Helper.v_k dd _S1",
                         "section '.bss' readable writeable",
                         "_PB_BSSSection:",
                         "I_BSSStart:",
                         "PB_MemoryBase rd 1",
                         "PB_Instance rd 1",
                         "v_total rd 1",
                         "so_Helper.v_n rd 1",
                         "m_map rd 1",
                         "pb_bssalign 4",
                         "PB_DataPointer rd 1",
                         "I_BSSEnd:",
                         "section '.data' data readable writeable",
                         "l_table:",
                         "dd _Procedure2,_Procedure0",
                         "align 4",
                         "ll_Get_inner:",
                         "dd _PB_DEBUGGER_LineNumber"});
  return rest;
}

const Lines kProcedures = {"; ProcedureDLL Get() ",
                           "_Procedure0:",
                           "  MOV eax,[PB_MemoryBase]",
                           "  MOV ecx,[total]",
                           "  MOV edx,ll_Get_inner",
                           "  PUSH dword 3",
                           "  JMP _PB_EOP",
                           "  RET",
                           "; Procedure Helper()",
                           "_Procedure2:",
                           "  MOV eax,[so_Helper.v_n]",
                           "  CALL _ExitProcess@4",
                           "  RET"};

class PipelineGenerations : public testing::PipelineFixture {
 protected:
  using PipelineFixture::convert;
  app::Outcome convert(const Lines& procedures, const Lines& moreHeader = {}) {
    return convert(testing::compilerLayoutListing(listingRest(procedures), moreHeader), kLibrary);
  }
};

// (A DLL's header makes its procedures public, which leaves them the listing's own.)
TEST_F(PipelineGenerations, LibraryKeepsTheProgramsItemsExternal) {
  ASSERT_EQ(convert(kProcedures,
                    {"define total v_total", "public _Procedure2", "public _DLLEntryPoint@12"}),
            ok());
  EXPECT_EQ(source("demo_briskoDataSections.asm"),
            (Lines{"format MS COFF",
                   "",
                   "section '.data' data readable writeable",
                   "demo_S1: db 'x',0",
                   "align 4",
                   "demo_so_Helper.v_k dd demo_S1 ",
                   "align 4",
                   "",
                   "section '.bss' readable writeable",
                   "demo_v_total rd 1",
                   "demo_so_Helper.v_n rd 1",
                   "demo_m_map rd 1",
                   "demo_PB_DataPointer rd 1",
                   "align 4",
                   "",
                   "section '.data' data readable writeable",
                   "demo_l_table:",
                   "  dd demo_Helper , Get ",
                   "  align 4",
                   "demo_ll_Get_inner:",
                   "  dd _PB_DEBUGGER_LineNumber ",
                   "",
                   "section '.code' code readable executable",
                   "",
                   "demo__PB_EOP_NoValue:",
                   "  PUSH dword 0",
                   "demo__PB_EOP:",
                   "  CALL _ExitProcess@4",
                   "",
                   "public demo_S1",
                   "public demo_so_Helper.v_k",
                   "public demo_v_total",
                   "public demo_so_Helper.v_n",
                   "public demo_m_map",
                   "public demo_PB_DataPointer",
                   "public demo_l_table",
                   "public demo_ll_Get_inner",
                   "public demo__PB_EOP_NoValue",
                   "public demo__PB_EOP",
                   "",
                   "extrn demo_Helper",
                   "extrn Get",
                   "extrn _PB_DEBUGGER_LineNumber",
                   "extrn _ExitProcess@4"}));
  const Lines module = {"format MS COFF", "", "section '.code' code readable executable", ""};
  Lines get = module;
  testing::append(
      get, {"public Get", "", "Get:", "  MOV eax , [ PB_MemoryBase ] ",
            "  MOV ecx , [ demo_v_total ] ", "  MOV edx , demo_ll_Get_inner ", "  PUSH dword 3 ",
            "  JMP demo__PB_EOP ", "  RET ", "", "extrn PB_MemoryBase", "extrn demo_v_total",
            "extrn demo_ll_Get_inner", "extrn demo__PB_EOP"});
  EXPECT_EQ(source("Get.asm"), get);
}

// A listing without DataSections ends in the bss; the runtime's markers found there are
// externals of the code that names them. Where the listing keeps the exit code in a cell, the
// end of the program passes that on.
TEST_F(PipelineGenerations, ListingMayEndInTheBssAndKeepTheExitCode) {
  Lines procedures = kProcedures;
  procedures[3] = "  MOV ecx,I_BSSStart";
  procedures[4] = "  MOV edx,_SYS_StaticStringEnd";
  procedures[5] = "  MOV dword [PB_ExitCode],3";
  Lines rest = listingRest(procedures);
  const auto end = std::find(rest.begin(), rest.end(), "I_BSSEnd:");
  rest.erase(end + 1, rest.end());
  rest.insert(end, "PB_ExitCode rd 1");
  ASSERT_EQ(convert(testing::compilerLayoutListing(rest), kLibrary), ok());
  const Lines get = source("Get.asm");
  EXPECT_EQ(Lines(get.end() - 5, get.end()),
            (Lines{"extrn PB_MemoryBase", "extrn I_BSSStart", "extrn _SYS_StaticStringEnd",
                   "extrn demo_PB_ExitCode", "extrn demo__PB_EOP"}));
  EXPECT_NE(std::find(get.begin(), get.end(), "  MOV dword [ demo_PB_ExitCode ] , 3 "), get.end());
  const Lines data = source("demo_briskoDataSections.asm");
  EXPECT_NE(std::find(data.begin(), data.end(), "demo_PB_ExitCode rd 1"), data.end());
  const auto routine = std::find(data.begin(), data.end(), "demo__PB_EOP_NoValue:");
  ASSERT_NE(routine, data.end());
  EXPECT_EQ(Lines(routine, routine + 4),
            (Lines{"demo__PB_EOP_NoValue:", "demo__PB_EOP:", "  PUSH dword [demo_PB_ExitCode]",
                   "  CALL _ExitProcess@4"}));
}

// A procedure that jumps into the main program cannot be converted: said before FASM runs.
TEST_F(PipelineGenerations, LabelOfTheMainProgramIsReported) {
  Lines procedures = kProcedures;
  procedures[6] = "  JMP _PB_EndFunctions";
  EXPECT_EQ(convert(procedures), failed(TextId::mainProgramLabel));
  EXPECT_EQ(onlyError(),
            "A procedure refers to a label of the main program, which the converted code does "
            "not hold.\n(Get: _PB_EndFunctions)");
  EXPECT_FALSE(files.exists("/dest/Source/Get.asm"));
}

TEST_F(PipelineGenerations, ProceduresOfOneNameInTwoModules) {
  useLog();
  Lines procedures = kProcedures;
  testing::append(procedures, {"; Module other", "; Procedure helper() ", "_Procedure6:", "  RET",
                               "; EndModule"});
  ASSERT_EQ(convert(procedures), ok());
  const Lines renamed = source("demo_helper_6.asm");
  EXPECT_NE(std::find(renamed.begin(), renamed.end(), "demo_helper_6:"), renamed.end());
  EXPECT_NE(log.content.find("A procedure of a name used before is written under another "
                             "name: \"other::helper\" -> \"demo_helper_6\"\r\n"),
            std::string::npos)
      << log.content;

  Lines exported = kProcedures;
  testing::append(exported, {"; Module second", "; ProcedureDLL get()", "_Procedure8:", "  RET",
                             "; EndModule"});
  EXPECT_EQ(analyse(testing::compilerLayoutListing(listingRest(exported)), kLibrary),
            failed(TextId::repeatedExport));
  EXPECT_EQ(feedback.messages.back().text,
            "Two exported procedures have the same name.\n(Get, second::get)");
}

}  // namespace
}  // namespace brisko::pipeline
