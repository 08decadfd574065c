// A library made with one FASM run and cut into members is what the members' own sources give:
// for the held programs of every layout and both targets, and for a generated program of 2,000
// procedures, every member of the library equals the member of the library that
// --use-existing-asm makes from the same sources one by one. An installation without polib gets
// a library that brisko packs itself, and it links and runs as polib's does.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "brisko_fixture.h"
#include "coff/archive.h"
#include "coff/compare.h"
#include "listing_builder.h"
#include "programs.h"
#include "run_x86.h"

namespace brisko::e2e {
namespace {

namespace fs = std::filesystem;
namespace ts = testsupport;

std::map<std::string, coff::ObjectFile> membersOf(const fs::path& library) {
  const std::string bytes = ts::readFileText(library.string());
  const auto archive = coff::readArchive(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  std::map<std::string, coff::ObjectFile> members;
  EXPECT_TRUE(archive.ok()) << library << ": " << archive.error();
  if (!archive.ok()) return members;
  for (const coff::ArchiveMember& member : archive.value().members) {
    const auto object = coff::readObject(member.data);
    EXPECT_TRUE(object.ok()) << member.name << ": " << object.error();
    if (object.ok()) members.emplace(member.name, object.value());
  }
  return members;
}

class LibraryBuildTest : public BriskoTest {
 protected:
  // Converts the source into a library made with one FASM run, then makes it again from the
  // sources one by one, and compares the members.
  void expectEquivalentMembers(const std::string& installation, const std::string& source) {
    SCOPED_TRACE(source);
    const fs::path folder = work.file(fs::path(source).parent_path().string());
    const fs::path library = folder / "Bin" / (fs::path(source).stem().string() + ".lib");
    ts::ProgramResult r =
        brisko({"--pb-folder", installation, "convert", work.file(source), "--lib", "--log"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // One FASM run made every member (the log names each, then the check).
    EXPECT_NE(ts::readFileText((folder / "Logs/briskoLog.txt").string()).find("objects checked"),
              std::string::npos);
    const std::map<std::string, coff::ObjectFile> cut = membersOf(library);
    r = brisko({"--pb-folder", installation, "convert", work.file(source), "--use-existing-asm",
                "--jobs", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::map<std::string, coff::ObjectFile> alone = membersOf(library);
    ASSERT_EQ(cut.size(), alone.size());
    for (const auto& [name, object] : cut) {
      const auto own = alone.find(name);
      ASSERT_NE(own, alone.end()) << name;
      EXPECT_EQ(coff::compareObjects(object, own->second), std::vector<std::string>{}) << name;
    }
  }
};

TEST_F(LibraryBuildTest, CutMembersEqualTheMembersOfTheirOwnSources) {
  for (const char* layout : {"classic", "macros", "after-bss", "after-end-code", "x64"}) {
    SCOPED_TRACE(layout);
    const std::string installation = installationWithLayout(layout);
    work.write(std::string(layout) + "/maths.pb", kMathsSource);
    expectEquivalentMembers(installation, std::string(layout) + "/maths.pb");
    work.write(std::string(layout) + "/shapes.pb", kShapesSource);
    expectEquivalentMembers(installation, std::string(layout) + "/shapes.pb");
  }
  for (const bool x64 : {false, true}) {
    const std::string name = x64 ? "gen64" : "gen";
    work.write(name + "/listing.asm", testing::generateProgram(2000, x64).listing);
    work.write(name + "/" + name + ".pb", "; generated\n");
    expectEquivalentMembers(
        installationWith(
            "PBcompiler.exe",
            "cp " + ts::shellQuote(work.file(name + "/listing.asm")) + " PureBasic.asm"),
        name + "/" + name + ".pb");
  }
}

TEST_F(LibraryBuildTest, InstallationWithoutPolibGetsALibraryOfBrisko) {
  const std::string installation = installationWith("polib.exe", "exit 99");
  fs::remove(fs::path(installation) / "compilers" / "polib.exe");
  work.write("maths/maths.pb", kMathsSource);
  const ts::ProgramResult r = brisko(
      {"--pb-folder", installation, "convert", work.file("maths/maths.pb"), "--lib", "--log"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(ts::readFileText(work.file("maths/Logs/briskoLog.txt"))
                .find("The installation holds no polib: brisko packs the library itself."),
            std::string::npos);
  const fs::path library = work.file("maths/Bin/maths.lib");
  const ts::CommandResult listed = ts::runCommand("llvm-nm " + ts::shellQuote(library.string()));
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  const ts::X86Run ran = ts::linkAndRun({library}, kMathsHarness, work.path());
  ASSERT_TRUE(ran.linked) << ran.log;
  EXPECT_EQ(ran.output, kMathsOutput);
  const ts::LinkCheck lld = ts::linkForWindows({library}, kMathsHarness, work.path());
  EXPECT_TRUE(lld.linked) << lld.log;
  const ts::LinkCheck mingw = ts::linkWithMinGW({library}, kMathsHarness, work.path());
  EXPECT_TRUE(mingw.linked) << mingw.log;
}

}  // namespace
}  // namespace brisko::e2e
