// The system's ANSI code page (CP_ACP), through the Win32 conversion calls.
#include <windows.h>

#include "platform/code_pages.h"

namespace brisko::platform {

std::string ansiToUtf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(units), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(wide.data()),
                      units);
  return utf16ToUtf8(wide);
}

std::string utf8ToAnsi(std::string_view text) {
  if (text.empty()) return {};
  const std::u16string wide = utf8ToUtf16(text);
  const auto* source = reinterpret_cast<const wchar_t*>(wide.data());
  const int length = static_cast<int>(wide.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, source, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, source, length, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace brisko::platform
