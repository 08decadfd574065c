#include "pipeline/listing_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/code_pages.h"

namespace brisko::pipeline {
namespace {

using detail::kHighBits;
using detail::wordAt;

// Eight bytes at a time: a byte of 0x80 or above sets its high bit.
bool isAscii(std::string_view bytes) {
  std::size_t i = 0;
  std::uint64_t high = 0;
  for (; i + 8 <= bytes.size(); i += 8) high |= wordAt(bytes.data() + i);
  for (; i < bytes.size(); ++i) high |= static_cast<unsigned char>(bytes[i]);
  return (high & kHighBits) == 0;
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

namespace {

// Sources are made of the listing's text and ASCII lines of their own, so the sources of an
// ASCII-only ANSI listing are stored as they are built.
bool storedAsBuilt(const Listing& listing) {
  return listing.encoding() == TextEncoding::ansi && listing.asciiOnly();
}

}  // namespace

bool storeSource(platform::OutputFile& file, std::string_view utf8, const Listing& listing) {
  const bool ok = storedAsBuilt(listing) ? file.write(utf8)
                                         : file.write(encodeSource(utf8, listing.encoding()));
  return file.close() && ok;
}

std::string sourceBytes(std::string utf8, const Listing& listing) {
  if (storedAsBuilt(listing)) return utf8;
  return encodeSource(utf8, listing.encoding());
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
  source.line(kMakerAddressLine);
  source.line(";Date is " + formatDate(now));
  source.line(";Time is " + formatTime(now));
  source.line(";\\\\\\\\\\\\\\\\\\\\");
  source.line("");
  return source.text();
}

bool isGeneratedSource(std::string_view bytes) {
  static constexpr std::string_view kFirstLine = ";Brisko generated asm file.";
  if (detectEncoding(bytes) == TextEncoding::utf16le) {
    const std::size_t size = std::min(bytes.size(), 2 + 2 * kFirstLine.size());
    return platform::utf16leToUtf8(bytes.substr(2, size - 2)).starts_with(kFirstLine);
  }
  if (detectEncoding(bytes) == TextEncoding::utf8) bytes.remove_prefix(3);
  return bytes.starts_with(kFirstLine);
}

std::string_view withoutLastCharacter(std::string_view text) {
  std::size_t size = text.size();
  while (size > 1 && (static_cast<unsigned char>(text[size - 1]) & 0xC0) == 0x80) --size;
  return text.substr(0, size == 0 ? 0 : size - 1);
}

}  // namespace brisko::pipeline
