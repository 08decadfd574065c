// A small element tree of an XML document, built from the parser's events. It keeps what the
// language files need: element names, the character data of each element and the order of
// the children. Attributes, comments and processing instructions are dropped.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brisko::language {

struct XmlElement {
  std::string name;
  // The character data directly inside this element (not inside its children), concatenated
  // in document order, entities and character references resolved; UTF-8.
  std::string text;
  std::vector<XmlElement> children;
};

// Parses a whole document and returns its root element; nothing on a parse error, with a
// description of the error in *error when given.
//
// A document starting with the UTF-16 little-endian mark (FF FE) is converted to UTF-8 and
// one starting with the UTF-8 mark is read as UTF-8, whatever encoding its declaration names:
// the mark decides. Without a mark the parser follows the declaration (UTF-8 by default).
std::optional<XmlElement> parseXml(std::string_view bytes, std::string* error = nullptr);

}  // namespace brisko::language
