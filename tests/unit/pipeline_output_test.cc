// The generated sources: data sections, one source per procedure and the link source.
#include <gtest/gtest.h>

#include "pipeline/split_procedures.h"
#include "pipeline_fixture.h"
#include "platform/code_pages.h"

namespace brisko::pipeline {
namespace {

class PipelineOutput : public testing::PipelineFixture {
 protected:
  std::uint8_t referenced(const std::string& external) const {
    const SymbolRecord* record = current->symbols.find(external);
    return record ? record->referenced : 255;
  }
};

TEST_F(PipelineOutput, DataSectionsForObjectOutputKeepLocalNames) {
  ASSERT_EQ(convert(kObject), ok());
  EXPECT_EQ(source("demo_briskoDataSections.asm"),
            (Lines{
                "section '.data' data readable writeable",
                "_S1: db 'hi',0",
                "_S2: db 'a, b',0",
                "align 4",
                "F1: dd 1069547520",
                "align 4",
                "s_point:",
                "  dd 0",
                "  dd 0",
                "align 4",
                "s_name db 'x',0",
                "align 4",
                "",
                "section '.bss' readable writeable",
                "count rd 1",
                "v_tmp rd 1",
                "table:",
                "  rd  11",
                "items rd 1",
                "s_buf rb 8",
                "p_x rd 1",
                "PB_DataPointer rd 1",
                "align 4",
                "",
                "section '.data' data readable writeable",
                "l_first:",
                "  dd l_second , count , Get , _PB_Table@0 , l_second ",
                "l_second:",
                "  db 'x',0",
                "  dw 7",
                "  dd 'ab, c' , l_first ",
                "  file '/src/pic.bin'",
                "  dd 3 ",
                "",
                "public table",
                "public items",
                "public count",
            }));
}

TEST_F(PipelineOutput, DataSectionsForLibraryOutputGiveFileUniqueNames) {
  ASSERT_EQ(convert(kLibrary), ok());
  EXPECT_EQ(source("demo_briskoDataSections.asm"),
            (Lines{
                "format MS COFF",
                "",
                "section '.data' data readable writeable",
                "demo_S1: db 'hi',0",
                "demo_S2: db 'a, b',0",
                "align 4",
                "demo_F1: dd 1069547520",
                "align 4",
                "demo_s_point:",
                "  dd 0",
                "  dd 0",
                "align 4",
                "demo_s_name db 'x',0",
                "align 4",
                "",
                "section '.bss' readable writeable",
                "count rd 1",
                "demo_v_tmp rd 1",
                "table:",
                "  rd  11",
                "items rd 1",
                "demo_s_buf rb 8",
                "demo_p_x rd 1",
                "demo_PB_DataPointer rd 1",
                "align 4",
                "",
                "section '.data' data readable writeable",
                "demo_l_first:",
                // l_second is named before its label line is reached.
                "  dd demo_l_second , count , Get , _PB_Table@0 , demo_l_second ",
                "demo_l_second:",
                "  db 'x',0",
                "  dw 7",
                "  dd 'ab, c' , demo_l_first ",
                "  file '/src/pic.bin'",
                "  dd 3 ",
                "",
                "public table",
                "public items",
                "public count",
                "public demo_S1",
                "public demo_S2",
                "public demo_F1",
                "public demo_s_point",
                "public demo_s_name",
                "public demo_v_tmp",
                "public demo_s_buf",
                "public demo_p_x",
                "public demo_PB_DataPointer",
                "public demo_l_first",
                "public demo_l_second",
                "",
                // Nothing this source defines itself is declared external.
                "extrn Get",
                "extrn _PB_Table@0",
            }));
}

TEST_F(PipelineOutput, ObjectOutputGivesFragmentsAndALinkSource) {
  useLog();
  ASSERT_EQ(convert(kObject), ok());
  EXPECT_EQ(source("Get.asm"), (Lines{
                                   "public Get",
                                   "",
                                   "Get:",
                                   "  PUSH ebp ",
                                   "  MOV ebp , esp ",
                                   "  MOV eax , dword [ table + 4 ] ",
                                   "  PUSH dword [ count ] ",
                                   "  CALL _PB_Len@4 ",
                                   "  CALL demo_Helper ",
                                   "",
                                   "  MOV ecx , [ v_tmp ] ",
                                   "  POP ebp ",
                                   "  RET 4 ",
                               }));
  EXPECT_EQ(source("demo_Helper.asm"), (Lines{
                                           "demo_Helper:",
                                           "  CALL _PB_Len@4 ",
                                           "  CALL _PB_Len@4 ",
                                           "  CALL demo_Helper ",
                                           "  MOV eax , _S1 ",
                                           "  db 'a, b' , 0 ",
                                       }));
  // The global variable that comes first among the other records still gets the
  // data-sections include before the first procedure.
  EXPECT_EQ(source("demo_briskoLinkFile.asm"), (Lines{
                                                   "format MS COFF",
                                                   "",
                                                   "extrn _PB_Len@4",
                                                   "extrn _PB_Table@0",
                                                   "",
                                                   "include \"demo_briskoDataSections.asm\"",
                                                   "",
                                                   "section '.code' code readable executable",
                                                   "",
                                                   "include \"Get.asm\"",
                                                   "include \"demo_Helper.asm\"",
                                               }));
  EXPECT_EQ(referenced("_PB_Len@4"), 1);
  EXPECT_EQ(referenced("_PB_Table@0"), 1);  // named by a "dd" line only
  EXPECT_EQ(referenced("_PB_Unused@0"), 0);
  EXPECT_EQ(referenced("_ExitProcess@4"), 0);  // used by the main code only

  const std::string split = log.content.substr(log.content.find("no errors!\r\n") + 12);
  EXPECT_EQ(split,
            "Splitting assembly code functions ......\r\n"
            "   ...creating source file \"Get.asm\" ......no errors!\r\n"
            "   ...creating source file \"demo_Helper.asm\" ......no errors!\r\n"
            "Creating data sections \"demo_briskoDataSections.asm\" ......no errors!\r\n"
            "Creating main ASM file \"demo_briskoLinkFile.asm\" ......no errors!\r\n");
  EXPECT_EQ(feedback.details,
            (Lines{"Source/Get.asm", "Source/demo_Helper.asm", "Source/demo_briskoLinkFile.asm"}));
  EXPECT_EQ(feedback.statuses, (Lines{"Status = parsing PB generated assembly code.",
                                      "Status = splitting assembly code functions.",
                                      "Status = creating main ASM file."}));
  EXPECT_TRUE(feedback.messages.empty());
}

TEST_F(PipelineOutput, LibraryOutputGivesCompleteModulesWithExternsInOrderOfFirstUse) {
  ASSERT_EQ(convert(kLibrary), ok());
  const Lines module = {"format MS COFF", "", "section '.code' code readable executable", ""};
  Lines get = module;
  testing::append(get, {
                           "public Get",
                           "",
                           "Get:",
                           "  PUSH ebp ",
                           "  MOV ebp , esp ",
                           "  MOV eax , dword [ table + 4 ] ",
                           "  PUSH dword [ count ] ",
                           "  CALL _PB_Len@4 ",
                           "  CALL demo_Helper ",
                           "",
                           "  MOV ecx , [ demo_v_tmp ] ",
                           "  POP ebp ",
                           "  RET 4 ",
                           "",
                           "extrn table",
                           "extrn count",
                           "extrn _PB_Len@4",
                           "extrn demo_Helper",
                           "extrn demo_v_tmp",
                       });
  EXPECT_EQ(source("Get.asm"), get);
  Lines helper = module;
  testing::append(helper, {
                              "public demo_Helper",
                              "",
                              "demo_Helper:",
                              "  CALL _PB_Len@4 ",
                              "  CALL _PB_Len@4 ",
                              "  CALL demo_Helper ",
                              "  MOV eax , demo_S1 ",
                              "  db 'a, b' , 0 ",
                              "",
                              // No extrn for the procedure's own name.
                              "extrn _PB_Len@4",
                              "extrn demo_S1",
                          });
  EXPECT_EQ(source("demo_Helper.asm"), helper);
  EXPECT_FALSE(files.exists("/dest/Source/demo_briskoLinkFile.asm"));
  EXPECT_EQ(referenced("_PB_Len@4"), 1);
}

TEST_F(PipelineOutput, ProcedureThatRefersToNothingEndsWithAnEmptyLine) {
  ListingText listing;
  testing::append(listing.program, testing::procedure("ProcedureCDLL Idle()", 0, {"  RET"}));
  ASSERT_EQ(convert(listing.text(), kLibrary), ok());
  EXPECT_EQ(source("Idle.asm"),
            (Lines{"format MS COFF", "", "section '.code' code readable executable", "",
                   "public Idle", "", "Idle:", "  RET ", ""}));
}

TEST_F(PipelineOutput, NamesFasmReservesGetInternalLabels) {
  ListingText listing;
  listing.program = {"; Public Loop, push"};
  testing::append(listing.program,
                  testing::procedure("ProcedureDLL Add(a)", 0, {"  MOV eax,[v_Loop]", "  RET 4"}));
  testing::append(listing.program,
                  testing::procedure("Procedure Caller()", 1, {"  CALL _Procedure0"}));
  listing.bss = {"v_Loop rd 1", "v_push rd 1", "PB_DataPointer rd 1"};

  ASSERT_EQ(convert(listing.text(), kObject), ok());
  EXPECT_EQ(source("Add.asm"), (Lines{"public brisko?Add as 'Add'", "",
                                      "brisko?Add:", "  MOV eax , [ brisko?Loop ] ", "  RET 4 "}));
  EXPECT_EQ(source("demo_Caller.asm"), (Lines{"demo_Caller:", "  CALL brisko?Add "}));
  EXPECT_EQ(source("demo_briskoDataSections.asm"),
            (Lines{"section '.data' data readable writeable", "align 4", "align 4", "",
                   "section '.bss' readable writeable", "brisko?Loop rd 1", "brisko?push rd 1",
                   "PB_DataPointer rd 1", "align 4", "", "section '.data' data readable writeable",
                   "", "public brisko?Loop as 'Loop'", "public brisko?push as 'push'"}));
  // Without referenced externals no empty line precedes the include.
  EXPECT_EQ(source("demo_briskoLinkFile.asm"),
            (Lines{"format MS COFF", "", "include \"demo_briskoDataSections.asm\"", "",
                   "section '.code' code readable executable", "", "include \"Add.asm\"",
                   "include \"demo_Caller.asm\""}));

  ASSERT_EQ(convert(listing.text(), kLibrary), ok());
  const Lines add = source("Add.asm");
  EXPECT_EQ(Lines(add.begin() + 4, add.end()),
            (Lines{"public brisko?Add as 'Add'", "", "brisko?Add:", "  MOV eax , [ brisko?Loop ] ",
                   "  RET 4 ", "", "extrn 'Loop' as brisko?Loop"}));
  const Lines caller = source("demo_Caller.asm");
  EXPECT_EQ(Lines(caller.end() - 3, caller.end()),
            (Lines{"  CALL brisko?Add ", "", "extrn 'Add' as brisko?Add"}));
  const Lines libraryData = source("demo_briskoDataSections.asm");
  const Lines publics = {
      "public brisko?Loop as 'Loop'",
      "public brisko?push as 'push'",
      "public demo_PB_DataPointer",
      "",
  };
  EXPECT_EQ(Lines(libraryData.end() - 4, libraryData.end()), publics);
}

TEST_F(PipelineOutput, SourcesFollowTheListingsEncoding) {
  ListingText listing;
  testing::append(listing.program,
                  testing::procedure("ProcedureDLL Cafe()", 0, {"  MOV eax,_S1", "  RET"}));
  listing.data = {"_SYS_StaticStringStart:", "_S1: db 'caf\xC3\xA9',0", "align 4"};
  const std::string utf8 = listing.text();
  const std::string dataPath = "/dest/Source/demo_briskoDataSections.asm";

  // ANSI: the byte of the code page comes back unchanged.
  ASSERT_EQ(convert(platform::utf8ToAnsi(utf8), kObject), ok());
  EXPECT_NE(read(dataPath).find("_S1: db 'caf\xE9',0\r\n"), std::string::npos);
  const std::string ansiProcedure = read("/dest/Source/Cafe.asm");
  EXPECT_EQ(ansiProcedure.substr(0, 6), ";Brisk");

  // UTF-8 with its mark: UTF-8 text without the mark, which FASM would refuse.
  ASSERT_EQ(convert("\xEF\xBB\xBF" + utf8, kObject), ok());
  EXPECT_EQ(read(dataPath).substr(0, 6), ";Brisk");
  EXPECT_NE(read(dataPath).find("_S1: db 'caf\xC3\xA9',0\r\n"), std::string::npos);
  EXPECT_EQ(read("/dest/Source/Cafe.asm"), ansiProcedure);

  // UTF-16 little endian: UTF-16 sources with their mark.
  ASSERT_EQ(convert("\xFF\xFE" + platform::utf8ToUtf16le(utf8), kObject), ok());
  for (const char* name : {"demo_briskoDataSections.asm", "Cafe.asm", "demo_briskoLinkFile.asm"}) {
    const std::string bytes = read(std::string("/dest/Source/") + name);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE") << name;
    const std::string text = platform::utf16leToUtf8(bytes.substr(2));
    EXPECT_EQ(text.substr(0, 27), ";Brisko generated asm file.") << name;
  }
  EXPECT_NE(platform::utf16leToUtf8(read(dataPath).substr(2)).find("_S1: db 'caf\xC3\xA9',0\r\n"),
            std::string::npos);
  EXPECT_EQ(platform::utf16leToUtf8(read("/dest/Source/Cafe.asm").substr(2)), ansiProcedure);
}

TEST_F(PipelineOutput, SourceWithoutExportsFailsAndWritesNoSource) {
  ListingText listing;
  listing.program = {"; Global notExported"};
  testing::append(listing.program, testing::procedure("Procedure Inner()", 0, {"  RET"}));
  useLog();
  EXPECT_EQ(convert(listing.text(), kObject), failed(TextId::noExports));
  EXPECT_EQ(onlyError(), "There are no exports within this file.\n(/src/demo.pb)");
  EXPECT_EQ(log.content.substr(log.content.find("no errors!\r\n") + 12),
            "There are no exports within this file. (/src/demo.pb)\r\n");
  EXPECT_EQ(feedback.statuses.size(), 1u);
  EXPECT_FALSE(files.exists("/dest/Source/demo_Inner.asm"));
  EXPECT_FALSE(files.exists("/dest/Source/demo_briskoLinkFile.asm"));
}

TEST_F(PipelineOutput, SecondConversionReplacesTheSources) {
  ASSERT_EQ(convert(kObject), ok());
  const std::string first = read("/dest/Source/Get.asm");
  const std::string link = read("/dest/Source/demo_briskoLinkFile.asm");
  clock.time.minute = 6;
  ASSERT_EQ(convert(kObject), ok());
  std::string second = read("/dest/Source/Get.asm");
  EXPECT_EQ(second.size(), first.size());
  EXPECT_NE(second.find(";Time is 09:06\r\n"), std::string::npos);
  EXPECT_EQ(second.find(";Brisko generated asm file.", 1), std::string::npos);
  EXPECT_EQ(read("/dest/Source/demo_briskoLinkFile.asm").size(), link.size());
}

TEST_F(PipelineOutput, DataSectionsSourceThatCannotBeWrittenFailsTheConversion) {
  const std::string data = "/dest/Source/demo_briskoDataSections.asm";
  useLog();
  files.failWrites(data);
  EXPECT_EQ(convert(kObject), failed(TextId::creatingFileError));
  EXPECT_EQ(onlyError(), "Unable to create file.\n(" + data + ": No space left on device)");
  EXPECT_TRUE(log.content.ends_with(
      "Creating data sections \"demo_briskoDataSections.asm\" ......Error!\r\n"
      "Unable to create file. (" +
      data + ": No space left on device)\r\n"))
      << log.content;
  EXPECT_FALSE(files.exists("/dest/Source/demo_briskoLinkFile.asm"));
}

TEST_F(PipelineOutput, ProcedureSourceThatCannotBeWrittenStopsTheSplitting) {
  const std::string helper = "/dest/Source/demo_Helper.asm";
  useLog();
  files.failWrites(helper);
  EXPECT_EQ(convert(kObject), failed(TextId::creatingFileError));
  EXPECT_EQ(onlyError(), "Unable to create file.\n(" + helper + ": No space left on device)");
  const std::string start = "Splitting assembly code functions ......\r\n";
  EXPECT_EQ(log.content.substr(log.content.find(start) + start.size()),
            "   ...creating source file \"Get.asm\" ......no errors!\r\n"
            "   ...creating source file \"demo_Helper.asm\" ......Error!\r\n"
            "Unable to create file. (" +
                helper + ": No space left on device)\r\n");
  EXPECT_EQ(source("Get.asm").size(), 13u);
  EXPECT_FALSE(files.exists("/dest/Source/demo_briskoLinkFile.asm"));
}

TEST_F(PipelineOutput, LinkSourceThatCannotBeCreatedFailsTheSplitting) {
  const std::string link = "/dest/Source/demo_briskoLinkFile.asm";
  files.makeInaccessible(link);
  EXPECT_EQ(convert(kObject), failed(TextId::creatingFileError));
  EXPECT_EQ(onlyError(), "Unable to create file.\n(" + link + ": Permission denied)");
  EXPECT_EQ(source("demo_Helper.asm").size(), 6u);
}

TEST_F(PipelineOutput, ListingEndingInsideAProcedureGivesInvalidFile) {
  ListingText listing;
  listing.program = {"; ProcedureDLL Open()", "macro MP0{", "_Procedure0:", "  RET"};
  EXPECT_EQ(convert(listing.text(), kObject), failed(TextId::invalidFile));
  EXPECT_EQ(onlyError(), "Invalid file.\n(/dest/Source/PureBasic.asm)");
  EXPECT_FALSE(files.exists("/dest/Source/demo_briskoLinkFile.asm"));
}

}  // namespace
}  // namespace brisko::pipeline
