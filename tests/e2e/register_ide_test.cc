// "brisko register-ide" on a scratch tools file, with a stand-in IDE that runs or not.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "brisko_fixture.h"

extern char** environ;

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;

class RegisterIdeTest : public BriskoTest {
 protected:
  // The IDE's open command names an IDE program and a tools file in the scratch folder; the
  // installation itself is given directly.
  testsupport::ProgramResult registerIde() {
    const std::string command = "\"" + work.file("ide/PureBasic") + "\" \"%1\" \"\" \"\" \"" +
                                work.file("Tools.prefs") + "\"";
    return brisko({"--pb-folder", BRISKO_INSTALLATION, "register-ide"},
                  {{"BRISKO_PB_COMMAND", command}});
  }
  std::string toolsFile() const { return testsupport::readFileText(work.file("Tools.prefs")); }
};

TEST_F(RegisterIdeTest, RegistersTheProgramOnceAndNamesTheToolsFile) {
  auto r = registerIde();
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(
      r.out.ends_with("brisko (PB --> .obj)\nbrisko is now tool 1 of the PureBasic IDE (\"" +
                      work.file("Tools.prefs") + "\").\n"))
      << r.out;
  const std::string registered = toolsFile();
  EXPECT_NE(registered.find("ToolCount = 1\r\n;\r\n;\r\n[Tool_0]\r\nCommand = " +
                            fs::canonical(BRISKO_EXE).string() + "\r\n"),
            std::string::npos)
      << registered;

  r = registerIde();
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Error!\nbrisko is already registered.\n(" + work.file("Tools.prefs") + ")\n");
  EXPECT_EQ(toolsFile(), registered);
}

TEST_F(RegisterIdeTest, RefusesWhileTheIdeRuns) {
  // A harmless long-running program stands in for the IDE under its name.
  fs::create_directories(work.file("ide"));
  const std::string ide = work.file("ide/PureBasic");
  fs::copy_file("/bin/sleep", ide);
  pid_t child = 0;
  char* arguments[] = {const_cast<char*>("PureBasic"), const_cast<char*>("60"), nullptr};
  ASSERT_EQ(::posix_spawn(&child, ide.c_str(), nullptr, nullptr, arguments, environ), 0);
  const std::string exeLink = "/proc/" + std::to_string(child) + "/exe";
  for (int i = 0; i < 200; ++i) {
    std::error_code error;
    if (fs::read_symlink(exeLink, error) == fs::canonical(ide)) break;
    ::usleep(10000);
  }

  auto r = registerIde();
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Error!\nYou need to close the Purebasic IDE first.\n");
  EXPECT_FALSE(fs::exists(work.file("Tools.prefs")));  // a refusal creates no tools file

  r = registerIde();
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace
}  // namespace brisko::e2e
