// The PureBasic wrapper: its blocks, the library Import blocks and the dummy calls looked up in
// the library catalogue.
#include <gtest/gtest.h>

#include "pipeline/write_wrapper.h"
#include "pipeline_fixture.h"

namespace brisko::pipeline {
namespace {

const std::string kHeader =
    "\xEF\xBB\xBF;Brisko generated wrapper for demo.obj\r\n"
    ";(https://brisko.example.org)\r\n"
    ";Date is 04:03:2026\r\n"
    ";Time is 09:05\r\n"
    ";\r\n"
    ";This file may require some manual adjustments.\r\n"
    ";" +
    std::string(48, '\\') +
    "\r\n"
    "\r\n";
const std::string kLinkComment =
    ";The following will cause Purebasic to link in the correct libraries (external and "
    "internal) and may require adjustments.\r\n";
const std::string kLinkProcedure =
    "  ;Under no circumstances call the following procedure!\r\n"
    "    Procedure _LinkLibs_demo()\r\n"
    "      Protected a, a$, NewList a(), Dim b(0)\r\n";

class PipelineWrapper : public testing::PipelineFixture {
 protected:
  PipelineWrapper() {
    const auto& strings = catalogue.addLibrary("/pb/PureLibraries/String", true);
    const auto& userFiles = catalogue.addLibrary("/pb/PureLibraries/UserLibraries/Files", true);
    const auto& user32 = catalogue.addLibrary("C:\\PB\\PureLibraries\\Windows\\User32", false);
    const auto& kernel32 = catalogue.addLibrary("/pb/PureLibraries/Windows/Kernel32", false);
    catalogue.addFunction({&userFiles, "OpenFile", "(a, a$)", 0});
    catalogue.addFunction({&strings, "MessageRequester2", "(a$, a$, a)", 0});
    catalogue.addFunction({&strings, "123", "(a)", 0});
    catalogue.addFunction({&strings, "Beep", "()", 0});  // a Windows name in a PureBasic file
    catalogue.addFunction({&user32, "SendMessage", "", 4});
    catalogue.addFunction({&user32, "OpenFile", "", 3});
    catalogue.addFunction({&kernel32, "GetTickCount", "", 0});
    catalogue.addFunction({&kernel32, "Beep", "", 2});
    catalogue.sortFunctions();
  }

  Conversion& prepare(std::uint32_t flags, app::OutputFormat format,
                      const std::vector<SymbolRecord>& records) {
    Conversion& c = conversion(flags | app::kPbWrapper, format, 1, &catalogue);
    for (const SymbolRecord& record : records) c.symbols.append(record);
    return c;
  }

  std::string wrapper() const { return read("/dest/Bin/demo.pbi"); }

  toolchain::LibraryCatalogue catalogue;
};

SymbolRecord external(const std::string& name, bool referenced = true) {
  SymbolRecord record;
  record.asmName = name;
  record.referenced = referenced ? 1 : 0;
  return record;
}

// An item as the analysis records it: its name and what its declaration is formed from.
SymbolRecord exported(SymbolKind kind, const std::string& name, std::string type = {},
                      std::vector<std::string> parameters = {}) {
  SymbolRecord record;
  record.asmName = "x";
  record.outputName = name;
  record.kind = kind;
  record.declaration = DeclarationParts{std::move(type), ".l", std::move(parameters)};
  return record;
}

TEST_F(PipelineWrapper, BlocksLibrariesAndDummyCallsInListOrder) {
  catalogue.addCompilerLibrary(" PureBasicRuntime.lib ");
  catalogue.addCompilerLibrary("StringManager.lib");
  Conversion& c =
      prepare(0, kObject,
              {
                  external("_PB_OpenFile_UNICODE@8"),
                  exported(SymbolKind::variable, "count", ".l"),
                  exported(SymbolKind::procedureCDll, "Sub", "", {"(", "a", ".", "l", ")"}),
                  external("_SendMessageW@16"),
                  exported(SymbolKind::procedure, "never"),
                  exported(SymbolKind::procedureDll, "Get", ".l", {"(", "i", ".", "l", ")"}),
                  exported(SymbolKind::localData, "never"),
                  exported(SymbolKind::list, "never"),
                  exported(SymbolKind::array, "table"),
                  external("SYS_InitString@0"),
                  external("_PB_OpenFile_THREAD@8", false),
                  external("PB_MessageRequester2@12"),
                  external("_PB_123@4"),
                  external("_PB_Missing@4"),
                  external("_OpenFileA@12"),
                  external("_OpenFileW@12"),
                  external("_GetTickCount@0"),
                  external("_Beep@8"),
                  external("_Unknown@4"),
              });
  c.listing.importLibraries = {"kernel32.lib", "user32.lib"};
  useLog();
  EXPECT_EQ(writeWrapper(c), ok());
  EXPECT_EQ(wrapper(), kHeader +
                           "Import \"demo.obj\"\r\n"
                           "  count.l AS \"count\"\r\n"
                           "  Get.l(i.l) As \"Get\"\r\n"
                           "  table_arrayPTR As \"table\"\r\n"
                           "EndImport\r\n"
                           "\r\n"
                           "ImportC \"demo.obj\"\r\n"
                           "  Sub(a.l) As \"Sub\"\r\n"
                           "EndImport\r\n"
                           "\r\n" +
                           kLinkComment +
                           "  Import \"PureBasicRuntime.lib\"\r\n  EndImport\r\n"
                           "  Import \"StringManager.lib\"\r\n  EndImport\r\n"
                           "\r\n"
                           "  Import \"kernel32.lib\"\r\n  EndImport\r\n"
                           "  Import \"user32.lib\"\r\n  EndImport\r\n"
                           "\r\n" +
                           kLinkProcedure +
                           "      OpenFile(a, a$)\r\n"
                           "      SendMessage_(a, a, a, a) ;User32\r\n"
                           "      MessageRequester(a$, a$, a)\r\n"
                           "      (a)\r\n"
                           "      OpenFile_(a, a, a) ;User32\r\n"
                           "      OpenFile_(a, a, a) ;User32\r\n"
                           "      GetTickCount_() ;Kernel32\r\n"
                           "      Beep_(a, a) ;Kernel32\r\n"
                           "    EndProcedure\r\n");
  EXPECT_EQ(log.content, "Creating Purebasic wrapper \"../Bin/demo.pbi\" ......no errors!\r\n");
  EXPECT_EQ(feedback.statuses, Lines{"Status = creating Purebasic wrapper."});
}

// x64 listings name functions without decoration; the runtime's items that the header or data
// publish are no functions and get no call.
TEST_F(PipelineWrapper, UndecoratedNamesOfX64FindTheirFunctions) {
  Conversion& c =
      prepare(0, kLibrary,
              {external("PB_OpenFile_THREAD_UNICODE"), external("PB_MessageRequester2"),
               external("SendMessageW"), external("GetTickCount"), external("PB_MemoryBase"),
               external("_PB_ExecutableType"), external("I_BSSStart"), external("SYS_InitString")});
  EXPECT_EQ(writeWrapper(c), ok());
  EXPECT_TRUE(wrapper().ends_with(kLinkProcedure + "      OpenFile(a, a$)\r\n"
                                                   "      MessageRequester(a$, a$, a)\r\n"
                                                   "      SendMessage_(a, a, a, a) ;User32\r\n"
                                                   "      GetTickCount_() ;Kernel32\r\n"
                                                   "    EndProcedure\r\n"))
      << wrapper();
}

TEST_F(PipelineWrapper, LibraryOutputAndBlocksLeftOut) {
  // Only ProcedureCDLL exports, no library names: no Import block, and the link comment is
  // followed directly by the procedure.
  Conversion& c =
      prepare(0, kLibrary,
              {exported(SymbolKind::procedureCDll, "Sub", "", {"(", "a", ".", "l", ")"}),
               exported(SymbolKind::procedure, "never"), external("_GetTickCount@0", false)});
  EXPECT_EQ(writeWrapper(c), ok());
  EXPECT_EQ(wrapper(), kHeader +
                           "ImportC \"demo.lib\"\r\n"
                           "  Sub(a.l) As \"Sub\"\r\n"
                           "EndImport\r\n"
                           "\r\n" +
                           kLinkComment + kLinkProcedure + "    EndProcedure\r\n");

  // Reusing edited sources leaves no marks: then every external is considered.
  Conversion& reused =
      prepare(app::kUseExistingAsmFiles, kLibrary,
              {exported(SymbolKind::array, "t"), external("_GetTickCount@0", false)});
  EXPECT_EQ(writeWrapper(reused), ok());
  EXPECT_EQ(wrapper(), kHeader +
                           "Import \"demo.lib\"\r\n"
                           "  t_arrayPTR As \"t\"\r\n"
                           "EndImport\r\n"
                           "\r\n" +
                           kLinkComment + kLinkProcedure +
                           "      GetTickCount_() ;Kernel32\r\n    EndProcedure\r\n");
}

// Builds made with the thread-safe option only, for both processors: the programs without it
// stop at a CompilerError, the Import blocks and the dummy calls are chosen where the builds
// differ, and what they share is written once.
TEST_F(PipelineWrapper, SeveralBuildsAreChosenByProcessorAndThreadSafety) {
  WrapperCells cells;
  cells[0][1].part = WrapperPart{{"Import \"demo.lib\"", "  A() As \"A\"", "EndImport", ""},
                                 {"  Import \"PureBasicRuntime.lib\"", "  EndImport", ""},
                                 {"      Len(a$)"}};
  cells[1][1].part = cells[0][1].part;
  cells[1][1].part->imports[0] = "Import \"demo_x64.lib\"";
  cells[1][1].part->dummyCalls.push_back("      GetTickCount_() ;Kernel32");
  cells[0][0].missing = "no plain x86";
  cells[1][0].missing = "no \"plain\" x64";
  EXPECT_EQ(wrapperText(feedback, "demo", "demo", clock.now(), cells),
            kHeader +
                "CompilerIf #PB_Compiler_Processor = #PB_Processor_x64\r\n"
                "  CompilerIf #PB_Compiler_Thread\r\n"
                "    Import \"demo_x64.lib\"\r\n"
                "      A() As \"A\"\r\n"
                "    EndImport\r\n"
                "  CompilerElse\r\n"
                "    CompilerError \"no 'plain' x64\"\r\n"
                "  CompilerEndIf\r\n"
                "CompilerElse\r\n"
                "  CompilerIf #PB_Compiler_Thread\r\n"
                "    Import \"demo.lib\"\r\n"
                "      A() As \"A\"\r\n"
                "    EndImport\r\n"
                "  CompilerElse\r\n"
                "    CompilerError \"no plain x86\"\r\n"
                "  CompilerEndIf\r\n"
                "CompilerEndIf\r\n"
                "\r\n" +
                kLinkComment +
                "  Import \"PureBasicRuntime.lib\"\r\n  EndImport\r\n"
                "\r\n" +
                kLinkProcedure +
                "      CompilerIf #PB_Compiler_Processor = #PB_Processor_x64\r\n"
                "        Len(a$)\r\n"
                "        GetTickCount_() ;Kernel32\r\n"
                "      CompilerElse\r\n"
                "        Len(a$)\r\n"
                "      CompilerEndIf\r\n"
                "    EndProcedure\r\n");
}

TEST_F(PipelineWrapper, FileThatCannotBeCreatedIsReportedButNoFailure) {
  files.makeInaccessible("/dest/Bin/demo.pbi");
  Conversion& c = prepare(0, kObject, {external("_GetTickCount@0")});
  useLog();
  EXPECT_EQ(writeWrapper(c), ok());
  EXPECT_EQ(onlyError(), "Unable to create file.\n(/dest/Bin/demo.pbi: Permission denied)");
  EXPECT_EQ(log.content,
            "Creating Purebasic wrapper \"../Bin/demo.pbi\" ......Error!\r\n"
            "Unable to create file. (/dest/Bin/demo.pbi: Permission denied)\r\n");
}

}  // namespace
}  // namespace brisko::pipeline
