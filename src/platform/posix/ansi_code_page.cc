// On POSIX the program's "ANSI code page" is Windows-1252, whatever the locale says, so that
// texts and files behave as they would on a Western European Windows.
#include "platform/code_pages.h"

namespace brisko::platform {

std::string ansiToUtf8(std::string_view bytes) {
  return windows1252ToUtf8(bytes);
}
std::string utf8ToAnsi(std::string_view text) {
  return utf8ToWindows1252(text);
}

}  // namespace brisko::platform
