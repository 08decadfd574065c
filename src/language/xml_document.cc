#include "language/xml_document.h"

#include <expat.h>

#include <algorithm>
#include <cstddef>
#include <memory>

#include "platform/code_pages.h"
#include "platform/text_encoding.h"

namespace brisko::language {
namespace {

// Collects the parser's events into a tree. Only the innermost open element is ever
// extended, so pointers to the open elements stay valid while they are on the stack.
struct TreeBuilder {
  std::optional<XmlElement> root;
  std::vector<XmlElement*> open;

  void start(const XML_Char* name) {
    XmlElement* element = nullptr;
    if (open.empty()) {
      root.emplace();
      element = &*root;
    } else {
      element = &open.back()->children.emplace_back();
    }
    element->name = name;
    open.push_back(element);
  }
  void end() {
    if (!open.empty()) open.pop_back();
  }
  void characters(const XML_Char* data, int length) {
    if (!open.empty() && length > 0) {
      open.back()->text.append(data, static_cast<std::size_t>(length));
    }
  }
};

void XMLCALL onStart(void* userData, const XML_Char* name, const XML_Char** /*attributes*/) {
  static_cast<TreeBuilder*>(userData)->start(name);
}

void XMLCALL onEnd(void* userData, const XML_Char* /*name*/) {
  static_cast<TreeBuilder*>(userData)->end();
}

void XMLCALL onCharacters(void* userData, const XML_Char* data, int length) {
  static_cast<TreeBuilder*>(userData)->characters(data, length);
}

struct ParserDeleter {
  void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

}  // namespace

std::optional<XmlElement> parseXml(std::string_view bytes, std::string* error) {
  // With a mark the text is handed over as UTF-8 and the parser is told so; a declared
  // encoding then no longer matters (a UTF-16 file often still declares "UTF-8").
  std::string converted;
  const XML_Char* encoding = nullptr;
  const platform::TextEncoding marked = platform::encodingOf(bytes);
  bytes = platform::withoutByteOrderMark(bytes);
  if (marked == platform::TextEncoding::utf16le) {
    converted = platform::utf16leToUtf8(bytes);
    bytes = converted;
  }
  if (marked != platform::TextEncoding::ansi) encoding = "UTF-8";

  std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(encoding));
  if (!parser) {
    if (error) *error = "out of memory";
    return std::nullopt;
  }
  TreeBuilder builder;
  XML_SetUserData(parser.get(), &builder);
  XML_SetElementHandler(parser.get(), onStart, onEnd);
  XML_SetCharacterDataHandler(parser.get(), onCharacters);

  // The parser takes int lengths; feed large inputs in pieces.
  constexpr std::size_t kChunk = 1 << 20;
  bool ok = true;
  do {
    const std::size_t length = std::min(bytes.size(), kChunk);
    const bool last = length == bytes.size();
    ok = XML_Parse(parser.get(), bytes.data(), static_cast<int>(length), last ? 1 : 0) ==
         XML_STATUS_OK;
    bytes.remove_prefix(length);
    if (last) break;
  } while (ok);

  if (!ok) {
    if (error) {
      *error = std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
               std::to_string(XML_GetCurrentLineNumber(parser.get()));
    }
    return std::nullopt;
  }
  return std::move(builder.root);
}

}  // namespace brisko::language
