#include "pipeline/listing_text.h"

#include <cstdio>
#include <cstring>

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
  return fromBytes(std::move(*bytes));
}

Listing Listing::fromBytes(std::string bytes) {
  Listing listing;
  listing.encoding_ = detectEncoding(bytes);
  switch (listing.encoding_) {
    case TextEncoding::utf16le:
      listing.text_ = platform::utf16leToUtf8(std::string_view(bytes).substr(2));
      break;
    case TextEncoding::utf8:
      listing.text_ = std::move(bytes);
      listing.text_.erase(0, 3);
      break;
    case TextEncoding::ansi:
      if (isAscii(bytes)) {
        listing.asciiOnly_ = true;
        listing.text_ = std::move(bytes);
      } else {
        listing.text_ = platform::ansiToUtf8(bytes);
      }
      break;
  }
  // Lines end with CR LF, LF or a lone CR; a last line without an end still counts.
  const char* const text = listing.text_.data();
  const std::size_t size = listing.text_.size();
  listing.lines_.reserve(size / 24 + 1);
  std::size_t start = 0;
  std::size_t pos = 0;
  while (pos < size) {
    const char c = text[pos];
    // Both line-end characters are below the first printable one, so most characters are
    // passed with one comparison.
    if (c > '\r' || (c != '\n' && c != '\r')) {
      ++pos;
      continue;
    }
    listing.lines_.push_back({start, pos - start});
    pos += (c == '\r' && pos + 1 < size && text[pos + 1] == '\n') ? 2 : 1;
    start = pos;
  }
  if (start < size) listing.lines_.push_back({start, size - start});
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

bool storeSource(platform::OutputFile& file, std::string_view utf8, const Listing& listing) {
  // Sources are made of the listing's text and ASCII lines of their own.
  bool ok;
  if (listing.encoding() == TextEncoding::ansi && listing.asciiOnly()) {
    ok = file.write(utf8);
  } else {
    ok = file.write(encodeSource(utf8, listing.encoding()));
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

std::string headerBlock(const platform::LocalTime& now) {
  SourceText source;
  source.line(";Brisko generated asm file.");
  source.line(";(https://brisko.example.org)");
  source.line(";Date is " + formatDate(now));
  source.line(";Time is " + formatTime(now));
  source.line(";\\\\\\\\\\\\\\\\\\\\");
  source.line("");
  return source.text();
}

std::string_view withoutLastCharacter(std::string_view text) {
  std::size_t size = text.size();
  while (size > 1 && (static_cast<unsigned char>(text[size - 1]) & 0xC0) == 0x80) --size;
  return text.substr(0, size == 0 ? 0 : size - 1);
}

}  // namespace brisko::pipeline
