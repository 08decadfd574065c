// The 64-bit link-and-run helper on hand-written FASM code in the form of x64 listings: Windows
// x64 calling convention, RIP-relative data, a call into a library member and into the stubs.

#include <gtest/gtest.h>

#include "run_x86.h"

namespace {

namespace fs = std::filesystem;
namespace ts = brisko::testsupport;

class X64Link : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ts::makeTempFolder("standin_support64");
    // The data items sit at offsets other than 0 and 4, where a PC-relative field's addend
    // would not matter; "pointer" holds an absolute 64-bit address.
    ts::writeText(folder_ / "add.asm",
                  "format MS64 COFF\npublic AddUp\npublic Finish\n"
                  "extrn Twice\nextrn PB_MessageRequester\nextrn ExitProcess\n"
                  "section '.text' code readable executable\n"
                  "AddUp:\n  SUB rsp,40\n  MOV [saved],rdx\n  CALL Twice\n  ADD rax,[saved]\n"
                  "  MOV rcx,[pointer]\n  ADD rax,[rcx]\n  MOV [rsp+32],rax\n"
                  "  LEA rcx,[title]\n  LEA rdx,[text]\n  CALL PB_MessageRequester\n"
                  "  ADD rax,[rsp+32]\n  ADD rsp,40\n  RET\n"
                  "Finish:\n  SUB rsp,40\n  CALL ExitProcess\n"
                  "section '.data' data readable writeable\n"
                  "title: db 'Total',0\ntext: db 'computed',0\nsaved: dq 0\npointer: dq hundred\n"
                  "hundred: dq 100\n");
    ts::writeText(folder_ / "twice.asm",
                  "format MS64 COFF\npublic Twice\nsection '.text' code readable executable\n"
                  "Twice:\n  LEA rax,[rcx+rcx]\n  RET\n");
    for (const char* name : {"add", "twice"}) {
      std::string log;
      ASSERT_TRUE(ts::assembleFasm(folder_ / (std::string(name) + ".asm"),
                                   folder_ / (std::string(name) + ".obj"), &log))
          << log;
    }
    const ts::CommandResult packed =
        ts::runCommand("llvm-ar rcs " + ts::shellQuote((folder_ / "maths.lib").string()) + " " +
                       ts::shellQuote((folder_ / "twice.obj").string()));
    ASSERT_EQ(packed.exitCode, 0) << packed.output;
    inputs_ = {folder_ / "add.obj", folder_ / "maths.lib"};
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
  std::vector<fs::path> inputs_;
  const std::string harness_ = R"(#include "x64_harness.h"
long long HARNESS_MSABI add(long long a, long long b) __asm__("AddUp");
void HARNESS_MSABI finish(unsigned code) __asm__("Finish");
int harness_main(void) {
  long long r = add(10, 5000000000LL);  /* 2 * 10 + b + 100 + the requester's 1 */
  harness_print_int(r);
  harness_print("\n");
  finish((unsigned)(r - 5000000000LL));
  return 99;
}
)";
};

TEST_F(X64Link, RunsMsAbiCodeWithRipRelativeDataAndStubs) {
  const ts::X86Run run = ts::linkAndRun(inputs_, harness_, folder_, ts::Target::x64);
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.output, "Total: computed\n5000000121\n");
  EXPECT_EQ(run.exitCode, 121) << run.log;  // ExitProcess ends the program
}

}  // namespace
