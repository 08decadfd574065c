// UTF-8 texts to and from the wide strings the W calls of Win32 take (wchar_t holds UTF-16
// code units on Windows).
#pragma once

#include <string>
#include <string_view>

#include "platform/code_pages.h"

namespace brisko::platform::win32 {

inline std::wstring widen(std::string_view text) {
  const std::u16string units = utf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

inline std::string narrow(std::wstring_view text) {
  return utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

}  // namespace brisko::platform::win32
