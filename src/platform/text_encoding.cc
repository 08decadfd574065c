#include "platform/text_encoding.h"

#include <cstdint>
#include <cstring>

#include "platform/code_pages.h"

namespace brisko::platform {
bool isAscii(std::string_view text) {
  // Eight bytes at a time: a byte of 0x80 or above sets its high bit.
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  std::size_t i = 0;
  std::uint64_t high = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    high |= word;
  }
  for (; i < text.size(); ++i) high |= static_cast<unsigned char>(text[i]);
  return (high & kHighBits) == 0;
}

TextEncoding encodingOf(std::string_view bytes) {
  if (bytes.starts_with(kUtf16LeMark)) return TextEncoding::utf16le;
  if (bytes.starts_with(kUtf8Mark)) return TextEncoding::utf8;
  return TextEncoding::ansi;
}

std::string_view byteOrderMark(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::utf8:
      return kUtf8Mark;
    case TextEncoding::utf16le:
      return kUtf16LeMark;
    case TextEncoding::ansi:
      break;
  }
  return {};
}

std::string_view withoutByteOrderMark(std::string_view bytes) {
  return bytes.substr(byteOrderMark(encodingOf(bytes)).size());
}

std::string encodeText(std::string_view utf8, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::utf16le:
      return utf8ToUtf16le(utf8);
    case TextEncoding::utf8:
      return std::string(utf8);
    case TextEncoding::ansi:
      break;
  }
  if (isAscii(utf8)) return std::string(utf8);
  return utf8ToAnsi(utf8);
}

}  // namespace brisko::platform
