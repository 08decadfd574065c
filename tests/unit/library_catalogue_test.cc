#include "toolchain/library_catalogue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "fakes.h"
#include "memory_file_system.h"
#include "platform/paths.h"
#include "toolchain/catalogue_scan.h"
#include "toolchain/pure_library_file.h"
#include "toolchain/windows_library_file.h"

namespace brisko::toolchain {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kSep(1, platform::kPathSeparator);

// Library file bytes, assembled piece by piece.
struct FileBytes {
  std::string data;
  FileBytes& bytes(std::initializer_list<int> values) {
    for (int v : values) data += static_cast<char>(v);
    return *this;
  }
  FileBytes& string(std::string_view text) {
    data.append(text);
    return bytes({0});
  }
  // Signatures, title and version byte, the first list (and the byte after it when its count is
  // not 0), the group name and the second list. The counts need not match the names given.
  FileBytes& header(int firstCount = 0, std::initializer_list<std::string_view> first = {},
                    int secondCount = 0) {
    data.append(
        "ERUP\0\0\0\0"
        "3BIL\0\0\0\0"
        "LIB3",
        20);
    string("Title").bytes({1, firstCount});
    for (std::string_view name : first) string(name);
    if (firstCount != 0) bytes({0});
    return string("Group").bytes({secondCount});
  }
  FileBytes& entry(std::string_view name, std::initializer_list<int> codes,
                   std::initializer_list<int> flags = {1, 0, 0, 0}) {
    return string(name).bytes({static_cast<int>(codes.size())}).bytes(codes).bytes(flags);
  }
  FileBytes& codeChunk() {
    data.append(
        "EDOC\x08\0\0\0"
        "1TAD\0\0\0\0",
        16);
    return *this;
  }
};

// Each function as name + template for PureBasic libraries, name + count for Windows ones.
std::vector<std::string> listed(const LibraryCatalogue& catalogue) {
  std::vector<std::string> result;
  for (const LibraryFunction& f : catalogue.functions()) {
    result.push_back(f.name + (f.library->isPureLibrary ? f.parameterTemplate
                                                        : " " + std::to_string(f.parameterCount)));
  }
  return result;
}

LibraryCatalogue parsePure(const std::string& data, const std::string& path = "Demo") {
  LibraryCatalogue catalogue;
  parsePureLibrary(data, path, catalogue);
  return catalogue;
}

TEST(PureLibraryParse, TemplatesHooksAndParameterlessEntries) {
  FileBytes file;
  file.header()
      .entry("Lead", {0x10})  // nothing before it: no token
      .entry("Mixed", {1, 0x40, 8})
      .entry("Repeat", {0x40, 0x10})
      .entry("Carried", {0x10, 0x20, 0x41, 0x7F})
      .entry("Numbers", {2, 4, 0x43, 0x44});
  for (const char* hook : {"demo.pb_init", "Other_End", "initDEMO.pb", "ENDdemo.PB"}) {
    file.entry(hook, {1});
  }
  file.entry("InitDemo", {1})
      .entry("AllZero", {}, {0, 0, 0, 0})
      .bytes({0})
      .entry("FirstFlags", {}, {1, 1, 0, 0})
      .bytes({0})
      .entry("ThirdFlag", {}, {0, 0, 1, 0})
      .entry("HelpAfterFlags", {}, {0, 0, 0, 0})
      .string("(x) - help")
      .entry("HelpAfterFill", {}, {0, 0, 0, 0})
      .bytes({0, 0})
      .string("(y)")
      .codeChunk()
      .entry("AfterTheMarker", {1});
  const auto catalogue = parsePure(file.data, "PureLibraries" + kSep + "Demo.pb");
  EXPECT_THAT(listed(catalogue),
              ElementsAre("Lead()", "Mixed(a, a$, a())", "Repeat(a$, a$)", "Carried(a$, b(), a, a)",
                          "Numbers(a, a, a, a)", "InitDemo(a)", "ThirdFlag()", "HelpAfterFlags()"));
  ASSERT_EQ(catalogue.libraries().size(), 1u);
  EXPECT_EQ(catalogue.functions()[0].library, &catalogue.libraries()[0]);
}

TEST(PureLibraryParse, HeaderWalkAndItsStopPoints) {
  // A negative count names nothing but, being nonzero, brings the byte after the list.
  EXPECT_THAT(listed(parsePure(FileBytes().header(-1, {}, -3).entry("A", {1}).data)),
              ElementsAre("A(a)"));
  FileBytes second = FileBytes().header(2, {"Memory", "String"}, 1).string("kernel32.lib");
  second.entry("B", {1}).data += "ERUP";
  EXPECT_THAT(listed(parsePure(second.entry("Hidden", {1}).data)), ElementsAre("B(a)"));

  EXPECT_THAT(parsePure(FileBytes().header().data.substr(0, 19)).libraries(), IsEmpty());
  EXPECT_THAT(parsePure("plain text, not a library file").libraries(), IsEmpty());
  // Cut after the title and its byte, after the group name, after the second list.
  const std::string full = FileBytes().header(1, {"Memory"}, 0).data;
  for (std::size_t cut : {std::size_t{27}, full.size() - 1, full.size()}) {
    const auto catalogue = parsePure(full.substr(0, cut));
    EXPECT_EQ(catalogue.libraries().size(), 1u) << cut;
    EXPECT_THAT(catalogue.functions(), IsEmpty()) << cut;
  }
}

// Every prefix of a file must parse without reading past its end (the sanitizer build checks)
// and keep the entries that were complete before the cut.
TEST(PureLibraryParse, TruncatedFilesKeepWhatWasRead) {
  for (const std::string& header :
       {FileBytes().header(1, {"Memory"}, 0).data, FileBytes().header(-2, {}, -1).data}) {
    const std::string full = FileBytes{header}
                                 .entry("Alpha", {0x40, 1})
                                 .string("(Text$, Value)")
                                 .entry("Beta", {}, {0, 0, 1, 0})
                                 .bytes({0, 0, 0})
                                 .entry("Gamma", {0x20})
                                 .data;
    const std::vector<std::string> all = listed(parsePure(full));
    ASSERT_THAT(all, ElementsAre("Alpha(a$, a)", "Beta()", "Gamma(b())"));
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
      const auto catalogue = parsePure(full.substr(0, cut));
      const std::vector<std::string> found = listed(catalogue);
      ASSERT_LE(found.size(), all.size()) << cut;
      EXPECT_TRUE(std::equal(found.begin(), found.end(), all.begin())) << cut;
      EXPECT_EQ(catalogue.libraries().size(), cut >= 20 ? 1u : 0u) << cut;
    }
  }
}

TEST(WindowsLibraryParse, EntriesStartAfterTheFileNameLength) {
  const std::string file = FileBytes()
                               .string("ERUPLLDEGdi32")
                               .bytes({0})
                               .string("DeleteObject")
                               .bytes({1, 0})
                               .string("GetStockObject")
                               .bytes({0xFF, 0})
                               .data;
  const auto parse = [](const std::string& data, const std::string& name,
                        std::optional<language::TextId> result = std::nullopt) {
    LibraryCatalogue catalogue;
    EXPECT_EQ(parseWindowsLibrary(data, "Windows" + kSep + name, catalogue), result);
    return catalogue;
  };
  EXPECT_THAT(listed(parse(file, "Gdi32")), ElementsAre("DeleteObject 1", "GetStockObject -1"));
  EXPECT_EQ(listed(parse(file, "Gdi32x"))[0], "eleteObject 1");  // one character more: one on
  // A trailing entry counts once its name and count byte are there.
  EXPECT_EQ(listed(parse(file.substr(0, file.size() - 1), "Gdi32")).size(), 2u);
  for (std::size_t cut = file.size() - 2; cut > file.size() - 17; --cut) {
    EXPECT_THAT(listed(parse(file.substr(0, cut), "Gdi32")), ElementsAre("DeleteObject 1"));
  }
  EXPECT_EQ(parse(file.substr(0, 12), "Gdi32").libraries().size(), 1u);
  EXPECT_THAT(parse("ERUPLLD", "Gdi32", language::TextId::functionLists).libraries(), IsEmpty());
}

TEST(LibraryCatalogueLookup, MatchesExactNameAndKindLikeAWalkOfTheList) {
  LibraryCatalogue catalogue;
  const LibraryRecord& windows = catalogue.addLibrary("Kernel32", false);
  const LibraryRecord& pure = catalogue.addLibrary("File", true);
  catalogue.addFunction({&windows, "OpenFile", "", 3});
  EXPECT_EQ(catalogue.findLibraryFunction("OpenFile", true), nullptr);
  EXPECT_EQ(catalogue.findLibraryFunction("OpenFile", false), &catalogue.functions()[0]);
  catalogue.addFunction({&pure, "OpenFile", "(a, a$)", 0});
  EXPECT_EQ(catalogue.findLibraryFunction("openfile", true), nullptr);

  for (const char* name : {"zeta", "Alpha", "ALPHA", "beta", "Alpha", "Beta"}) {
    catalogue.addFunction({&pure, name, "", 0});
    catalogue.addFunction({&windows, name, "", 1});
  }
  catalogue.sortFunctions();
  // Stable: names equal without regard to case keep their order of addition.
  EXPECT_THAT(listed(catalogue), ElementsAre("Alpha", "Alpha 1", "ALPHA", "ALPHA 1", "Alpha",
                                             "Alpha 1", "beta", "beta 1", "Beta", "Beta 1",
                                             "OpenFile 3", "OpenFile(a, a$)", "zeta", "zeta 1"));
  catalogue.addFunction({&pure, "Alpha", "late", 0});
  catalogue.addFunction({&pure, "Gamma", "late", 0});
  for (const char* name : {"Alpha", "ALPHA", "Beta", "OpenFile", "Gamma", "none"}) {
    for (bool kind : {true, false}) {
      const auto& all = catalogue.functions();
      const auto walked = std::find_if(all.begin(), all.end(), [&](const LibraryFunction& f) {
        return f.name == name && f.library->isPureLibrary == kind;
      });
      EXPECT_EQ(catalogue.findLibraryFunction(name, kind), walked == all.end() ? nullptr : &*walked)
          << name << kind;
    }
  }
}

class CountingWindow : public app::WindowServices {
 public:
  int polls = 0;
  void pollEvents() override { ++polls; }
};

class CatalogueScanTest : public ::testing::Test {
 protected:
  std::string path(std::string_view folder, std::string_view file) {
    return pb + std::string(folder) + kSep + std::string(file);
  }
  std::optional<language::TextId> build(platform::MemoryFileSystem& fs,
                                        LibraryCatalogue& catalogue) {
    return buildLibraryCatalogue({fs, feedback, window}, pb, catalogue);
  }

  const std::string pb = kSep + "pb" + kSep;
  const std::string pure = "PureLibraries";
  const std::string user = pure + kSep + "UserLibraries";
  const std::string windows = pure + kSep + "Windows";
  brisko::testing::RecordingFeedback feedback;
  CountingWindow window;
};

TEST_F(CatalogueScanTest, ReadsTheFoldersInOrderAndSortsTheFunctions) {
  platform::MemoryFileSystem files;
  files.addFile(path(pure, "Zeta"), FileBytes().header().entry("beta", {1}).data);
  files.addFile(path(pure, "notes.txt"), "not a library");
  files.addFile(path(user, "User"),
                FileBytes().header().entry("BETA", {0x40}).entry("Alpha", {}, {0, 0, 1, 0}).data);
  files.addFile(
      path(windows, "Kernel32"),
      FileBytes().string("ERUPLLDEKernel32").bytes({0}).string("Beta").bytes({2, 0}).data);
  for (const char* name : {"k.lib", "x.LIB", "lib", "u.lib"}) {
    files.addFile(path("Compilers", name), "!<arch>\n");
  }
  files.addFolder(path("Compilers", "folder.lib"));

  LibraryCatalogue catalogue;
  ASSERT_EQ(build(files, catalogue), std::nullopt);
  EXPECT_THAT(feedback.details, ElementsAre("Scanning Zeta", "Scanning notes.txt", "Scanning User",
                                            "Scanning Kernel32"));
  EXPECT_EQ(window.polls, 11);  // once per folder entry, folders included
  ASSERT_EQ(catalogue.libraries().size(), 3u);
  EXPECT_EQ(catalogue.libraries()[1].path, path(user, "User"));
  EXPECT_THAT(listed(catalogue), ElementsAre("Alpha()", "beta(a)", "BETA(a$)", "Beta 2"));
  EXPECT_EQ(catalogue.findLibraryFunction("Beta", false)->library, &catalogue.libraries()[2]);
  EXPECT_EQ(catalogue.compilerLibraryNames(), "k.lib,u.lib,");
}

TEST_F(CatalogueScanTest, UnreadableFilesStopTheScanWithNine) {
  struct Case {
    std::string folder, content;
    bool inaccessible = false;
  };
  for (const Case& c : {Case{pure, ""}, Case{user, ""}, Case{windows, "not a descriptor"},
                        Case{windows, "ERUPLLDE", true}}) {
    platform::MemoryFileSystem files;
    LibraryCatalogue catalogue;
    files.addFile(path(c.folder, "Bad"), c.content);
    files.addFile(path(c.folder, "Later"), FileBytes().header().entry("Later", {1}).data);
    files.addFile(path("Compilers", "a.lib"), "");
    if (c.inaccessible) files.makeInaccessible(path(c.folder, "Bad"));
    EXPECT_EQ(build(files, catalogue), language::TextId::functionLists) << c.folder;
    EXPECT_EQ(feedback.details.back(), "Scanning Bad");
    EXPECT_THAT(catalogue.functions(), IsEmpty());
    EXPECT_THAT(catalogue.compilerLibraryNames(), IsEmpty());
  }
  platform::MemoryFileSystem empty;
  LibraryCatalogue catalogue;
  EXPECT_EQ(build(empty, catalogue), std::nullopt);  // missing folders are skipped
}

}  // namespace
}  // namespace brisko::toolchain
