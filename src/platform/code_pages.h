// Conversions between the program's UTF-8 texts and the encodings met at its edges.
#pragma once

#include <string>
#include <string_view>

namespace brisko::platform {

// The system's ANSI code page. On POSIX this is Windows-1252 with its five undefined bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) mapped to the C1 controls of the same value, so that every
// byte sequence survives a round trip.
std::string ansiToUtf8(std::string_view bytes);
// Characters the code page cannot hold become "?".
std::string utf8ToAnsi(std::string_view text);

// Windows-1252 as described above, on every platform.
std::string windows1252ToUtf8(std::string_view bytes);
std::string utf8ToWindows1252(std::string_view text);

// UTF-16 little endian byte sequences (no byte-order mark is added or removed). An odd final
// byte is dropped; unpaired surrogates become U+FFFD.
std::string utf16leToUtf8(std::string_view bytes);
std::string utf8ToUtf16le(std::string_view text);

// UTF-16 code units, as Win32 calls take them.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace brisko::platform
