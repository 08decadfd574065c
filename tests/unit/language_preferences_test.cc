#include "language/preferences.h"

#include <gtest/gtest.h>

#include "platform/code_pages.h"

namespace brisko::language {
namespace {

using Kind = PreferenceLine::Kind;

constexpr const char* kToolsFile =
    ";  PureBasic IDE ToolsMenu Configuration\r\n"
    "; \r\n"
    "[ToolsInfo]\r\n"
    "ToolCount = 2\r\n"
    ";\r\n"
    "[Tool_0]\r\n"
    "Command = C:\\tools\\one.exe\r\n"
    "Arguments = \"%FILE\"\r\n"
    "WorkingDir = \r\n"
    "\r\n"
    "[Tool_1]\r\n"
    "Command = C:\\tools\\two.exe\r\n";

TEST(LanguagePreferences, GroupsAndLinesInFileOrder) {
  const Preferences prefs = Preferences::parse(kToolsFile);
  EXPECT_EQ(prefs.encoding(), platform::TextEncoding::ansi);
  ASSERT_EQ(prefs.groups().size(), 4u);

  const PreferenceGroup& leading = prefs.groups()[0];
  EXPECT_FALSE(leading.hasHeader);
  ASSERT_EQ(leading.lines.size(), 2u);
  EXPECT_EQ(leading.lines[0].kind, Kind::kComment);
  EXPECT_EQ(leading.lines[0].value, "PureBasic IDE ToolsMenu Configuration");
  EXPECT_EQ(leading.lines[1].value, "");

  const auto named = prefs.namedGroups();
  ASSERT_EQ(named.size(), 3u);
  EXPECT_EQ(named[0]->name, "ToolsInfo");
  EXPECT_EQ(named[1]->name, "Tool_0");
  EXPECT_EQ(named[2]->name, "Tool_1");

  const PreferenceGroup& tool0 = *named[1];
  ASSERT_EQ(tool0.lines.size(), 4u);
  EXPECT_EQ(tool0.lines[0].kind, Kind::kKey);
  EXPECT_EQ(tool0.lines[0].key, "Command");
  EXPECT_EQ(tool0.lines[0].value, "C:\\tools\\one.exe");
  EXPECT_EQ(tool0.lines[1].value, "\"%FILE\"");
  EXPECT_EQ(tool0.lines[2].key, "WorkingDir");
  EXPECT_EQ(tool0.lines[2].value, "");
  EXPECT_EQ(tool0.lines[3].kind, Kind::kBlank);
  EXPECT_EQ(named[0]->lines.back().kind, Kind::kComment);
}

TEST(LanguagePreferences, LineSyntaxDetails) {
  const Preferences prefs = Preferences::parse(
      "top = before any group\n"
      "  [ Spaced ]  \r"
      "\tkey\t=\t value = with equals \t\n"
      "  ; indented comment\n"
      "no equals sign here\n"
      "[Unclosed\n"
      "=empty key\n"
      "[Trailing] text\n"
      "k=v");
  ASSERT_EQ(prefs.groups().size(), 4u);
  EXPECT_EQ(prefs.groups()[0].find("top"), "before any group");
  const auto named = prefs.namedGroups();
  ASSERT_EQ(named.size(), 3u);
  EXPECT_EQ(named[0]->name, "Spaced");
  EXPECT_EQ(named[0]->find("key"), "value = with equals");
  ASSERT_EQ(named[0]->lines.size(), 3u);
  EXPECT_EQ(named[0]->lines[1].kind, Kind::kComment);
  EXPECT_EQ(named[0]->lines[1].value, "indented comment");
  EXPECT_EQ(named[0]->lines[2].kind, Kind::kOther);
  EXPECT_EQ(named[0]->lines[2].value, "no equals sign here");
  EXPECT_EQ(named[1]->name, "Unclosed");
  EXPECT_EQ(named[1]->find(""), "empty key");
  EXPECT_EQ(named[2]->name, "Trailing");
  EXPECT_EQ(named[2]->find("k"), "v");
}

TEST(LanguagePreferences, FindAndSetAreExactAndFirstMatch) {
  Preferences prefs = Preferences::parse("[A]\nx = 1\nx = 2\n[a]\nx = 3\n[A]\nx = 4\n");
  ASSERT_NE(prefs.findGroup("A"), nullptr);
  EXPECT_EQ(prefs.findGroup("A")->find("x"), "1");
  EXPECT_EQ(prefs.findGroup("a")->find("x"), "3");
  EXPECT_EQ(prefs.findGroup("A")->find("X"), std::nullopt);
  EXPECT_EQ(prefs.findGroup("B"), nullptr);
  EXPECT_EQ(prefs.findGroup(""), nullptr);  // the leading group has no header

  prefs.findGroup("A")->set("x", "9");
  prefs.findGroup("A")->set("y", "new");
  EXPECT_EQ(prefs.findGroup("A")->lines[0].value, "9");
  EXPECT_EQ(prefs.findGroup("A")->lines[1].value, "2");
  EXPECT_EQ(prefs.findGroup("A")->lines.back().key, "y");

  prefs.group("B").set("z", "0");
  EXPECT_EQ(prefs.groups().back().name, "B");
  EXPECT_EQ(&prefs.group("a"), prefs.findGroup("a"));
}

TEST(LanguagePreferences, WriteKeepsOrderAndComments) {
  Preferences prefs = Preferences::parse(kToolsFile);
  prefs.findGroup("ToolsInfo")->set("ToolCount", "3");
  EXPECT_EQ(prefs.write(),
            "; PureBasic IDE ToolsMenu Configuration\r\n"
            "; \r\n"
            "[ToolsInfo]\r\n"
            "ToolCount = 3\r\n"
            "; \r\n"
            "[Tool_0]\r\n"
            "Command = C:\\tools\\one.exe\r\n"
            "Arguments = \"%FILE\"\r\n"
            "WorkingDir = \r\n"
            "\r\n"
            "[Tool_1]\r\n"
            "Command = C:\\tools\\two.exe\r\n");
  // Written text reads back to the same model.
  const Preferences again = Preferences::parse(prefs.write());
  EXPECT_EQ(again.write(), prefs.write());
}

TEST(LanguagePreferences, EncodingFollowsTheMarkBothWays) {
  const std::string text =
      "[G\xC3\xBC]\r\nk = \xE2\x82\xAC"
      "5\r\n";

  Preferences utf8 = Preferences::parse("\xEF\xBB\xBF" + text);
  EXPECT_EQ(utf8.encoding(), platform::TextEncoding::utf8);
  ASSERT_NE(utf8.findGroup("G\xC3\xBC"), nullptr);
  EXPECT_EQ(utf8.findGroup("G\xC3\xBC")->find("k"),
            "\xE2\x82\xAC"
            "5");
  EXPECT_EQ(utf8.write(), "\xEF\xBB\xBF" + text);

  const std::string utf16 = "\xFF\xFE" + platform::utf8ToUtf16le(text);
  Preferences wide = Preferences::parse(utf16);
  EXPECT_EQ(wide.encoding(), platform::TextEncoding::utf16le);
  EXPECT_EQ(wide.findGroup("G\xC3\xBC")->find("k"),
            "\xE2\x82\xAC"
            "5");
  EXPECT_EQ(wide.write(), utf16);

  // ANSI: Windows-1252 bytes 0xFC and 0x80 are the same two characters.
  const std::string ansi =
      "[G\xFC]\r\nk = \x80"
      "5\r\n";
  Preferences narrow = Preferences::parse(ansi);
  EXPECT_EQ(narrow.encoding(), platform::TextEncoding::ansi);
  EXPECT_EQ(narrow.findGroup("G\xC3\xBC")->find("k"),
            "\xE2\x82\xAC"
            "5");
  EXPECT_EQ(narrow.write(), ansi);
}

}  // namespace
}  // namespace brisko::language
