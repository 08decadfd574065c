// Text encodings of the files the program reads and writes (listings, generated sources,
// language files, the IDE's tools file), told apart by their byte-order mark.
#pragma once

#include <string>
#include <string_view>

namespace brisko::platform {

// FF FE is UTF-16 little endian, EF BB BF is UTF-8, anything else is the system's ANSI code
// page.
enum class TextEncoding { ansi, utf8, utf16le };

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
inline constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// The encoding the byte-order mark at the start of bytes names.
TextEncoding encodingOf(std::string_view bytes);
// The mark of an encoding; empty for ANSI.
std::string_view byteOrderMark(TextEncoding encoding);
// Bytes without the mark that encodingOf found.
std::string_view withoutByteOrderMark(std::string_view bytes);

// True when the text holds no byte of 0x80 or above.
bool isAscii(std::string_view text);

// UTF-8 text in an encoding, without a byte-order mark. ASCII text is the same in every
// encoding but UTF-16 and is returned as it is.
std::string encodeText(std::string_view utf8, TextEncoding encoding);

}  // namespace brisko::platform
