// compilers/polib.exe of the laid-out installation, on objects that the installation's
// fasm.exe assembles, checked with the LLVM archive tools and a link with lld-link.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tool_runner.h"

namespace brisko::standin_test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const char* kMainSource = R"(format MS COFF
section '.text' code readable executable
public _main
extrn _Twice@4
extrn _PB_Len@4
_main:
  push 21
  call _Twice@4
  push text
  call _PB_Len@4
  ret
section '.data' data readable writeable
text db 'hello', 0
)";

const char* kTwiceSource = R"(format MS COFF
section '.text' code readable executable
public _Twice@4
public _HelperWithAVeryLongName
_Twice@4:
  mov eax, [esp + 4]
  add eax, eax
  ret 4
_HelperWithAVeryLongName:
  ret
)";

const char* kStartSource = R"(format MS COFF
section '.text' code readable executable
public _start
extrn _main
_start:
  call _main
  ret
)";

const char* kMain64Source = R"(format MS64 COFF
section '.text' code readable executable
public main
extrn Twice
main:
  sub rsp, 40
  mov ecx, 21
  call Twice
  add rsp, 40
  ret
)";

const char* kTwice64Source = R"(format MS64 COFF
section '.text' code readable executable
public Twice
public HelperWithAVeryLongName
Twice:
  lea rax, [rcx + rcx]
  ret
HelperWithAVeryLongName:
  ret
)";

class PolibTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(objects_.file("Bin")); }

  std::string bin() const { return objects_.file("Bin"); }

  void assemble(const std::string& name, const std::string& source) {
    objects_.write(name + ".asm", source);
    const ToolResult r =
        runTool(installationPath("compilers/fasm.exe"),
                {objects_.file(name + ".asm"), bin() + "/" + name + ".obj"}, bin());
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  ToolResult polib(const std::vector<std::string>& arguments) {
    return runTool(installationPath("compilers/polib.exe"), arguments, bin());
  }

  static std::string tool(const std::string& name) {
    std::string path = findProgram(name);
    if (path.empty()) ADD_FAILURE() << name << " is not installed";
    return path;
  }

  ScratchFolder objects_;
};

TEST_F(PolibTest, WildcardBuildsAnArchiveThatLlvmReadsAndLldLinks) {
  assemble("main_proc", kMainSource);
  assemble("a_twice_procedure_member", kTwiceSource);  // longer than a header name holds
  objects_.write("Bin/notes.txt", "not an object, not matched");
  const std::string library = objects_.file("Demo.lib");

  const ToolResult r = polib({"*.obj", "/out:" + library});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, "");

  const ToolResult listed = runTool(tool("llvm-lib"), {"/list", library}, objects_.path());
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, "a_twice_procedure_member.obj\nmain_proc.obj\n");

  const ToolResult map = runTool(tool("llvm-nm"), {"--print-armap", library}, objects_.path());
  EXPECT_EQ(map.exitCode, 0) << map.err;
  EXPECT_THAT(map.out, HasSubstr("_Twice@4 in a_twice_procedure_member.obj"));
  EXPECT_THAT(map.out, HasSubstr("_HelperWithAVeryLongName in a_twice_procedure_member.obj"));
  EXPECT_THAT(map.out, HasSubstr("_main in main_proc.obj"));
  EXPECT_THAT(map.out, ::testing::Not(HasSubstr("_PB_Len@4 in")));  // only referenced there

  // The linker resolves _main and _Twice@4 from the archive, _PB_Len@4 from the runtime.
  assemble("start", kStartSource);
  const ToolResult link =
      runTool(tool("lld-link"),
              {"/machine:x86", "/safeseh:no", "/entry:start", "/subsystem:console", "/nodefaultlib",
               "/out:" + objects_.file("demo.exe"), bin() + "/start.obj", library,
               installationPath("Compilers/PureBasicRuntime.lib")},
              objects_.path());
  EXPECT_EQ(link.exitCode, 0) << link.out << link.err;
  EXPECT_TRUE(fs::exists(objects_.file("demo.exe")));
}

TEST_F(PolibTest, ExplicitNamesKeepTheirOrderAndWildcardsIgnoreCase) {
  assemble("b", kTwiceSource);
  assemble("a", kMainSource);
  fs::rename(bin() + "/a.obj", bin() + "/A.OBJ");
  const std::string first = objects_.file("explicit.lib"), second = objects_.file("pattern.lib");

  ASSERT_EQ(polib({"b.obj", "A.OBJ", "/OUT:" + first}).exitCode, 0);
  ASSERT_EQ(polib({"-nologo", "/machine:x86", "?.obj", "/out:" + second}).exitCode, 0);

  const std::string lib = tool("llvm-lib");
  EXPECT_EQ(runTool(lib, {"/list", first}, bin()).out, "b.obj\nA.OBJ\n");
  EXPECT_EQ(runTool(lib, {"/list", second}, bin()).out, "A.OBJ\nb.obj\n");
}

TEST_F(PolibTest, FailuresAreReportedOnStandardOutput) {
  const std::string library = objects_.file("out.lib");
  struct Case {
    std::string what;
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"no objects", {"*.obj", "/out:" + library}, "no file matches '*.obj'"},
      {"missing file", {"nothing.obj", "/out:" + library}, "cannot open 'nothing.obj'"},
      {"no output", {"*.obj"}, "no file matches"},
      {"bad machine option", {"x.obj", "/machine:arm64", "/out:" + library}, "unsupported machine"},
  };
  for (const Case& c : cases) {
    const ToolResult r = polib(c.arguments);
    EXPECT_NE(r.exitCode, 0) << c.what;
    EXPECT_THAT(r.out, StartsWith("POLIB: fatal error: ")) << c.what;
    EXPECT_THAT(r.out, HasSubstr(c.message)) << c.what;
    EXPECT_FALSE(fs::exists(library)) << c.what;
  }

  assemble("good", kTwiceSource);
  const ToolResult noOut = polib({"good.obj"});
  EXPECT_NE(noOut.exitCode, 0);
  EXPECT_THAT(noOut.out, HasSubstr("no output library given"));

  objects_.write("Bin/garbage.obj", "this is plain text and not a COFF object at all");
  const ToolResult garbage = polib({"*.obj", "/out:" + library});
  EXPECT_NE(garbage.exitCode, 0);
  EXPECT_THAT(garbage.out, HasSubstr("'garbage.obj': not an i386 COFF object"));
  EXPECT_FALSE(fs::exists(library));
  fs::remove(bin() + "/garbage.obj");

  assemble("wide", "format MS64 COFF\nsection '.text' code\npublic f\nf: ret\n");
  const ToolResult wide = polib({"*.obj", "/out:" + library});
  EXPECT_NE(wide.exitCode, 0);
  EXPECT_THAT(wide.out, HasSubstr("'wide.obj': not an i386 COFF object (machine 0x8664)"));
  fs::remove(bin() + "/wide.obj");

  const ToolResult unwritable = polib({"*.obj", "/out:" + objects_.file("missing/out.lib")});
  EXPECT_NE(unwritable.exitCode, 0);
  EXPECT_THAT(unwritable.out, HasSubstr("cannot write"));

  EXPECT_EQ(polib({"*.obj", "/out:" + library}).exitCode, 0);  // the good object alone
}

TEST_F(PolibTest, X64ObjectsBuildAnArchiveThatLlvmReads) {
  assemble("main64", kMain64Source);
  assemble("a_twice_procedure_member", kTwice64Source);
  const std::string given = objects_.file("Given.lib"), spelled = objects_.file("Spelled.lib"),
                    found = objects_.file("Found.lib");
  // The machine as /machine names it, in another spelling, or taken from the first object.
  ASSERT_EQ(polib({"/MACHINE:X64", "*.obj", "/out:" + given}).exitCode, 0);
  ASSERT_EQ(polib({"-machine:amd64", "*.obj", "/out:" + spelled}).exitCode, 0);
  const ToolResult r = polib({"*.obj", "/out:" + found});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(readBytes(given), readBytes(found));
  EXPECT_EQ(readBytes(spelled), readBytes(found));

  const ToolResult map = runTool(tool("llvm-nm"), {"--print-armap", given}, objects_.path());
  EXPECT_EQ(map.exitCode, 0) << map.err;
  EXPECT_THAT(map.out, HasSubstr("Twice in a_twice_procedure_member.obj"));
  EXPECT_THAT(map.out, HasSubstr("HelperWithAVeryLongName in a_twice_procedure_member.obj"));
  EXPECT_THAT(map.out, HasSubstr("main in main64.obj"));
}

TEST_F(PolibTest, ObjectsOfBothMachinesAreRefused) {
  assemble("b_wide", kTwice64Source);
  assemble("a_narrow", kTwiceSource);
  const std::string library = objects_.file("mixed.lib");
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"/machine:x64", "b_wide.obj", "a_narrow.obj"},
       "'a_narrow.obj': not an AMD64 COFF object (machine 0x014C)"},
      {{"/machine:x86", "b_wide.obj"}, "'b_wide.obj': not an i386 COFF object (machine 0x8664)"},
      {{"b_wide.obj", "a_narrow.obj"}, "'a_narrow.obj': not an AMD64 COFF object (machine 0x014C)"},
      {{"*.obj"}, "'b_wide.obj': not an i386 COFF object (machine 0x8664)"},
  };
  for (Case c : cases) {
    c.arguments.push_back("/out:" + library);
    const ToolResult r = polib(c.arguments);
    EXPECT_EQ(r.exitCode, 1) << c.message;
    EXPECT_THAT(r.out, StartsWith("POLIB: fatal error: " + c.message)) << r.out;
    EXPECT_FALSE(fs::exists(library)) << c.message;
  }
}

TEST_F(PolibTest, ObjectsWithoutPublicSymbolsStillBecomeMembers) {
  assemble("quiet", "format MS COFF\nsection '.text' code\nret\n");
  assemble("loud", kTwiceSource);
  const std::string library = objects_.file("mixed.lib");
  ASSERT_EQ(polib({"*.obj", "/out:" + library}).exitCode, 0);
  EXPECT_EQ(runTool(tool("llvm-lib"), {"/list", library}, bin()).out, "loud.obj\nquiet.obj\n");
  const ToolResult nm = runTool(tool("llvm-nm"), {library}, bin());
  EXPECT_EQ(nm.exitCode, 0) << nm.err;
  EXPECT_THAT(nm.out, HasSubstr("T _Twice@4"));
}

}  // namespace
}  // namespace brisko::standin_test
