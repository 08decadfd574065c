// Small helpers on texts that every layer uses: trimming, searching and ASCII case folding for
// names that compare without regard to case (PureBasic keywords and library names, FASM's
// reserved words, file names). Case folding changes only A to Z, so UTF-8 sequences and
// code-page bytes stay as they are.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace brisko::platform {

constexpr char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string asciiLowerCase(std::string text) {
  for (char& c : text) c = asciiLower(c);
  return text;
}

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return asciiLower(x) == asciiLower(y);
         });
}

inline bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// Removes leading and trailing U+0020 characters (tabs and other blanks stay).
inline std::string_view trimSpaces(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && text[first] == ' ') ++first;
  while (last > first && text[last - 1] == ' ') --last;
  return text.substr(first, last - first);
}

inline bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The text before the first occurrence of marker; the whole text when it holds none.
inline std::string_view beforeFirst(std::string_view text, std::string_view marker) {
  return text.substr(0, std::min(text.find(marker), text.size()));
}

// Drops the last character (a whole UTF-8 sequence) of a text.
inline std::string_view withoutLastCharacter(std::string_view text) {
  std::size_t size = text.size();
  while (size > 1 && (static_cast<unsigned char>(text[size - 1]) & 0xC0) == 0x80) --size;
  return text.substr(0, size == 0 ? 0 : size - 1);
}

}  // namespace brisko::platform
