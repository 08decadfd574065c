// ASCII case folding for names that compare without regard to case (PureBasic keywords and
// library names, FASM's reserved words, file names): only A to Z change, so UTF-8 sequences
// and code-page bytes stay as they are.
#pragma once

#include <string>

namespace brisko::platform {

constexpr char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string asciiLowerCase(std::string text) {
  for (char& c : text) c = asciiLower(c);
  return text;
}

}  // namespace brisko::platform
