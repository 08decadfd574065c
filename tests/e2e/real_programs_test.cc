// What real programs bring that simple ones do not, and outputs that are checked before they are
// trusted: imports under an alias, data that names data, a check before assembling, the end
// routine only when a procedure ends the program, brisko's own file names taken by procedures,
// reused sources below --dest, a file of the user's in Source/, the x64 wrapper's integers, and a
// disk that fills up.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "brisko_fixture.h"
#include "programs.h"
#include "run_x86.h"

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

class RealProgramsTest : public BriskoTest {
 protected:
  // A copy of the stand-in installation whose compiler leaves the given listing.
  std::string installationLeaving(const std::string& listing) {
    work.write("crafted.asm", listing);
    return installationWith("PBcompiler.exe",
                            "cp " + ts::shellQuote(work.file("crafted.asm")) + " PureBasic.asm");
  }

  ts::ProgramResult convert(const std::string& installation, const std::string& source,
                            std::vector<std::string> options = {}) {
    std::vector<std::string> arguments = {"--pb-folder", installation, "convert",
                                          work.file(source)};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return brisko(arguments);
  }
};

// Imports whose names FASM could not take as labels are declared "extrn 'name' as label" in the
// header; the converted code declares them where it uses them, on both targets and in both
// formats, and links with the import's own names.
TEST_F(RealProgramsTest, ImportsUnderAnAliasLinkAndRun) {
  work.write("imp/imp.pb", R"(Import "ext.lib"
  ExtAdd(a, b) As "ext_add"
  ExtVar.l As "ext_var"
EndImport
ProcedureDLL Use(a)
  ProcedureReturn ExtAdd(a, ExtVar)
EndProcedure
)");
  const char* const harness = R"(#include "x86_harness.h"
int ext_var __asm__("ext_var") = 40;
int HARNESS_STDCALL ext_add(int a, int b) __asm__("ext_add");
int HARNESS_STDCALL ext_add(int a, int b) { return a + b; }
int HARNESS_STDCALL Use(int a) __asm__("Use");
int harness_main(void) { return Use(2); }
)";
  for (const char* layout : {"after-end-code", "x64"}) {
    for (const bool library : {false, true}) {
      SCOPED_TRACE(std::string(layout) + (library ? " library" : " object"));
      const bool x64 = std::string(layout) == "x64";
      std::vector<std::string> options = {"--dest", work.file(std::string("imp/") + layout)};
      if (library) options.push_back("--lib");
      const ts::ProgramResult r = convert(installationWithLayout(layout), "imp/imp.pb", options);
      ASSERT_EQ(r.exitCode, 0) << r.err;
      const fs::path output =
          work.file(std::string("imp/") + layout + "/Bin/imp" + (library ? ".lib" : ".obj"));
      const ts::X86Run ran = ts::linkAndRun({output}, x64 ? forX64(harness) : harness, work.path(),
                                            x64 ? ts::Target::x64 : ts::Target::x86);
      ASSERT_TRUE(ran.linked) << ran.log;
      EXPECT_EQ(ran.exitCode, 42);
    }
  }
}

// A listing of the real compilers' layouts, by hand: Get returns a structure descriptor that
// names another one, the way a structure with a list field names its element's descriptor.
const char* const kDescriptorListing = R"(;
; PureBasic 6.01 LTS (Windows - x86) generated code
;
;
;
;
;
; :System
; KERNEL32
; :Import
; 
format MS COFF
; 
extrn _ExitProcess@4
; 
public _PB_ExecutableType
; 
public PureBasicStart
; 
section '.code' code readable executable align 8
; 
PureBasicStart:
  CLD
  MOV dword [PB_DataPointer],0
; ProcedureDLL Get()
_Procedure0:
  MOV eax,s_list
  RET
section '.data' data readable writeable
_PB_DataSection:
_PB_ExecutableType: dd 0
_SYS_StaticStringStart:
_SYS_StaticStringEnd:
align 4
s_entry:
  dd 0
  dd -1
align 4
s_list: dd -2,0,0,34,s_entry
section '.bss' readable writeable
_PB_BSSSection:
PB_DataPointer rd 1
I_BSSEnd:
section '.data' data readable writeable
l_table:
dd _Main1
)";

TEST_F(RealProgramsTest, DataThatNamesDataIsCarriedAndWhatNothingDefinesIsNamed) {
  work.write("desc/desc.pb", "; crafted listing\n");
  std::string listing = kDescriptorListing;
  // Without the DataSection line that names the main program's label, the descriptors convert.
  const std::string naming = "l_table:\ndd _Main1\n";
  std::string clean = listing;
  clean.replace(clean.find(naming), naming.size(), "");
  const std::string installation = installationLeaving(clean);
  for (const bool library : {false, true}) {
    SCOPED_TRACE(library ? "library" : "object");
    std::vector<std::string> options;
    if (library) options.push_back("--lib");
    const ts::ProgramResult r = convert(installation, "desc/desc.pb", options);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const ts::X86Run ran =
        ts::linkAndRun({work.file(std::string("desc/Bin/desc") + (library ? ".lib" : ".obj"))},
                       R"(#include "x86_harness.h"
int* HARNESS_STDCALL Get(void) __asm__("Get");
int harness_main(void) {
  const int* list = Get();
  const int* entry = (const int*)list[4];
  return list[0] == -2 && list[3] == 34 && entry[0] == 0 && entry[1] == -1 ? 7 : 1;
}
)",
                       work.path());
    ASSERT_TRUE(ran.linked) << ran.log;
    EXPECT_EQ(ran.exitCode, 7);
  }

  // A data line that names a label of the main program: stopped before FASM, named.
  listing.replace(listing.find("; ProcedureDLL"), 0, "; Repeat\n_Main1:\n");
  const ts::ProgramResult r =
      convert(installationLeaving(listing), "desc/desc.pb", {"--dest", work.file("desc/bad")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("A generated source refers to a symbol that neither the converted code nor "
                       "the program linking it defines.\n(l_table: _Main1)"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(work.file("desc/bad/Bin/desc.obj")));
}

// The end routine is written only for procedures that end the program: converted code that
// never does references no ExitProcess.
TEST_F(RealProgramsTest, EndRoutineOnlyWhenAProcedureEndsTheProgram) {
  work.write("shapes/shapes.pb", kShapesSource);
  for (const char* format : {"--log", "--lib"}) {
    const ts::ProgramResult r =
        convert(installationWithLayout("after-end-code"), "shapes/shapes.pb", {format});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const ts::CommandResult undefined = ts::runCommand(
        "llvm-nm --undefined-only " +
        ts::shellQuote(work.file(std::string("shapes/Bin/shapes") +
                                 (std::string(format) == "--lib" ? ".lib" : ".obj"))));
    EXPECT_EQ(undefined.output.find("ExitProcess"), std::string::npos) << undefined.output;
  }
}

// Procedures named like brisko's own files keep their names as symbols; their files get others.
TEST_F(RealProgramsTest, ProceduresNamedLikeBriskosFilesKeepTheirSymbols) {
  work.write("names/names.pb",
             "ProcedureDLL PureBasic()\n  ProcedureReturn 1\nEndProcedure\n"
             "ProcedureDLL names_briskoLinkFile()\n  ProcedureReturn 2\nEndProcedure\n"
             "ProcedureDLL BriskoObjects()\n  ProcedureReturn 4\nEndProcedure\n");
  for (const bool library : {false, true}) {
    SCOPED_TRACE(library ? "library" : "object");
    const ts::ProgramResult r =
        brisko({"convert", work.file("names/names.pb"), library ? "--lib" : "--log"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(work.file("names/Source/PureBasic_2.asm")));
    const ts::X86Run ran =
        ts::linkAndRun({work.file(std::string("names/Bin/names") + (library ? ".lib" : ".obj"))},
                       R"(#include "x86_harness.h"
int HARNESS_STDCALL A(void) __asm__("PureBasic");
int HARNESS_STDCALL B(void) __asm__("names_briskoLinkFile");
int HARNESS_STDCALL C(void) __asm__("BriskoObjects");
int harness_main(void) { return A() + B() + C(); }
)",
                       work.path());
    ASSERT_TRUE(ran.linked) << ran.log;
    EXPECT_EQ(ran.exitCode, 7);
  }
}

// Reused sources are found below --dest; a missing folder or data-sections source is named; a
// file of the user's where a source goes stops a conversion before anything is written; the x64
// wrapper declares untyped items as integers.
TEST_F(RealProgramsTest, SourcesBelowTheDestinationAndTheUsersFiles) {
  work.write("app/greet.pb", "ProcedureDLL Greet(a.i, b)\n  ProcedureReturn a + b\nEndProcedure\n");
  ASSERT_EQ(brisko({"convert", work.file("app/greet.pb"), "--dest", work.file("out")}).exitCode, 0);
  fs::remove(work.file("out/Bin/greet.obj"));
  ts::ProgramResult r = brisko(
      {"convert", work.file("app/greet.pb"), "--use-existing-asm", "--dest", work.file("out")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(work.file("out/Bin/greet.obj")));
  r = brisko({"convert", work.file("app/greet.pb"), "--use-existing-asm"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("There are no ASM files to compile.\n(" + work.file("app/Source/") + ")"),
            std::string::npos)
      << r.err;
  fs::remove(work.file("out/Source/greet_briskoDataSections.asm"));
  r = brisko(
      {"convert", work.file("app/greet.pb"), "--use-existing-asm", "--dest", work.file("out")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("File not found.\n(" + work.file("out/Source/greet_briskoDataSections.asm")),
            std::string::npos)
      << r.err;

  work.write("out/Source/Greet.asm", "; my own Greet\n");
  r = brisko({"convert", work.file("app/greet.pb"), "--dest", work.file("out")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("would overwrite. Rename or move it first, or choose another "
                       "destination.\n(" +
                       work.file("out/Source/Greet.asm") + ")"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ts::readFileText(work.file("out/Source/Greet.asm")), "; my own Greet\n");

  r = convert(installationWithLayout("x64"), "app/greet.pb",
              {"--dest", work.file("x64"), "--wrapper"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(ts::readFileText(work.file("x64/Bin/greet.pbi")).find("Greet(a.i,b.i) As \"Greet\""),
            std::string::npos);
}

// A disk that fills up: an object that FASM cuts short never replaces the good one in Bin/, a
// source that cannot be written says why, and nothing is left in the object folder.
TEST_F(RealProgramsTest, FullDiskLeavesTheEarlierOutput) {
  const fs::path disk = work.file("disk");
  fs::create_directories(disk);
  if (geteuid() != 0 || mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=2m") != 0) {
    GTEST_SKIP() << "mounting a small tmpfs needs root: the full-disk case is not run";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { umount(path.c_str()); }
  } unmount{disk.string()};
  std::string source;
  for (int i = 0; i < 40; ++i) {
    source += "ProcedureDLL P" + std::to_string(i) + "(a)\n  ProcedureReturn a * " +
              std::to_string(i) + " + Len(\"" + std::string(60, 'x') + "\")\nEndProcedure\n";
  }
  work.write("disk/big.pb", source);
  ASSERT_EQ(brisko({"convert", work.file("disk/big.pb")}).exitCode, 0);
  const ts::ProgramResult compiled =
      ts::runProgram(std::string(BRISKO_INSTALLATION) + "/compilers/PBcompiler.exe",
                     {"big.pb", "/EXE", "big.exe", "/COMMENTED"}, work.file("disk"));
  ASSERT_EQ(compiled.exitCode, 0) << compiled.out;
  fs::rename(work.file("disk/PureBasic.asm"), work.file("disk/listing.asm"));
  const std::string object = ts::readFileText(work.file("disk/Bin/big.obj"));
  // The disk is filled up to the room for the compiler's listing: the sources of another
  // conversion find none, and the system says why.
  std::ofstream filler(work.file("disk/filler"), std::ios::binary);
  const std::string block(4096, '\0');
  const auto fillUpTo = [&](std::uintmax_t left) {
    while (fs::space(disk).available > left && filler.write(block.data(), block.size()).flush()) {
    }
  };
  fillUpTo(fs::file_size(work.file("disk/listing.asm")) + 3 * block.size());
  ts::ProgramResult r =
      brisko({"convert", work.file("disk/big.pb"), "--dest", work.file("disk/other")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;

  // Then to the last block: FASM cuts the object short, and the good one stays in Bin/.
  fillUpTo(0);
  r = brisko({"convert", work.file("disk/big.pb"), "--use-existing-asm"});
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_EQ(ts::readFileText(work.file("disk/Bin/big.obj")), object);
  EXPECT_EQ(folderEntries(work.file("disk/Source/briskoObjects")), std::vector<std::string>{});
}

}  // namespace
}  // namespace brisko::e2e
