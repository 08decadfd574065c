// The library files: the description format, the writers, and the files the build laid out,
// read back the way the catalogue scan reads them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "catalogue_view.h"
#include "coff.h"
#include "library_files.h"
#include "tool_runner.h"

namespace brisko::standin_test {
namespace {

namespace fs = std::filesystem;
using standin::LibraryDescription;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;

std::uint32_t le32(const Bytes& d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at] | d[at + 1] << 8 | d[at + 2] << 16 | d[at + 3] << 24);
}

LibraryDescription parse(const std::string& text) {
  LibraryDescription description;
  std::string error;
  EXPECT_TRUE(standin::parseDescription(text, description, error)) << error;
  return description;
}

CataloguedFunction pb(const std::string& name, const std::string& parameters) {
  return {name, parameters, 0};
}

CataloguedFunction api(const std::string& name, int count) {
  return {name, "", count};
}

// --- The description and the writers -------------------------------------------------------

TEST(LibraryDescriptionTest, TypeCodesGiveTheTemplatesTheScanBuilds) {
  const LibraryDescription d = parse(R"d(
    purelib Demo
      function First 0x10                     # unlisted code first in the file: no token
      function Mixed 1 0x40 8 flags=01000000
      function Repeat 0x40 0x10 0x20 0x43
      function NoArgs flags=00000100
    )d");
  ASSERT_EQ(d.pureLibraries.size(), 1u);
  const PureLibraryView view =
      readPureLibraryFile(standin::encodePureLibrary(d.pureLibraries[0]), "Demo");
  EXPECT_THAT(view.functions, ElementsAre(pb("First", "()"), pb("Mixed", "(a, a$, a())"),
                                          pb("Repeat", "(a$, a$, b(), a)"), pb("NoArgs", "()")));
}

TEST(LibraryDescriptionTest, HeaderListsAreSkippedToTheFunctionTable) {
  // A non-empty first list brings the extra byte before the group name; with an empty group
  // name a reader that misses that byte loses its way in the second list.
  const LibraryDescription d = parse(R"d(
    purelib Lists
      title "PB Lists"
      version 7
      needs Memory String Requester
      imports kernel32.lib user32.lib
      function ListSize 8
    )d");
  const standin::Bytes bytes = standin::encodePureLibrary(d.pureLibraries[0]);
  EXPECT_EQ(std::string(bytes.begin() + 20, bytes.begin() + 28), std::string("PB Lists", 8));
  EXPECT_THAT(readPureLibraryFile(bytes, "Lists").functions, ElementsAre(pb("ListSize", "(a())")));
}

TEST(LibraryDescriptionTest, ParameterlessEntriesAreCataloguedOnlyWhenMarked) {
  const LibraryDescription d = parse(R"d(
    purelib Hooks
      function Hooks_Init flags=00000100
      function hooks_end flags=00000100
      function InitHooks flags=00000100
      function endhooks flags=00000100
      function Internal fill=2
      function ByFlag flags=00000100 fill=1
      function ByHelp help="() - shown in the help"
      function Last 1
    )d");
  const Bytes bytes = standin::encodePureLibrary(d.pureLibraries[0]);
  const PureLibraryView view = readPureLibraryFile(bytes, "Hooks");
  for (const char* name : {"Hooks_Init", "hooks_end", "InitHooks", "endhooks", "Internal", "ByFlag",
                           "ByHelp", "Last"}) {
    EXPECT_TRUE(holdsEntry(bytes, name)) << name;
  }
  EXPECT_THAT(view.functions,
              ElementsAre(pb("ByFlag", "()"), pb("ByHelp", "()"), pb("Last", "(a)")));
}

TEST(LibraryDescriptionTest, TableEndsAtTheChosenMarker) {
  const LibraryDescription d = parse(R"d(
    purelib A
      function F 1
      end code
      code _F@4
    purelib B
      function F 1
      end pure
    purelib C
      function F 1 help="(x)"
      end none
    )d");
  const standin::Bytes a = standin::encodePureLibrary(d.pureLibraries[0]);
  const standin::Bytes b = standin::encodePureLibrary(d.pureLibraries[1]);
  const standin::Bytes c = standin::encodePureLibrary(d.pureLibraries[2]);
  for (const standin::Bytes* bytes : {&a, &b, &c}) {
    EXPECT_EQ(le32(*bytes, 4), bytes->size() - 8);
  }

  const PureLibraryView viewA = readPureLibraryFile(a, "A");
  ASSERT_TRUE(viewA.markerAt);
  EXPECT_EQ(std::string(a.begin() + *viewA.markerAt, a.begin() + *viewA.markerAt + 4), "EDOC");
  EXPECT_EQ(le32(a, 12), *viewA.markerAt - 16);
  const std::size_t objectAt = *viewA.markerAt + 16;
  EXPECT_EQ(le32(a, objectAt - 4), a.size() - objectAt);
  const standin::ObjectSymbols symbols = standin::readObjectSymbols(
      std::span<const std::uint8_t>(a.data() + objectAt, a.size() - objectAt));
  EXPECT_EQ(symbols.error, "");
  EXPECT_THAT(symbols.publicSymbols, ElementsAre("_F@4"));

  const PureLibraryView viewB = readPureLibraryFile(b, "B");
  ASSERT_TRUE(viewB.markerAt);
  EXPECT_EQ(std::string(b.begin() + *viewB.markerAt, b.begin() + *viewB.markerAt + 4), "ERUP");

  const PureLibraryView viewC = readPureLibraryFile(c, "C");
  EXPECT_FALSE(viewC.markerAt);
  EXPECT_THAT(viewC.functions, ElementsAre(pb("F", "(a)")));
  EXPECT_EQ(c.back(), 0);
}

TEST(LibraryDescriptionTest, WindowsEntriesStartAfterTheFileName) {
  const LibraryDescription d = parse(R"d(
    windows Shell
      api ShellExecute 6
      api DragFinish 1
      api Variadic -1
    )d");
  const standin::Bytes bytes = standin::encodeWindowsLibrary(d.windowsLibraries[0]);
  EXPECT_EQ(std::string(bytes.begin() + 15, bytes.begin() + 27), "ShellExecute");
  const auto functions = readWindowsFile(bytes, "Shell");
  ASSERT_TRUE(functions);
  EXPECT_THAT(*functions,
              ElementsAre(api("ShellExecute", 6), api("DragFinish", 1), api("Variadic", -1)));
}

TEST(LibraryDescriptionTest, MistakesAreReportedWithTheirLine) {
  const std::map<std::string, std::string> cases = {
      {"frobnicate x", "line 1: unknown keyword 'frobnicate'"},
      {"\n  function F 1", "line 2: function belongs inside"},
      {"purelib A\nfunction F flags=0100", "line 2: flags need 8 hex digits"},
      {"purelib A\nfunction F flags=0000zz00", "line 2: 'z' is not a hex digit"},
      {"purelib A\nfunction F 1 help=\"no bracket\"", "line 2: help text must start with '('"},
      {"purelib A\nfunction \"(F\"", "starts with '('"},
      {"purelib A\nfunction ERUPTION", "starts with ERUP"},
      {"purelib A\nfunction F 256", "line 2: type code 256 is out of range"},
      {"purelib A\nfunction F one", "'one' is not a number"},
      {"purelib A\nend later", "end is one of code, pure, none"},
      {"purelib A\nend none\ncode _F@4", "has code but no chunk"},
      {"purelib A\npurelib A", "line 2: library A is described twice"},
      {"purelib A\nuserlib A", ""},  // different folders
      {"purelib sub/A", "must not hold a folder"},
      {"windows K\napi F 128", "out of range -128..127"},
      {"windows K\napi F", "api takes 2 value(s)"},
      {"archive R.lib\ncode _F", "code belongs inside"},
      {"purelib A\ntitle \"open", "unterminated quoted text"},
  };
  for (const auto& [text, message] : cases) {
    LibraryDescription d;
    std::string error;
    const bool ok = standin::parseDescription(text, d, error);
    if (message.empty()) {
      EXPECT_TRUE(ok) << text << ": " << error;
    } else {
      EXPECT_FALSE(ok) << text;
      EXPECT_THAT(error, HasSubstr(message)) << text;
    }
  }
}

TEST(LibraryDescriptionTest, QuotesKeepBlanksAndCommentSigns) {
  const LibraryDescription d = parse("purelib A # comment\n function F help=\"(a # b)\" # end\n");
  ASSERT_EQ(d.pureLibraries[0].functions.size(), 1u);
  EXPECT_EQ(d.pureLibraries[0].functions[0].help, "(a # b)");
}

TEST(LibraryDescriptionTest, DefaultCodeReturnsZeroAndPopsTheArguments) {
  EXPECT_EQ(standin::defaultCode("_F@8"), (standin::Bytes{0x31, 0xC0, 0xC2, 0x08, 0x00}));
  EXPECT_EQ(standin::defaultCode("_F@0"), (standin::Bytes{0x31, 0xC0, 0xC3}));
  EXPECT_EQ(standin::defaultCode("_cdecl_function"), (standin::Bytes{0x31, 0xC0, 0xC3}));
}

// --- The files laid out by the build --------------------------------------------------------

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Bytes readLaidOutBytes(const std::string& relative) {
  return readBytes(installationPath(relative));
}

PureLibraryView readLaidOut(const std::string& relative) {
  return readPureLibraryFile(readLaidOutBytes(relative), fs::path(relative).filename().string());
}

TEST(InstalledLibraryFilesTest, EveryPureLibraryHasSignaturesSizesAndAnEndMarker) {
  for (const std::string folder : {"PureLibraries", "PureLibraries/UserLibraries"}) {
    const std::vector<std::string> names = filesIn(installationPath(folder));
    EXPECT_FALSE(names.empty()) << folder;
    for (const std::string& name : names) {
      const Bytes data = readBytes(installationPath(folder + "/" + name));
      const PureLibraryView view = readPureLibraryFile(data, name);
      EXPECT_TRUE(view.signatures) << name;
      ASSERT_TRUE(view.markerAt) << name;
      EXPECT_EQ(le32(data, 4), data.size() - 8) << name;
      EXPECT_EQ(le32(data, 12), *view.markerAt - 16) << name;
      EXPECT_EQ(std::string(data.begin() + *view.markerAt + 8, data.begin() + *view.markerAt + 12),
                "1TAD")
          << name;
    }
  }
}

TEST(InstalledLibraryFilesTest, StandInFunctionsAreCataloguedWithTheirTemplates) {
  EXPECT_THAT(
      readLaidOut("PureLibraries/Requester").functions,
      IsSupersetOf({pb("MessageRequester", "(a$, a$)"), pb("MessageRequester2", "(a$, a$, a)")}));
  EXPECT_THAT(readLaidOut("PureLibraries/Memory").functions,
              ElementsAre(pb("AllocateMemory", "(a)"), pb("FreeMemory", "(a)"),
                          pb("CopyMemory", "(a, a, a)"), pb("PeekL", "(a)"), pb("PokeL", "(a, a)"),
                          pb("PeekW", "(a)"), pb("PokeW", "(a, a)"), pb("PeekB", "(a)"),
                          pb("PokeB", "(a, a)"), pb("MemorySize", "(a)")));
  EXPECT_THAT(readLaidOut("PureLibraries/String").functions,
              ElementsAre(pb("Len", "(a$)"), pb("Str", "(a)"), pb("Mid", "(a$, a, a)"),
                          pb("Trim", "(a$, a$)"), pb("FindString", "(a$, a$, a)"),
                          pb("ReplaceString", "(a$, a$, a$, a)"), pb("Chr", "(a)"),
                          pb("Space", "(a)"), pb("StringField", "(a$, a, a$)")));
  EXPECT_THAT(readLaidOut("PureLibraries/Sort").functions,
              ElementsAre(pb("SortArray", "(b(), a)"), pb("SortList", "(a(), a)"),
                          pb("RandomizeArray", "(b())")));
  EXPECT_THAT(readLaidOut("PureLibraries/LinkedList").functions,
              IsSupersetOf({pb("AddElement", "(a())"), pb("ListSize", "(a())")}));
  EXPECT_THAT(readLaidOut("PureLibraries/Misc").functions,
              ElementsAre(pb("ElapsedMilliseconds", "()"), pb("ProgramParameter", "()"),
                          pb("Delay", "(a)")));
  EXPECT_THAT(
      readLaidOut("PureLibraries/UserLibraries/BriskoDemo").functions,
      ElementsAre(pb("DemoSum", "(a, a)"), pb("DemoGreeting", "(a$)"), pb("DemoVersion", "()")));
}

TEST(InstalledLibraryFilesTest, HookAndInternalEntriesArePresentButNotCatalogued) {
  const std::map<std::string, std::vector<std::string>> hidden = {
      {"PureLibraries/Memory", {"Memory_Init", "InitMemory", "MemoryHeapHandle", "Memory_END"}},
      {"PureLibraries/String", {"String_Init", "EndString", "string_end"}},
      {"PureLibraries/Misc", {"MiscTimerResolution", "Misc_Init"}},
      {"PureLibraries/UserLibraries/BriskoDemo", {"BriskoDemo_Init", "BriskoDemo_End"}},
  };
  for (const auto& [file, names] : hidden) {
    const PureLibraryView view = readLaidOut(file);
    const Bytes data = readLaidOutBytes(file);
    for (const std::string& name : names) EXPECT_TRUE(holdsEntry(data, name)) << file << name;
    for (const CataloguedFunction& f : view.functions) {
      EXPECT_THAT(names, ::testing::Not(::testing::Contains(f.name))) << file;
    }
  }
}

TEST(InstalledLibraryFilesTest, WindowsDescriptorsListNamesAndParameterCounts) {
  EXPECT_EQ(filesIn(installationPath("PureLibraries/Windows")),
            (std::vector<std::string>{"Gdi32", "Kernel32", "User32"}));
  const auto kernel =
      readWindowsFile(readBytes(installationPath("PureLibraries/Windows/Kernel32")), "Kernel32");
  ASSERT_TRUE(kernel);
  EXPECT_THAT(*kernel, IsSupersetOf({api("GetTickCount", 0), api("lstrlen", 1), api("Sleep", 1),
                                     api("GetModuleHandle", 1), api("ExitProcess", 1)}));
  const Bytes user = readBytes(installationPath("PureLibraries/Windows/User32"));
  EXPECT_EQ(std::string(user.begin() + 16, user.begin() + 26), "MessageBox");  // 6 + 10
  const auto userFunctions = readWindowsFile(user, "User32");
  ASSERT_TRUE(userFunctions);
  EXPECT_EQ(userFunctions->front(), api("MessageBox", 4));
}

TEST(InstalledLibraryFilesTest, CompilerLibrariesAreArchivesOfTheRuntimeSymbols) {
  const std::vector<std::string> names = filesIn(installationPath("Compilers"));
  EXPECT_EQ(names, (std::vector<std::string>{"PureBasicRuntime.lib", "StringManager.lib"}));
  for (const std::string& name : names) {
    const Bytes data = readBytes(installationPath("Compilers/" + name));
    EXPECT_EQ(std::string(data.begin(), data.begin() + 8), "!<arch>\n") << name;
  }
  const std::string nm = findProgram("llvm-nm");
  ASSERT_FALSE(nm.empty()) << "llvm-nm is not installed";
  const ToolResult listed =
      runTool(nm, {"--defined-only", "--extern-only", "Compilers/PureBasicRuntime.lib"},
              installationPath());
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  for (const char* symbol :
       {"_PB_MessageRequester@8", "_PB_MessageRequester2@12", "_PB_PeekL@4", "_PB_PokeL@8",
        "_PB_PeekW@4", "_PB_Len@4", "_PB_Len_THREAD@4", "_PB_Len_UNICODE@4", "_PB_SortList@8"}) {
    EXPECT_THAT(listed.out, HasSubstr(std::string("T ") + symbol + "\n"));
  }
}

}  // namespace
}  // namespace brisko::standin_test
