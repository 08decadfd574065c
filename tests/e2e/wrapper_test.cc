// The wrapper in real use: a library source converted with --wrapper, then a second PureBasic
// program that includes the generated .pbi is compiled by the stand-in compiler, assembled
// whole by FASM, linked with the converted object or library and run.
#include <gtest/gtest.h>

#include <filesystem>

#include "brisko_fixture.h"
#include "programs.h"
#include "run_x86.h"

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

const char* const kMainHarness = R"(#include "x86_harness.h"
void pb_main(void) __asm__("main");
int harness_main(void) { pb_main(); return 99; }
)";

class WrapperTest : public BriskoTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool library() const { return GetParam(); }
  std::string output() const { return library() ? "shapes.lib" : "shapes.obj"; }
};

TEST_P(WrapperTest, SecondProgramUsesTheConvertedCodeThroughTheWrapper) {
  work.write("shapes.pb", kShapesSource);
  fs::create_directories(work.file("out"));
  std::vector<std::string> arguments = {
      "convert", work.file("shapes.pb"), "--dest", work.file("out"), "--wrapper", "--log"};
  if (library()) arguments.push_back("--lib");
  const ts::ProgramResult converted = brisko(arguments);
  ASSERT_EQ(converted.exitCode, 0) << converted.out << converted.err;

  const std::string wrapper = ts::readFileText(work.file("out/Bin/shapes.pbi"));
  const auto has = [&wrapper](const std::string& part) {
    return wrapper.find(part) != std::string::npos;
  };
  EXPECT_EQ(wrapper.rfind("\xEF\xBB\xBF;Brisko generated wrapper for shapes.obj\r\n", 0), 0u);
  EXPECT_TRUE(has("\r\nImport \"" + output() +
                  "\"\r\n"
                  "  calls.l AS \"calls\"\r\n"
                  "  sides_arrayPTR As \"sides\"\r\n"
                  "  Area.l(w.l,h.l) As \"Area\"\r\n"
                  "  FillSides(n.l) As \"FillSides\"\r\n"
                  "  NameLength(name$) As \"NameLength\"\r\n"
                  "  Noise() As \"Noise\"\r\n"
                  "EndImport\r\n\r\n"
                  "ImportC \"" +
                  output() +
                  "\"\r\n"
                  "  Perimeter.l(a.l,b.l,c.l) As \"Perimeter\"\r\n"
                  "EndImport\r\n"))
      << wrapper;
  EXPECT_TRUE(has("  Import \"PureBasicRuntime.lib\"\r\n  EndImport\r\n")) << wrapper;
  for (const char* call : {"      Len(a$)\r\n", "      GetTickCount_() ;Kernel32\r\n",
                           "      MessageBox_(a, a, a, a) ;User32\r\n", "      PeekL(a)\r\n"}) {
    EXPECT_TRUE(has(call)) << call << wrapper;
  }
  EXPECT_FALSE(has("secret"));
  EXPECT_EQ(wrapper.substr(wrapper.size() - 18), "    EndProcedure\r\n");
  EXPECT_NE(ts::readFileText(work.file("out/Logs/briskoLog.txt"))
                .find("Creating Purebasic wrapper \"../Bin/shapes.pbi\" ......no errors!\r\n"),
            std::string::npos);

  // The second program, compiled by the stand-in compiler like any PureBasic program.
  work.write("client.pb", kClientSource);
  const ts::ProgramResult compiled =
      ts::runProgram(std::string(BRISKO_INSTALLATION) + "/compilers/PBcompiler.exe",
                     {"client.pb", "/EXE", "client.exe", "/COMMENTED"}, work.path());
  ASSERT_EQ(compiled.exitCode, 0) << compiled.out << compiled.err;
  std::string log;
  ASSERT_TRUE(ts::assembleFasm(work.file("PureBasic.asm"), work.file("client.obj"), &log)) << log;
  const ts::X86Run run = ts::linkAndRun({work.file("client.obj"), work.file("out/Bin/" + output())},
                                        kMainHarness, work.path());
  ASSERT_TRUE(run.linked) << run.log;
  EXPECT_EQ(run.exitCode, kClientExit) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Formats, WrapperTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& format) {
                           return format.param ? "Library" : "Object";
                         });

}  // namespace
}  // namespace brisko::e2e
