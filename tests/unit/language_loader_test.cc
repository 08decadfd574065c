#include "language/language_loader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "language/builtin_english.h"
#include "language/text_ids.h"
#include "language/xml_document.h"
#include "memory_file_system.h"
#include "platform/code_pages.h"

namespace brisko::language {
namespace {

using namespace std::string_literals;

// Remembers what each deleted file held, and can make reading one path fail.
class WatchedFileSystem : public platform::MemoryFileSystem {
 public:
  std::optional<std::string> readFile(const std::string& path) const override {
    if (path == unreadable) return std::nullopt;
    return MemoryFileSystem::readFile(path);
  }
  bool deleteFile(const std::string& path) override {
    if (auto content = MemoryFileSystem::readFile(path)) deleted[path] = *content;
    return MemoryFileSystem::deleteFile(path);
  }

  std::string unreadable;
  std::map<std::string, std::string> deleted;
};

constexpr const char* kLanguages = "/opt/brisko/languages/";
constexpr const char* kTemp = "/tmp/";
constexpr const char* kTempEnglish = "/tmp/English.lan";

std::string xmlFile(const std::string& groups) {
  return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><Language>X</Language>" +
         groups + "</Root>";
}

class LanguageLoaderTest : public ::testing::Test {
 protected:
  LanguageLoaderTest() { files.addFolder(kTemp); }

  bool load() { return loadLanguageTable(files, kLanguages, table); }
  void addLanguageFile(const std::string& name, std::string content) {
    files.addFile(kLanguages + name, std::move(content));
  }

  WatchedFileSystem files;
  LanguageTable table;
};

TEST_F(LanguageLoaderTest, BuiltinFileIsLoadedFromMemoryWithTheTempFolderUntouched) {
  ASSERT_TRUE(load());
  EXPECT_EQ(table.size(), std::size_t{kBuiltinTextCount});
  EXPECT_EQ(table.text(TextId::error), "Error!");
  EXPECT_EQ(files.listFolder(kTemp)->size(), 0u);

  // A file of the built-in file's name there stays as it is.
  files.addFile(kTempEnglish, "stale");
  ASSERT_TRUE(load());
  EXPECT_EQ(files.readFile(kTempEnglish), "stale");
  EXPECT_EQ(files.listFolder(kTemp)->size(), 1u);
  EXPECT_TRUE(files.deleted.empty());

  // The texts are those of the same bytes installed as a language file.
  const LanguageTable builtin = table;
  addLanguageFile("English.lan", std::string(builtinEnglishFile()));
  ASSERT_TRUE(load());
  EXPECT_EQ(table.texts(), builtin.texts());
}

TEST_F(LanguageLoaderTest, BuiltinFileNeedsNoUsableTempFolder) {
  files.unreadable = kTempEnglish;
  files.makeInaccessible(kTemp);
  ASSERT_TRUE(load());
  EXPECT_EQ(table.size(), std::size_t{kBuiltinTextCount});
  EXPECT_TRUE(files.deleted.empty());
}

TEST_F(LanguageLoaderTest, FirstListedLanFileWins) {
  addLanguageFile("Zulu.lan", xmlFile("<Group><Name>G</Name><a>zulu</a></Group>"));
  addLanguageFile("Alpha.lan", xmlFile("<Group><Name>G</Name><a>alpha</a></Group>"));
  ASSERT_TRUE(load());
  EXPECT_EQ(table.texts(), std::vector<std::string>{"zulu"});
  EXPECT_TRUE(files.deleted.empty());
}

TEST_F(LanguageLoaderTest, OnlyTheExactExtensionLanCounts) {
  addLanguageFile("Upper.LAN", xmlFile("<Group><Name>G</Name><a>upper</a></Group>"));
  addLanguageFile("Double.lan.bak", xmlFile("<Group><Name>G</Name><a>bak</a></Group>"));
  addLanguageFile("lan", xmlFile("<Group><Name>G</Name><a>bare</a></Group>"));
  addLanguageFile("Other.lang", xmlFile("<Group><Name>G</Name><a>lang</a></Group>"));
  ASSERT_TRUE(load());
  EXPECT_EQ(table.size(), std::size_t{kBuiltinTextCount});  // none matched: built-in English

  addLanguageFile("Real.v2.lan", xmlFile("<Group><Name>G</Name><a>real</a></Group>"));
  ASSERT_TRUE(load());
  EXPECT_EQ(table.texts(), std::vector<std::string>{"real"});
}

TEST_F(LanguageLoaderTest, LanFolderListedFirstFallsBackToTheBuiltinFile) {
  files.addFolder(kLanguages + "Folder.lan"s);
  addLanguageFile("Deutsch.lan", xmlFile("<Group><Name>G</Name><a>Fehler!</a></Group>"));
  ASSERT_TRUE(load());
  EXPECT_EQ(table.size(), std::size_t{kBuiltinTextCount});
  EXPECT_EQ(table.text(TextId::error), "Error!");
  EXPECT_FALSE(files.exists(kTempEnglish));
}

TEST_F(LanguageLoaderTest, ChosenFileThatFailsIsNotReplacedByTheBuiltinOne) {
  addLanguageFile("Broken.lan", xmlFile("<Group><Name>G</Name><a>unclosed</Group>"));
  EXPECT_FALSE(load());
  EXPECT_TRUE(files.deleted.empty());

  files.makeInaccessible(kLanguages + "Broken.lan"s);
  EXPECT_FALSE(load());
  EXPECT_TRUE(files.deleted.empty());
}

TEST_F(LanguageLoaderTest, XmlWithoutMarkIsReadAsPreferencesAndFails) {
  const std::string withoutMark(builtinEnglishFile().substr(3));
  addLanguageFile("English.lan", withoutMark);
  EXPECT_FALSE(load());

  // The same with indentation: still no group header, still no text.
  std::string indented;
  for (char c : withoutMark) {
    indented += c;
    if (c == '>') indented += "\r\n  ";
  }
  files.addFile(kLanguages + "English.lan"s, indented);
  EXPECT_FALSE(load());
}

// Writes an element tree back as XML, one element per line, indented by depth.
std::string indented(const XmlElement& element, int depth) {
  auto escaped = [](const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c == '&')
        out += "&amp;";
      else if (c == '<')
        out += "&lt;";
      else if (c == '>')
        out += "&gt;";
      else
        out += c;
    }
    return out;
  };
  const std::string indent(static_cast<std::size_t>(depth) * 4, ' ');
  std::string out = indent + "<" + element.name + ">" + escaped(element.text);
  if (!element.children.empty()) {
    out += "\r\n";
    for (const XmlElement& child : element.children) out += indented(child, depth + 1);
    out += indent;
  }
  return out + "</" + element.name + ">\r\n";
}

TEST_F(LanguageLoaderTest, ReformattedBuiltinFileGivesTheSameTexts) {
  ASSERT_TRUE(load());
  const std::vector<std::string> english = table.texts();

  const std::optional<XmlElement> root = parseXml(builtinEnglishFile());
  ASSERT_TRUE(root);
  const std::string reformatted =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + indented(*root, 0);
  ASSERT_NE(reformatted.find("\r\n        <title>brisko (PB --&gt; .obj)</title>\r\n"),
            std::string::npos);
  addLanguageFile("Pretty.lan", reformatted);
  table.clear();
  ASSERT_TRUE(load());
  EXPECT_EQ(table.texts(), english);
}

TEST_F(LanguageLoaderTest, Utf16LittleEndianXmlLoads) {
  const std::string utf8(builtinEnglishFile().substr(3));
  addLanguageFile("English16.lan", "\xFF\xFE" + platform::utf8ToUtf16le(utf8));
  ASSERT_TRUE(load());
  EXPECT_EQ(table.size(), std::size_t{kBuiltinTextCount});
  EXPECT_EQ(table.text(TextId::menusOptionsPbIde), "&Register brisko as a PB IDE tool");
  EXPECT_TRUE(files.deleted.empty());

  // A declaration naming UTF-16 is accepted as well; non-ASCII texts survive.
  const std::string declared16 =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?><R><Group><Name>G</Name><a>Größe "
      "\xE2\x82\xAC</a></Group></R>";
  files.addFile(kLanguages + "English16.lan"s, "\xFF\xFE" + platform::utf8ToUtf16le(declared16));
  ASSERT_TRUE(load());
  EXPECT_EQ(table.texts(), std::vector<std::string>{"Größe \xE2\x82\xAC"});
}

TEST_F(LanguageLoaderTest, BigEndianAndUtf32MarksFail) {
  // Read past an unrecognised mark, each of these would give one text in the preferences form.
  const std::string body = "\r\n[G]\r\nk = v\r\n";
  addLanguageFile("Marked.lan", body);
  ASSERT_TRUE(load());
  for (const std::string& mark : {"\xFE\xFF"s, "\xFF\xFE\x00\x00"s, "\x00\x00\xFE\xFF"s}) {
    files.addFile(kLanguages + "Marked.lan"s, mark + body);
    EXPECT_FALSE(load()) << "mark of " << mark.size() << " bytes";
  }
}

TEST_F(LanguageLoaderTest, GroupWithoutLeadingNameFailsTheWholeLoad) {
  addLanguageFile("Bad.lan", xmlFile("<Group><Name>A</Name><a>one</a></Group>"
                                     "<Group><a>two</a><Name>B</Name></Group>"
                                     "<Group><Name>C</Name><a>three</a></Group>"));
  EXPECT_FALSE(load());

  files.addFile(kLanguages + "Bad.lan"s,
                xmlFile("<Group><Name>A</Name><a>one</a></Group><Group/>"));
  EXPECT_FALSE(load());
}

TEST_F(LanguageLoaderTest, XmlTextsComeFromGroupsOnlyInOrder) {
  addLanguageFile(
      "Mixed.lan",
      xmlFile("<Date>01:01:2020</Date>"
              "<Group><Name>FIRST</Name><k1>a &amp; b</k1><k2>x &gt; y &lt; z</k2></Group>"
              "<Note><Name>N</Name><k>skipped</k></Note>"
              "<Group><Name>SECOND</Name><k1><![CDATA[<raw>]]></k1><k2/></Group>"));
  ASSERT_TRUE(load());
  EXPECT_EQ(table.texts(), (std::vector<std::string>{"a & b", "x > y < z", "<raw>", ""}));
}

TEST_F(LanguageLoaderTest, FileWithoutTextsFails) {
  addLanguageFile("Empty.lan", xmlFile("<Group><Name>ONLY</Name></Group>"));
  EXPECT_FALSE(load());
  files.addFile(kLanguages + "Empty.lan"s, "");
  EXPECT_FALSE(load());
  files.addFile(kLanguages + "Empty.lan"s, "\xEF\xBB\xBF; only a comment\r\n[GROUP]\r\n");
  EXPECT_FALSE(load());
}

TEST_F(LanguageLoaderTest, PreferencesFormTextsInFileOrder) {
  // UTF-8 with its mark: every value of every group, keys before the first group ignored.
  addLanguageFile("Prefs.lan",
                  "\xEF\xBB\xBF"
                  "stray = ignored\r\n"
                  "; translator's note\r\n"
                  "[ERRORS]\r\n"
                  "error = Fehler!\r\n"
                  "\r\n"
                  "noErrors=  keine Fehler  \r\n"
                  "[MENUS]\r\n"
                  "optionsQuit = &Beenden\r\n");
  ASSERT_TRUE(load());
  EXPECT_EQ(table.texts(), (std::vector<std::string>{"Fehler!", "keine Fehler", "&Beenden"}));
  // A shorter file: texts beyond it are empty.
  EXPECT_EQ(table.text(TextId::tooltipsDestinationFolder), "");

  // Without a mark the file is in the ANSI code page.
  files.addFile(kLanguages + "Prefs.lan"s,
                "[GUI]\nsource = Donn\xE9"
                "es\n");
  ASSERT_TRUE(load());
  EXPECT_EQ(table.texts(), std::vector<std::string>{"Donn\xC3\xA9"
                                                    "es"});
}

}  // namespace
}  // namespace brisko::language
