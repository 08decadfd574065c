#include "language/xml_document.h"

#include <gtest/gtest.h>

#include "platform/code_pages.h"

namespace brisko::language {
namespace {

TEST(LanguageXml, ElementsKeepTheirOwnTextAndChildOrder) {
  const auto root = parseXml(
      "<?xml version=\"1.0\"?>\n<a id=\"1\">\n  head<b>one</b>mid<!-- note --><c>"
      "two<d/>three</c>tail &amp; &#233;<![CDATA[ <x> ]]></a>");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->name, "a");
  EXPECT_EQ(root->text, "\n  headmidtail & \xC3\xA9 <x> ");
  ASSERT_EQ(root->children.size(), 2u);
  EXPECT_EQ(root->children[0].name, "b");
  EXPECT_EQ(root->children[0].text, "one");
  EXPECT_TRUE(root->children[0].children.empty());
  const XmlElement& c = root->children[1];
  EXPECT_EQ(c.name, "c");
  EXPECT_EQ(c.text, "twothree");
  ASSERT_EQ(c.children.size(), 1u);
  EXPECT_EQ(c.children[0].name, "d");
  EXPECT_EQ(c.children[0].text, "");
}

TEST(LanguageXml, ManySiblingsAndDeepNestingStayIntact) {
  std::string document = "<r>";
  for (int i = 0; i < 500; ++i) document += "<e>" + std::to_string(i) + "<in>x</in></e>";
  document += "</r>";
  const auto root = parseXml(document);
  ASSERT_TRUE(root);
  ASSERT_EQ(root->children.size(), 500u);
  EXPECT_EQ(root->children[0].text, "0");
  EXPECT_EQ(root->children[499].text, "499");
  EXPECT_EQ(root->children[499].children.at(0).text, "x");
}

TEST(LanguageXml, MalformedDocumentsFailWithAReason) {
  std::string error;
  EXPECT_FALSE(parseXml("<a><b></a>", &error));
  EXPECT_NE(error.find("line 1"), std::string::npos) << error;
  EXPECT_FALSE(parseXml(""));
  EXPECT_FALSE(parseXml("<a>unclosed"));
  EXPECT_FALSE(parseXml("<a/><b/>"));
  EXPECT_FALSE(parseXml("<a>&unknown;</a>"));
}

TEST(LanguageXml, MarkDecidesTheEncoding) {
  const std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><t>caf\xC3\xA9</t>";

  // UTF-16 little endian although the declaration still names UTF-8.
  auto root = parseXml("\xFF\xFE" + platform::utf8ToUtf16le(body));
  ASSERT_TRUE(root);
  EXPECT_EQ(root->text, "caf\xC3\xA9");

  root = parseXml("\xEF\xBB\xBF" + body);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->text, "caf\xC3\xA9");

  // Without a mark the declaration is followed.
  root = parseXml("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><t>caf\xE9</t>");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->text, "caf\xC3\xA9");
}

}  // namespace
}  // namespace brisko::language
