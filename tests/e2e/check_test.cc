// "brisko check" on real sources with the stand-in installation.
#include <gtest/gtest.h>

#include <filesystem>

#include "brisko_fixture.h"

namespace brisko::e2e {
namespace {

using CheckTest = BriskoTest;

TEST_F(CheckTest, BundledExampleCompiles) {
  const auto r = brisko({"check", std::string(BRISKO_EXAMPLES) + "/demo.pb"});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out,
            "Status = initialising compiler environment.\n"
            "Status = compiling the selected source file.\n"
            "brisko (PB --> .obj)\nThe compiler reported no errors.\n"
            "Status = awaiting instructions\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CheckTest, CompileErrorShowsTheCompilersLine) {
  work.write("bad.pb", "Procedure.l Twice(x.l)\r\n  ProcedureReturn x * \r\nEndProcedure\r\n");
  const auto r = brisko({"--unicode", "check", work.file("bad.pb"), "--threadsafe"});
  EXPECT_EQ(r.exitCode, 1);
  // A failure is the compiler's complaint: standard error, not the status lines' stream.
  EXPECT_NE(r.err.find("brisko (PB --> .obj)\nThe compiler reported an error.\n\nError: Line 2"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
}

TEST_F(CheckTest, SourcesThatCannotBeCheckedAreRefused) {
  auto r = brisko({"check", work.file("missing.pb")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Error!\nFile not found.\n(" + work.file("missing.pb") + ")\n");

  r = brisko({"check", work.path()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Error!\nInvalid file.\n(" + work.path() + ")\n");

  // A double quote could not be carried by the compiler's command line.
  work.write("a\"b.pb", "x = 1\r\n");
  r = brisko({"check", work.file("a\"b.pb")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Error!\nInvalid file.\n(" + work.file("a\"b.pb") + ")\n");
}

TEST_F(CheckTest, MissingInstallationEndsTheProgramAndSaysWhereBriskoLooked) {
  const std::string hint =
      "To point brisko at an installation, set BRISKO_PB_COMMAND to the PureBasic IDE's open "
      "command (see the README).\nOr name the installation folder with --pb-folder DIR.\n\n"
      "Terminating brisko.\n";
  // An empty value here leaves the variable unset.
  auto r =
      brisko({"check", std::string(BRISKO_EXAMPLES) + "/demo.pb"}, {{"BRISKO_PB_COMMAND", ""}});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "Error!\nCannot locate the Purebasic compiler.\n"
            "brisko looked for it at compilers/PBcompiler.exe\n"
            "There is no PureBasic IDE open command in BRISKO_PB_COMMAND, so the path was taken "
            "relative to the current folder.\n" +
                hint);

  // A folder given directly wins over the environment; a zero-byte FASM counts as missing.
  work.write("pb/compilers/PBcompiler.exe", "stand-in");
  work.write("pb/compilers/fasm.exe", "");
  r = brisko({"--pb-folder", work.file("pb"), "check", std::string(BRISKO_EXAMPLES) + "/demo.pb"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Error!\nCannot locate the FASM executable.\nbrisko looked for it at " +
                       work.file("pb/compilers/fasm.exe") + "\nThe installation folder " +
                       work.file("pb/") + " was named with --pb-folder.\n" + hint);
}

TEST_F(CheckTest, UsageErrorsAndTheTemporaryFolder) {
  const auto r = brisko({"check"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("usage: brisko"), std::string::npos);

  // Every run leaves the temporary folder as it found it.
  brisko({"check", std::string(BRISKO_EXAMPLES) + "/demo.pb"});
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
}

}  // namespace
}  // namespace brisko::e2e
