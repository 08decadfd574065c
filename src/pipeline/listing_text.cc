#include "pipeline/listing_text.h"

#include <cstdio>

#include "platform/code_pages.h"

namespace brisko::pipeline {
namespace {

bool isAscii(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace

TextEncoding detectEncoding(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return TextEncoding::utf16le;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return TextEncoding::utf8;
  return TextEncoding::ansi;
}

std::optional<Listing> Listing::read(const platform::FileSystem& files, const std::string& path) {
  auto bytes = files.readFile(path);
  if (!bytes) return std::nullopt;
  return fromBytes(*bytes);
}

Listing Listing::fromBytes(std::string_view bytes) {
  Listing listing;
  listing.encoding_ = detectEncoding(bytes);
  switch (listing.encoding_) {
    case TextEncoding::utf16le:
      listing.text_ = platform::utf16leToUtf8(bytes.substr(2));
      break;
    case TextEncoding::utf8:
      listing.text_.assign(bytes.substr(3));
      break;
    case TextEncoding::ansi:
      if (isAscii(bytes)) {
        listing.text_.assign(bytes);
      } else {
        listing.text_ = platform::ansiToUtf8(bytes);
      }
      break;
  }
  // Lines end with CR LF, LF or a lone CR; a last line without an end still counts.
  const std::string_view text = listing.text_;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      listing.lines_.push_back({start, text.size() - start});
      break;
    }
    listing.lines_.push_back({start, end - start});
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return listing;
}

std::string encodeSource(std::string_view utf8, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::utf16le:
      return "\xFF\xFE" + platform::utf8ToUtf16le(utf8);
    case TextEncoding::utf8:
      return std::string(utf8);
    case TextEncoding::ansi:
      break;
  }
  if (isAscii(utf8)) return std::string(utf8);
  return platform::utf8ToAnsi(utf8);
}

bool storeSource(platform::OutputFile& file, std::string_view utf8, TextEncoding encoding) {
  bool ok;
  if (encoding == TextEncoding::ansi && isAscii(utf8)) {
    ok = file.write(utf8);
  } else {
    ok = file.write(encodeSource(utf8, encoding));
  }
  return file.close() && ok;
}

std::string formatDate(const platform::LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%04d", time.day, time.month, time.year);
  return text;
}

std::string formatTime(const platform::LocalTime& time) {
  return twoDigits(time.hour) + ":" + twoDigits(time.minute);
}

void writeHeaderBlock(SourceText& source, const platform::LocalTime& now) {
  source.line(";Brisko generated asm file.");
  source.line(";(https://brisko.example.org)");
  source.line(";Date is " + formatDate(now));
  source.line(";Time is " + formatTime(now));
  source.line(";\\\\\\\\\\\\\\\\\\\\");
  source.line("");
}

void dropLastCharacter(std::string& text) {
  while (text.size() > 1 && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) {
    text.pop_back();
  }
  if (!text.empty()) text.pop_back();
}

std::string_view withoutLastCharacter(std::string_view text) {
  std::size_t size = text.size();
  while (size > 1 && (static_cast<unsigned char>(text[size - 1]) & 0xC0) == 0x80) --size;
  return text.substr(0, size == 0 ? 0 : size - 1);
}

std::string_view trimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace brisko::pipeline
