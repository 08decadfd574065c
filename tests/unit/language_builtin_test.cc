// The built-in English file: its exact form and the table it loads into.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "language/builtin_english.h"
#include "language/language_loader.h"
#include "language/language_table.h"
#include "language/text_ids.h"
#include "language/xml_document.h"
#include "memory_file_system.h"

namespace brisko::language {
namespace {

TEST(LanguageBuiltinFile, IsOneLineOfXmlWithItsMark) {
  const std::string_view file = builtinEnglishFile();
  EXPECT_EQ(file.size(), 10988u);
  const std::string_view head = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  EXPECT_TRUE(file.starts_with(head));
  EXPECT_TRUE(file.substr(head.size()).starts_with("<QuilletLanguageFile><Language>English"));
  EXPECT_TRUE(file.ends_with("</QuilletLanguageFile>"));
  EXPECT_EQ(file.find_first_of("\r\n\t"), std::string_view::npos);
  EXPECT_EQ(file.find("> "), std::string_view::npos);
  EXPECT_EQ(file.find(" <"), std::string_view::npos);
  // Only the two escapes the texts need appear.
  EXPECT_NE(file.find("&amp;Register"), std::string_view::npos);
  EXPECT_NE(file.find("--&gt; .obj"), std::string_view::npos);
  EXPECT_EQ(file.find("&lt;"), std::string_view::npos);
}

TEST(LanguageBuiltinFile, HoldsTheGroupsInOrder) {
  const std::optional<XmlElement> root = parseXml(builtinEnglishFile());
  ASSERT_TRUE(root);
  EXPECT_EQ(root->name, "QuilletLanguageFile");
  ASSERT_EQ(root->children.size(), 16u);
  EXPECT_EQ(root->children[0].name, "Language");
  EXPECT_EQ(root->children[0].text, "English");
  EXPECT_EQ(root->children[1].name, "Date");
  EXPECT_EQ(root->children[1].text, "04:03:2008");

  const std::vector<std::pair<std::string, std::size_t>> expected = {
      {"ERRORS", 23},    {"GUI", 22},       {"HELPABOUT", 1},       {"MENUS", 3},
      {"OBJECT", 16},    {"PBWRAPPER", 3},  {"STATUSBAR", 10},      {"TOOLTIPS", 10},
      {"MOREERRORS", 7}, {"MORETEXTS", 10}, {"CONVERSIONNOTES", 6}, {"CHECKS", 7},
      {"ASSEMBLING", 2}, {"VARIANTS", 17}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const XmlElement& group = root->children[i + 2];
    EXPECT_EQ(group.name, "Group");
    ASSERT_FALSE(group.children.empty());
    EXPECT_EQ(group.children[0].name, "Name");
    EXPECT_EQ(group.children[0].text, expected[i].first);
    EXPECT_EQ(group.children.size() - 1, expected[i].second) << expected[i].first;
  }
  EXPECT_EQ(root->children[3].children[1].name, "title");
  EXPECT_EQ(root->children[9].children.back().name, "destinationFolder");
}

TEST(LanguageBuiltinFile, LoadsIntoTheEnglishTable) {
  platform::MemoryFileSystem files;
  files.addFolder("/temp");
  LanguageTable table;
  ASSERT_TRUE(loadLanguageTable(files, "/missing/languages/", table));
  ASSERT_EQ(table.size(), std::size_t{kBuiltinTextCount});
  EXPECT_EQ(table.text(TextId::error), "Error!");
  EXPECT_EQ(table.text(TextId::noAsmFiles), "There are no ASM files to compile.");
  EXPECT_EQ(table.text(TextId{23}), "brisko (PB --> .obj)");
  EXPECT_EQ(table.text(TextId::guiOkay), "Okay");
  EXPECT_EQ(table.text(TextId::helpaboutTitle), "About...");
  EXPECT_EQ(table.text(TextId{46}), "&Register brisko as a PB IDE tool");
  EXPECT_EQ(table.text(TextId::objectNoCompilerError), "The compiler reported no errors.");
  EXPECT_EQ(table.text(TextId::pbwrapperManualAdjustments),
            ";This file may require some manual adjustments.");
  EXPECT_EQ(table.text(TextId::statusbarAwaitingInstructions), "Status = awaiting instructions");
  EXPECT_EQ(table.text(TextId::tooltipsExportGlobals),
            "Check this to create an object file which exports all global variables. (All "
            "'public' variables are automatically exported.)");
  EXPECT_EQ(table.text(TextId{87}),
            "3 subfolders will be created by brisko; 'Bin', 'Logs' and 'Source'.");
  EXPECT_EQ(table.text(TextId::destinationBusy),
            "Another conversion is writing into this destination folder.");
  EXPECT_EQ(table.text(TextId::statusbarCreatingCHeader), "Status = creating C header.");
  EXPECT_EQ(table.text(TextId{kBuiltinTextCount}), "");
  EXPECT_EQ(files.listFolder("/temp/")->size(), 0u);
}

TEST(LanguageFillIn, ReplacesNumberedMarkersOnceInTheirOrder) {
  // A translation's own order; a value is not searched for markers; no third value, no "%0".
  EXPECT_EQ(fillIn("%2, then %1 in %2", {"x", "%2"}), "%2, then x in %2");
  EXPECT_EQ(fillIn("100% of %3 %0 %%1 %", {"x", "y"}), "100% of %3 %0 %x %");
}

}  // namespace
}  // namespace brisko::language
