// The conversion driver, its output folders and log, and the assembling with FASM and polib.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_assembler.h"
#include "pipeline/assemble_archive.h"
#include "pipeline/run_conversion.h"
#include "pipeline_fixture.h"
#include "platform/code_pages.h"

namespace brisko::pipeline {
namespace {

const std::string kLogHeader =
    "\xEF\xBB\xBF"
    "Brisko generated log file.\r\nDate is 04:03:2026\r\nTime is 09:05\r\n"
    "\\\\\\\\\\\\\\\\\\\\\r\n";

// The text between the last two double quotes of a command line: the output file of FASM
// and polib.
std::string lastQuoted(const std::string& commandLine) {
  const auto close = commandLine.rfind('"');
  const auto open = commandLine.rfind('"', close - 1);
  return commandLine.substr(open + 1, close - open - 1);
}

bool mentions(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

// The tools play their part on the in-memory disk: the compiler writes the listing into its
// working folder, FASM and polib write the file their command line names when they succeed.
class PipelineDriver : public testing::PipelineFixture {
 protected:
  PipelineDriver() {
    files.addFile("/pb/compilers/polib.exe", "MZ");
    launcher.onStart = [this](const testing::StartedProcess& p) {
      const bool succeeds = launcher.scripts.front().exitCode == 0;
      if (mentions(p.commandLine, "PBcompiler.exe")) {
        files.addFile(p.workingFolder + "PureBasic.asm", listing);
      } else if (mentions(p.commandLine, "fasm.exe")) {
        const std::string source =
            p.commandLine.substr(p.commandLine.find("\" \"") + 3,
                                 p.commandLine.rfind("\" \"") - p.commandLine.find("\" \"") - 3);
        if (succeeds) {
          files.addFile(lastQuoted(p.commandLine), testing::fakeObject(files, source));
        }
      } else if (mentions(p.commandLine, "polib.exe")) {
        binWhenArchiving = names(p.workingFolder);
        if (succeeds && polibWritesLibrary) {
          files.addFile(lastQuoted(p.commandLine), testing::fakeLibrary(files, p.workingFolder));
        }
      }
    };
  }

  // Queues n tool runs that succeed.
  void succeed(int n) {
    for (int i = 0; i < n; ++i) launcher.scripts.push_back({});
  }

  app::Outcome run(std::uint32_t flags, app::OutputFormat format,
                   const std::string& source = "/src/demo.pb",
                   const std::string& destination = "/dest/") {
    app::ConversionOptions options;
    options.flags = flags;
    options.outputFormat = format;
    lastRun = runConversion(services, source, destination, options);
    return lastRun.outcome;
  }

  ConversionResult lastRun;

  Lines names(const std::string& folder) const {
    Lines result;
    for (const auto& entry :
         files.listFolder(folder).value_or(std::vector<platform::FolderEntry>{})) {
      result.push_back(entry.name + (entry.isFolder ? "/" : ""));
    }
    return result;
  }

  Lines commandLines() const {
    Lines result;
    for (const auto& started : launcher.started) result.push_back(started.commandLine);
    return result;
  }

  std::string logFile(const std::string& folder = "/dest/") const {
    return read(folder + "Logs/briskoLog.txt");
  }

  // The last characters of the log, as many as expected has.
  std::string logEnd(const std::string& expected) const {
    const std::string text = logFile();
    return text.size() < expected.size() ? text : text.substr(text.size() - expected.size());
  }

  std::string listing = testing::sampleListing().text();
  bool polibWritesLibrary = true;
  Lines binWhenArchiving;
};

ListingText exportOnly() {
  ListingText listing;
  testing::append(listing.program, testing::procedure("ProcedureDLL Only()", 0, {"  RET"}));
  return listing;
}

TEST_F(PipelineDriver, ObjectRunProducesTheObjectAndACompleteLog) {
  succeed(2);
  EXPECT_EQ(run(app::kLogFile, kObject), ok());
  EXPECT_EQ(
      commandLines(),
      (Lines{
          R"("/pb/compilers/PBcompiler.exe" "/src/demo.pb" /EXE "/dest/Source/briskoSourceCompilation.exe" /COMMENTED)",
          R"("/pb/compilers/fasm.exe" "/dest/Source/demo_briskoLinkFile.asm" "/dest/Source/briskoObjects/demo.obj")"}));
  EXPECT_EQ(launcher.started[0].workingFolder, "/dest/Source/");
  EXPECT_EQ(launcher.started[1].workingFolder, "/dest/Source/briskoObjects/");
  EXPECT_EQ(launcher.started[1].captured, platform::CapturedStream::standardError);
  EXPECT_EQ(names("/dest/Bin"), (Lines{"demo.obj"}));
  EXPECT_EQ(names("/dest/Source/briskoObjects"), Lines{});
  EXPECT_FALSE(files.exists(kListingPath));
  EXPECT_EQ(logFile(),
            kLogHeader +
                "Compiling \"/src/demo.pb\" ......no errors!\r\n"
                "Scanning assembly code / creating data sections (if appropriate) "
                "\"/dest/Source/PureBasic.asm\" ......no errors!\r\n"
                "Splitting assembly code functions ......\r\n"
                "   ...creating source file \"Get.asm\" ......no errors!\r\n"
                "   ...creating source file \"demo_Helper.asm\" ......no errors!\r\n"
                "Creating data sections \"demo_briskoDataSections.asm\" ......no errors!\r\n"
                "Creating main ASM file \"demo_briskoLinkFile.asm\" ......no errors!\r\n"
                "Creating COFF file \"../Bin/demo.obj\" ......no errors!\r\n"
                "Checking COFF objects \"demo.obj\" ......no errors!\r\n"
                "1 objects checked: 4 symbols defined, 2 taken from outside.\r\n"
                "\r\n"
                "\"demo.obj\" uses the following external functions / symbols :\r\n"
                "==========\r\n"
                "1) _PB_Len@4\r\n"
                "2) _PB_Table@0\r\n");
  EXPECT_TRUE(lastRun.foldersReady);
  EXPECT_EQ(lastRun.writtenFiles, (Lines{"/dest/Bin/demo.obj", "/dest/Logs/briskoLog.txt"}));
  EXPECT_EQ(feedback.activeLog(), nullptr);
}

// The objects are made and packed in a folder of their own: Bin/ gains the library and loses
// nothing of the user's; Source/ loses only the sources generated before.
TEST_F(PipelineDriver, LibraryRunAssemblesEverySourceAndKeepsOnlyTheLibrary) {
  files.addFile("/dest/Source/old.asm", ";Brisko generated asm file.\r\n;stale\r\n");
  files.addFile("/dest/Source/demo.pb", "the user's source");
  files.addFolder("/dest/Source/keep");
  files.addFile("/dest/Source/briskoObjects/interrupted.obj", "old");
  files.addFile("/dest/Bin/helper.obj", "mine");
  files.addFile("/dest/Bin/notes.txt", "mine");
  succeed(3);
  EXPECT_EQ(run(app::kLogFile, kLibrary), ok());
  // One FASM run on the members' combined source, cut into the members, which polib packs.
  const Lines commands = commandLines();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(
      commands[1],
      R"("/pb/compilers/fasm.exe" "/dest/Source/briskoObjects/demo_briskoCombined.asm" "/dest/Source/briskoObjects/demo_briskoCombined.obj")");
  EXPECT_EQ(launcher.started[1].workingFolder, "/dest/Source/briskoObjects/");
  EXPECT_EQ(commands[2],
            R"("/pb/compilers/polib.exe" *.obj /out:"/dest/Source/briskoObjects/demo.lib")");
  EXPECT_EQ(launcher.started[2].workingFolder, "/dest/Source/briskoObjects");
  EXPECT_EQ(launcher.started[2].captured, platform::CapturedStream::standardOutput);
  EXPECT_EQ(binWhenArchiving, (Lines{"Get.obj", "demo_Helper.obj", "demo_briskoDataSections.obj"}));
  EXPECT_EQ(names("/dest/Bin"), (Lines{"helper.obj", "notes.txt", "demo.lib"}));
  EXPECT_EQ(names("/dest/Source"), (Lines{"demo.pb", "keep/", "briskoObjects/", "Get.asm",
                                          "demo_Helper.asm", "demo_briskoDataSections.asm"}));
  EXPECT_EQ(names("/dest/Source/briskoObjects"), Lines{});
  const std::string tail =
      "Creating COFF file \"../Source/briskoObjects/demo_briskoDataSections.obj\" ......no "
      "errors!\r\n"
      "Checking COFF objects \"demo.lib\" ......no errors!\r\n"
      "3 objects checked: 16 symbols defined, 2 taken from outside.\r\n"
      "The library is packed by the installation's polib.\r\n"
      "Creating COFF file \"../Bin/demo.lib\" ......no errors!\r\n"
      "\r\n"
      "\"demo.lib\" uses the following external functions / symbols :\r\n"
      "==========\r\n"
      "1) _PB_Len@4\r\n"
      "2) _PB_Table@0\r\n";
  EXPECT_EQ(logEnd(tail), tail);

  // A combined source FASM refuses (one label in two procedures' inline assembly, say): each
  // source is assembled on its own. Without polib brisko packs the library itself.
  files.deleteFile("/pb/compilers/polib.exe");
  launcher.started.clear();
  launcher.scripts = {
      {}, {"", "demo_briskoCombined.asm [9]: error: symbol already defined.", 2}, {}, {}, {}};
  EXPECT_EQ(run(app::kLogFile, kLibrary), ok());
  EXPECT_EQ(commandLines().size(), 5u);
  EXPECT_EQ(lastQuoted(commandLines()[2]), "/dest/Source/briskoObjects/Get.obj");
  EXPECT_TRUE(mentions(logFile(),
                       "The installation holds no polib: brisko packs the library "
                       "itself.\r\nCreating COFF file \"../Bin/demo.lib\" ......no "
                       "errors!"));
  EXPECT_EQ(read("/dest/Bin/demo.lib").substr(0, 8), "!<arch>\n");
}

// An x64 listing (5.4x and later) gives 64-bit sources and a library packed for x64, also when
// its sources are assembled again.
TEST_F(PipelineDriver, X64ListingGivesX64SourcesAndLibrary) {
  listing = testing::compilerLayoutListing({"; ProcedureDLL Get() ",
                                            "_Procedure0:",
                                            "  MOV rax,qword [v_total]",
                                            "  ADD rax,[sg]",
                                            "  MOV qword [PB_ExitCode],2",
                                            "  JMP _PB_EOP",
                                            "  RET",
                                            "section '.data' data readable writeable",
                                            "_SYS_StaticStringStart:",
                                            "_S1: dw 120,0",
                                            "_SYS_StaticStringEnd:",
                                            "pb_align 8",
                                            "D1: dq 4611686018427387904",
                                            "section '.bss' readable writeable",
                                            "I_BSSStart:",
                                            "PB_MemoryBase: rq 1",
                                            "v_total rq 1",
                                            "sgl.v_SGL rq 1",
                                            "PB_ExitCode: rq 1",
                                            "pb_bssalign 8",
                                            "PB_DataPointer rq 1",
                                            "I_BSSEnd:",
                                            "section '.data' data readable writeable",
                                            "l_table:",
                                            "dq _Procedure0,D1"},
                                           {"define sg sgl.v_SGL"});
  for (const auto& [x86, x64] : {std::pair{"format MS COFF", "format MS64 COFF"},
                                 std::pair{"_ExitProcess@4", "ExitProcess"}}) {
    listing.replace(listing.find(x86), std::string_view(x86).size(), x64);
  }
  succeed(4);
  ASSERT_EQ(run(0, kLibrary, "/src/demo.pb", "/src/"), ok());
  EXPECT_EQ(
      commandLines().back(),
      R"("/pb/compilers/polib.exe" /MACHINE:X64 *.obj /out:"/src/Source/briskoObjects/demo.lib")");
  const Lines data = sourceLines("/src/Source/demo_briskoDataSections.asm");
  for (const char* line :
       {"format MS64 COFF", "demo_S1: dw 120,0", "align 8", "demo_D1: dq 4611686018427387904",
        "demo_v_total rq 1", "demo_sgl.v_SGL rq 1", "demo_PB_ExitCode: rq 1", "  dq Get , demo_D1 ",
        "  MOV rcx,qword [demo_PB_ExitCode]", "  CALL ExitProcess", "extrn ExitProcess"}) {
    EXPECT_NE(std::find(data.begin(), data.end(), line), data.end()) << line;
  }
  const Lines get = sourceLines("/src/Source/Get.asm");
  EXPECT_EQ(get.front(), "format MS64 COFF");
  // A module's item behind a define alias: the alias is written as the item's output name.
  EXPECT_NE(std::find(get.begin(), get.end(), "  ADD rax , [ demo_sgl.v_SGL ] "), get.end());

  // Assembled again from the sources alone: they still say x64.
  launcher.started.clear();
  succeed(3);
  ASSERT_EQ(run(app::kUseExistingAsmFiles, kLibrary, "/src/demo.pb", "/src/"), ok());
  EXPECT_TRUE(mentions(commandLines().back(), "polib.exe\" /MACHINE:X64 *.obj"));
}

TEST_F(PipelineDriver, LibraryThatCannotBeMovedIntoBinIsReportedAsNotCreated) {
  polibWritesLibrary = false;
  succeed(5);
  EXPECT_EQ(run(app::kLogFile, kLibrary), failed(TextId::creatingFileError));
  EXPECT_EQ(onlyError(), "Unable to create file.\n(/dest/Bin/demo.lib)");
  const std::string tail =
      "Creating COFF file \"../Bin/demo.lib\" ......Error!\r\n"
      "Unable to create file. (/dest/Bin/demo.lib)\r\n"
      "Output file not created.\r\n";
  EXPECT_EQ(logEnd(tail), tail);
}

TEST_F(PipelineDriver, FailuresOfEarlierStagesEndTheRun) {
  // The compiler reports an error: its listing stays, nothing else runs.
  launcher.scripts.push_back({"Error: Line 3 - Syntax error\r\n", "", 1});
  EXPECT_EQ(run(app::kLogFile, kObject), failed(TextId::objectCompilerError));
  EXPECT_EQ(logFile(), kLogHeader +
                           "Compiling \"/src/demo.pb\" ......Error: Line 3 - Syntax error\r\n"
                           "Output file not created.\r\n");
  EXPECT_TRUE(files.exists(kListingPath));
  EXPECT_EQ(launcher.started.size(), 1u);

  // Nothing exported: the splitting fails, the listing is deleted.
  ListingText inner;
  testing::append(inner.program, testing::procedure("Procedure Inner()", 0, {"  RET"}));
  listing = inner.text();
  feedback.messages.clear();
  succeed(1);
  EXPECT_EQ(run(app::kLogFile | app::kPbWrapper, kObject), failed(TextId::noExports));
  EXPECT_FALSE(files.exists("/dest/Bin/demo.pbi"));
  const std::string tail =
      "......no errors!\r\n"
      "There are no exports within this file. (/src/demo.pb)\r\n"
      "Output file not created.\r\n";
  EXPECT_EQ(logEnd(tail), tail);
  EXPECT_FALSE(files.exists(kListingPath));
  EXPECT_EQ(launcher.started.size(), 2u);
  EXPECT_TRUE(lastRun.foldersReady);
  EXPECT_TRUE(lastRun.writtenFiles.empty());
}

TEST_F(PipelineDriver, RunWithoutExternalsStillWritesTheSummaryHead) {
  listing = exportOnly().text();
  succeed(2);
  EXPECT_EQ(run(app::kLogFile, kObject), ok());
  const std::string tail =
      "1 objects checked: 1 symbols defined, 0 taken from outside.\r\n\r\n"
      "\"demo.obj\" uses the following external functions / symbols :\r\n"
      "==========\r\n";
  EXPECT_EQ(logEnd(tail), tail);
}

TEST_F(PipelineDriver, BaseNameDropsOnlyTheLastExtension) {
  listing = exportOnly().text();
  files.addFile("/src/my.test.pb", "");
  files.addFile("/src/makefile", "");
  succeed(4);
  EXPECT_EQ(run(0, kObject, "/src/my.test.pb"), ok());
  EXPECT_EQ(run(0, kObject, "/src/makefile"), ok());
  ASSERT_EQ(launcher.started.size(), 4u);
  EXPECT_EQ(
      launcher.started[1].commandLine,
      R"("/pb/compilers/fasm.exe" "/dest/Source/my.test_briskoLinkFile.asm" "/dest/Source/briskoObjects/my.test.obj")");
  EXPECT_EQ(lastQuoted(launcher.started[3].commandLine), "/dest/Source/briskoObjects/makefile.obj");
  // Without a log nothing is written into Logs/.
  EXPECT_EQ(names("/dest/Logs"), Lines{});
}

TEST_F(PipelineDriver, DestinationThatIsNoFolderFallsBackToTheSourceFolder) {
  listing = exportOnly().text();
  succeed(4);
  EXPECT_EQ(run(app::kLogFile, kObject, "/src/demo.pb", "/missing/"), ok());
  EXPECT_TRUE(files.exists("/src/Bin/demo.obj"));
  EXPECT_TRUE(files.exists("/src/Logs/briskoLog.txt"));
  files.deleteFile("/src/Bin/demo.obj");
  EXPECT_EQ(run(0, kObject, "/src/demo.pb", "/src/demo.pb"), ok());
  EXPECT_TRUE(files.exists("/src/Bin/demo.obj"));
  EXPECT_EQ(names("/dest/Bin"), Lines{});
}

TEST_F(PipelineDriver, OutputFoldersThatCannotBeMadeEndTheRunBeforeAnyTool) {
  files.addFolder("/out");
  files.makeInaccessible("/out/Logs");
  EXPECT_EQ(run(app::kLogFile, kObject, "/src/demo.pb", "/out/"),
            failed(TextId::outputDirectories));
  EXPECT_EQ(onlyError(),
            "Unable to create the output directories.\n(/out/: No such file or directory)");
  EXPECT_EQ(names("/out"), (Lines{"Bin/", "Source/"}));
  EXPECT_TRUE(launcher.started.empty());
  EXPECT_FALSE(lastRun.foldersReady);
}

// Once the listing has been read, a library run removes the sources this program generated
// before, in each encoding it writes them in; the user's files (a source kept there, notes, an
// .asm of their own) stay. A file of the user's where a source is to go stops the run before
// anything is written.
TEST_F(PipelineDriver, SourceFolderKeepsTheUsersFilesAndLosesOldSourcesOfALibrary) {
  files.addFolder("/dest/Source/sub");
  files.addFile("/dest/Source/a.asm", ";Brisko generated asm file.\r\n");
  files.addFile("/dest/Source/w.asm",
                "\xFF\xFE" + platform::utf8ToUtf16le(";Brisko generated asm file.\r\n"));
  files.addFile("/dest/Source/u.asm", "\xEF\xBB\xBF;Brisko generated asm file.\r\n");
  files.addFile("/dest/Source/mine.asm", "; my own\r\n");
  files.addFile("/dest/Source/notes.txt", "notes");
  files.addFile("/dest/Source/mylib.pb", "ProcedureDLL X()\r\nEndProcedure\r\n");
  succeed(2);
  EXPECT_EQ(run(0, kObject), ok());
  EXPECT_EQ(names("/dest/Source").size(), 12u);
  succeed(5);
  EXPECT_EQ(run(0, kLibrary), ok());
  EXPECT_EQ(names("/dest/Source"),
            (Lines{"sub/", "mine.asm", "notes.txt", "mylib.pb", "Get.asm", "demo_Helper.asm",
                   "demo_briskoDataSections.asm", "briskoObjects/"}));

  files.addFile("/dest/Source/demo_Helper.asm", "; the user's Helper\r\n");
  const std::string getSource = read("/dest/Source/Get.asm");
  succeed(1);
  EXPECT_EQ(run(0, kLibrary), failed(TextId::userFileInSource));
  EXPECT_EQ(onlyError(),
            "The Source folder holds a file of yours that the conversion would overwrite. Rename "
            "or move it first, or choose another destination.\n(/dest/Source/demo_Helper.asm)");
  EXPECT_EQ(read("/dest/Source/Get.asm"), getSource);
  EXPECT_EQ(read("/dest/Source/demo_Helper.asm"), "; the user's Helper\r\n");

  EXPECT_EQ(prepareOutputFolders(services, "/nowhere/"), failed(TextId::outputDirectories));
  EXPECT_EQ(feedback.messages.back().text,
            "Unable to create the output directories.\n(/nowhere/: No such file or directory)");
}

TEST_F(PipelineDriver, ReusedSourcesDecideTheFormatAndSkipTheirMaking) {
  // The link source marks object sources; without a destination folder they are taken from the
  // source file's folder.
  files.addFile("/src/Source/demo_briskoLinkFile.asm", "edited");
  files.addFile("/src/Source/demo_briskoDataSections.asm", "edited");
  files.addFile("/src/Source/Get.asm", "edited");
  files.addFolder("/src/Bin");
  files.addFolder("/src/Logs");
  succeed(1);
  EXPECT_EQ(run(app::kLogFile | app::kUseExistingAsmFiles, kLibrary, "/src/demo.pb", ""), ok());
  EXPECT_EQ(
      commandLines(),
      (Lines{
          R"("/pb/compilers/fasm.exe" "/src/Source/demo_briskoLinkFile.asm" "/src/Source/briskoObjects/demo.obj")"}));
  EXPECT_EQ(logFile("/src/"),
            kLogHeader +
                "Creating COFF file \"../Bin/demo.obj\" ......no errors!\r\n"
                "Checking COFF objects \"demo.obj\" ......no errors!\r\n"
                "1 objects checked: 0 symbols defined, 0 taken from outside.\r\n");

  // With the wrapper the compiler and the analysis run, the edited sources stay.
  launcher.started.clear();
  succeed(2);
  EXPECT_EQ(run(app::kUseExistingAsmFiles | app::kPbWrapper, kLibrary, "/src/demo.pb", ""), ok());
  EXPECT_EQ(launcher.started.size(), 2u);
  EXPECT_EQ(read("/src/Source/Get.asm"), "edited");
  EXPECT_EQ(read("/src/Source/demo_briskoDataSections.asm"), "edited");
  EXPECT_FALSE(files.exists("/src/Source/PureBasic.asm"));
  // The wrapper comes last, for the format the reused sources have.
  EXPECT_THAT(read("/src/Bin/demo.pbi"),
              ::testing::HasSubstr("\r\nImport \"demo.obj\"\r\n  table_arrayPTR"));

  // Without the link source the sources are taken for a library.
  files.deleteFile("/src/Source/demo_briskoLinkFile.asm");
  launcher.started.clear();
  succeed(3);
  EXPECT_EQ(run(app::kUseExistingAsmFiles, kObject, "/src/demo.pb", "/src/"), ok());
  EXPECT_EQ(lastQuoted(launcher.started[0].commandLine),
            "/src/Source/briskoObjects/demo_briskoDataSections.obj");
  EXPECT_EQ(lastQuoted(launcher.started[1].commandLine), "/src/Source/briskoObjects/Get.obj");
  // The object of the earlier run and the wrapper stay.
  EXPECT_EQ(names("/src/Bin"), (Lines{"demo.obj", "demo.pbi", "demo.lib"}));
}

// Reused sources need their folder and the data-sections source: a missing one is named.
TEST_F(PipelineDriver, ReusedSourcesWithoutTheirFolderOrDataAreNamed) {
  files.addFile("/bare/demo.pb", "");
  EXPECT_EQ(run(app::kLogFile | app::kUseExistingAsmFiles, kObject, "/bare/demo.pb", ""),
            failed(TextId::noAsmFiles));
  EXPECT_EQ(onlyError(), "There are no ASM files to compile.\n(/bare/Source/)");
  EXPECT_EQ(names("/bare"), (Lines{"demo.pb"}));
  feedback.messages.clear();
  files.addFile("/bare/Source/Get.asm", ";Brisko generated asm file.\r\n");
  EXPECT_EQ(run(app::kUseExistingAsmFiles, kObject, "/bare/demo.pb", "/bare/"),
            failed(TextId::fileNotFound));
  EXPECT_EQ(onlyError(), "File not found.\n(/bare/Source/demo_briskoDataSections.asm)");
}

class PipelineAssemble : public PipelineDriver {
 protected:
  app::Outcome assemble(app::OutputFormat format) {
    useLog();
    Conversion& c = conversion(0, format);
    const app::Outcome planned = planReusedSources(c);
    return planned.succeeded() ? assembleAndArchive(c) : planned;
  }

  // What a library build showed and left behind.
  struct Build {
    app::Outcome result;
    Lines messages;
    Lines progress;
    std::string log;
    Lines bin;
    std::size_t started = 0;
  };

  // The FASM runs follow the scripts in the order they are started.
  Build buildLibrary(int jobs, const std::vector<testing::ScriptedLauncher::Script>& scripts) {
    launcher.scripts.assign(scripts.begin(), scripts.end());
    feedback.messages.clear();
    feedback.details.clear();
    log.content.clear();
    useLog();
    Conversion& c = conversion(0, kLibrary, jobs);
    Build build;
    const std::size_t startedBefore = launcher.started.size();
    EXPECT_EQ(planReusedSources(c), app::ok());
    build.result = assembleAndArchive(c);
    build.started = launcher.started.size() - startedBefore;
    for (const auto& message : feedback.messages) build.messages.push_back(message.text);
    build.progress = feedback.details;
    build.log = log.content;
    build.bin = names("/dest/Source/briskoObjects");
    return build;
  }
};

TEST_F(PipelineAssemble, FasmFailureStopsTheLibraryAndKeepsEarlierObjects) {
  for (const char* name :
       {"a.asm", "PureBasic.asm", "x.ASM", "notes.txt", "b.asm", "my.test_Proc.asm", "c.asm"}) {
    files.addFile(std::string("/dest/Source/") + name, "");
  }
  files.addFolder("/dest/Source/dir.asm");
  files.addFile("/dest/Bin/old.obj", "");
  succeed(2);
  launcher.scripts.push_back({"", "demo.asm [3]: error: illegal instruction.", 2});
  EXPECT_EQ(assemble(kLibrary), failed(TextId::objectFasmError));
  Lines objects;
  for (const auto& started : launcher.started) objects.push_back(lastQuoted(started.commandLine));
  EXPECT_EQ(objects, (Lines{"/dest/Source/briskoObjects/a.obj", "/dest/Source/briskoObjects/b.obj",
                            "/dest/Source/briskoObjects/my.test_Proc.obj"}));
  // Nothing of the failed run stays in the object folder.
  EXPECT_EQ(names("/dest/Source/briskoObjects"), Lines{});
  EXPECT_EQ(names("/dest/Bin"), (Lines{"old.obj"}));
  EXPECT_EQ(log.content,
            "Creating COFF file \"../Source/briskoObjects/a.obj\" ......no errors!\r\n"
            "Creating COFF file \"../Source/briskoObjects/b.obj\" ......no errors!\r\n"
            "Creating COFF file \"../Source/briskoObjects/my.test_Proc.obj\" ......Error!\r\n"
            "demo.asm [3]: error: illegal instruction.\r\n");
  ASSERT_EQ(feedback.messages.size(), 1u);
  EXPECT_EQ(feedback.messages[0].title, "brisko (PB --> .obj)");
  EXPECT_EQ(feedback.messages[0].text,
            "Fasm reported an error.\n\ndemo.asm [3]: error: illegal instruction.");
  EXPECT_EQ(feedback.messages[0].icon, app::MessageIcon::failure);
  EXPECT_EQ(feedback.statuses, (Lines{"Status = creating individual .obj files."}));
}

TEST_F(PipelineAssemble, SourceFolderWithoutSourcesOrThatCannotBeListedFails) {
  files.addFile("/dest/Source/PureBasic.asm", "");
  files.addFile("/dest/Source/x.ASM", "");
  EXPECT_EQ(assemble(kLibrary), failed(TextId::noAsmFiles));
  EXPECT_EQ(onlyError(), "There are no ASM files to compile.");
  EXPECT_EQ(log.content, "There are no ASM files to compile.\r\n");
  EXPECT_TRUE(launcher.started.empty());

  files.makeInaccessible("/dest/Source");
  feedback.messages.clear();
  EXPECT_EQ(assemble(kLibrary), failed(TextId::asmFilesProblem));
}

TEST_F(PipelineAssemble, ToolsThatFailOrDoNotStart) {
  // FASM ends with an error and says nothing.
  launcher.scripts.push_back({"", "", 1});
  EXPECT_EQ(assemble(kObject), failed(TextId::objectFasmError));
  EXPECT_EQ(feedback.messages.back().text, "Fasm reported an unknown error.");
  EXPECT_EQ(log.content,
            "Creating COFF file \"../Bin/demo.obj\" ......Error!\r\n"
            "Fasm reported an unknown error.\r\n");

  // FASM does not start.
  log.content.clear();
  EXPECT_EQ(assemble(kObject), failed(TextId::fasmProblem));
  EXPECT_EQ(feedback.messages.back().text, "Fasm failed to start.");
  EXPECT_EQ(log.content,
            "Creating COFF file \"../Bin/demo.obj\" ......Error!\r\nFasm failed to start.\r\n");

  // polib reports an error: the objects are removed all the same.
  files.addFile("/dest/Source/a.asm", "");
  succeed(1);
  launcher.scripts.push_back({"POLIB: fatal error: x", "", 1});
  EXPECT_EQ(assemble(kLibrary), failed(TextId::objectPolibError));
  EXPECT_EQ(feedback.messages.back().text, "Polib reported an error.\n\nPOLIB: fatal error: x");
  EXPECT_EQ(feedback.messages.back().icon, app::MessageIcon::failure);
  EXPECT_EQ(names("/dest/Source/briskoObjects"), Lines{});

  succeed(1);
  launcher.scripts.push_back({"", "", 1});
  EXPECT_EQ(assemble(kLibrary), failed(TextId::objectPolibError));
  EXPECT_EQ(feedback.messages.back().text, "Polib reported an unknown error.");

  // polib does not start.
  log.content.clear();
  succeed(1);
  EXPECT_EQ(assemble(kLibrary), failed(TextId::polibProblem));
  EXPECT_EQ(feedback.messages.back().text, "Polib failed to start.");
  EXPECT_EQ(log.content,
            "Creating COFF file \"../Source/briskoObjects/a.obj\" ......no errors!\r\n"
            "Checking COFF objects \"demo.lib\" ......no errors!\r\n"
            "1 objects checked: 0 symbols defined, 0 taken from outside.\r\n"
            "The library is packed by the installation's polib.\r\n"
            "Creating COFF file \"../Bin/demo.lib\" ......Error!\r\nPolib failed to start.\r\n");
}

// Runs that end in another order than they started, failures of later sources that end
// first, and a FASM that does not start: several runs at once show and log exactly what the
// runs one after another do, and leave no object behind.
TEST_F(PipelineAssemble, ParallelRunsReportAsTheSequentialRunDoes) {
  for (const char* name : {"a.asm", "b.asm", "c.asm", "d.asm", "e.asm", "f.asm"}) {
    files.addFile(std::string("/dest/Source/") + name, "");
  }
  using Script = testing::ScriptedLauncher::Script;
  auto ok = [](int rounds) { return Script{"", "", 0, false, rounds}; };
  auto error = [](const char* text, int rounds) { return Script{"", text, 2, false, rounds}; };
  const Script noStart{"", "", 0, true, 0};
  struct Case {
    const char* what;
    std::vector<Script> scripts;
    app::Outcome result;
    Lines bin;
  };
  const Case cases[] = {
      {"b fails after c failed and d succeeded",
       {ok(2), error("b.asm [1]: error: B.", 3), error("c.asm [1]: error: C.", 0), ok(1), ok(0),
        ok(0)},
       failed(TextId::objectFasmError),
       {}},
      {"c does not start while a and b run",
       {ok(2), ok(0), noStart, ok(0), ok(0), ok(0)},
       failed(TextId::fasmProblem),
       {}},
      {"a fails after b did not start",
       {error("A", 1), noStart, ok(0)},
       failed(TextId::objectFasmError),
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Build one = buildLibrary(1, c.scripts);
    const Build four = buildLibrary(4, c.scripts);
    EXPECT_EQ(one.result, c.result);
    EXPECT_EQ(one.bin, c.bin);
    EXPECT_EQ(four.result, one.result);
    EXPECT_EQ(four.messages, one.messages);
    EXPECT_EQ(four.log, one.log);
    EXPECT_EQ(four.bin, one.bin);
  }
  // Four runs at once, none started once a failure is known; the progress counts the runs as
  // they end.
  const Build first = buildLibrary(4, cases[0].scripts);
  EXPECT_EQ(first.started, 4u);
  EXPECT_EQ(first.progress, (Lines{"[1/6] c.asm", "[2/6] d.asm", "[3/6] a.asm", "[4/6] b.asm"}));
}

}  // namespace
}  // namespace brisko::pipeline
