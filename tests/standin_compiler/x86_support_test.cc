// The link-and-run helper with a static library: members are converted one by one and only
// those the program needs are linked, as a Windows linker would take them from a .lib.

#include <gtest/gtest.h>

#include "run_x86.h"

namespace {

namespace fs = std::filesystem;
namespace ts = brisko::testsupport;

class LibraryLink : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ts::makeTempFolder("standin_support");
    // One member calls another member and a library stub; a third member needs a symbol that
    // nothing defines and must therefore stay out of the link.
    ts::writeText(folder_ / "add.asm",
                  "format MS COFF\npublic AddUp\nextrn Twice\nextrn _PB_Len@4\n"
                  "section '.code' code readable executable\n"
                  "AddUp:\n  MOV eax,[esp+4]\n  PUSH eax\n  CALL Twice\n  ADD eax,[esp+8]\n"
                  "  PUSH eax\n  PUSH message\n  CALL _PB_Len@4\n  POP ecx\n  ADD eax,ecx\n"
                  "  RET 8\n"
                  "section '.data' data readable writeable\nmessage: db 'four',0\n");
    ts::writeText(folder_ / "twice.asm",
                  "format MS COFF\npublic Twice\nsection '.code' code readable executable\n"
                  "Twice:\n  MOV eax,[esp+4]\n  ADD eax,eax\n  RET 4\n");
    ts::writeText(
        folder_ / "unused.asm",
        "format MS COFF\npublic Unused\nextrn NowhereDefined\n"
        "section '.code' code readable executable\nUnused:\n  CALL NowhereDefined\n  RET\n");
    std::string objects;
    for (const char* name : {"add", "twice", "unused"}) {
      std::string log;
      ASSERT_TRUE(ts::assembleFasm(folder_ / (std::string(name) + ".asm"),
                                   folder_ / (std::string(name) + ".obj"), &log))
          << log;
      objects += " " + ts::shellQuote((folder_ / (std::string(name) + ".obj")).string());
    }
    const ts::CommandResult packed =
        ts::runCommand("llvm-ar rcs " + ts::shellQuote((folder_ / "maths.lib").string()) + objects);
    ASSERT_EQ(packed.exitCode, 0) << packed.output;
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
  const std::string harness_ = R"(#include "x86_harness.h"
int HARNESS_STDCALL add(int a, int b) __asm__("AddUp");
int harness_main(void) {
  int r = add(10, 3);  /* 2 * 10 + 3 + Len("four") */
  harness_print_int(r);
  harness_print("\n");
  return r;
}
)";
};

TEST_F(LibraryLink, RunsCodeFromALibrary) {
  const ts::X86Run run = ts::linkAndRun({folder_ / "maths.lib"}, harness_, folder_);
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.exitCode, 27);
  EXPECT_EQ(run.output, "27\n");
}

TEST_F(LibraryLink, LinksALibraryAsAWindowsProgram) {
  const ts::LinkCheck check = ts::linkForWindows({folder_ / "maths.lib"}, harness_, folder_);
  EXPECT_TRUE(check.linked) << check.log;
}

TEST_F(LibraryLink, AnUndefinedSymbolFailsTheLink) {
  const ts::X86Run run = ts::linkAndRun({folder_ / "unused.obj"}, harness_, folder_);
  EXPECT_FALSE(run.linked);
  EXPECT_NE(run.log.find("NowhereDefined"), std::string::npos) << run.log;
}

}  // namespace
