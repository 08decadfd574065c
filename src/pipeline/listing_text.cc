#include "pipeline/listing_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/code_pages.h"

namespace brisko::pipeline {
namespace {

using platform::TextEncoding;

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace

std::optional<Listing> Listing::read(const platform::FileSystem& files, const std::string& path) {
  auto bytes = files.readFile(path);
  if (!bytes) return std::nullopt;
  return fromBytes(std::move(*bytes));
}

Listing Listing::fromBytes(std::string bytes) {
  Listing listing;
  listing.encoding_ = platform::encodingOf(bytes);
  const std::size_t mark = platform::byteOrderMark(listing.encoding_).size();
  switch (listing.encoding_) {
    case TextEncoding::utf16le:
      listing.text_ = platform::utf16leToUtf8(std::string_view(bytes).substr(mark));
      break;
    case TextEncoding::utf8:
      listing.text_ = std::move(bytes);
      listing.text_.erase(0, mark);
      break;
    case TextEncoding::ansi:
      if (platform::isAscii(bytes)) {
        listing.asciiOnly_ = true;
        listing.text_ = std::move(bytes);
      } else {
        listing.text_ = platform::ansiToUtf8(bytes);
      }
      break;
  }
  return listing;
}

namespace {

// UTF-16 sources start with the mark; UTF-8 ones carry none (FASM refuses it).
std::string encodedSource(std::string_view utf8, TextEncoding encoding) {
  if (encoding != TextEncoding::utf16le) return platform::encodeText(utf8, encoding);
  return std::string(platform::kUtf16LeMark) + platform::encodeText(utf8, encoding);
}

// Sources are made of the listing's text and ASCII lines of their own, so the sources of an
// ASCII-only ANSI listing are stored as they are built.
bool storedAsBuilt(const Listing& listing) {
  return listing.encoding() == TextEncoding::ansi && listing.asciiOnly();
}

}  // namespace

bool storeSource(platform::OutputFile& file, std::string_view utf8, const Listing& listing) {
  const bool ok = storedAsBuilt(listing) ? file.write(utf8)
                                         : file.write(encodedSource(utf8, listing.encoding()));
  return file.close() && ok;
}

std::string sourceBytes(std::string utf8, const Listing& listing) {
  if (storedAsBuilt(listing)) return utf8;
  return encodedSource(utf8, listing.encoding());
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

bool isRuntimeItemName(std::string_view name) {
  return name.starts_with("PB_") || name.starts_with("_PB_") || name.starts_with("_SYS_") ||
         name.starts_with("SYS_") || name.starts_with("I_BSS") || name.starts_with("pb_");
}

bool isGeneratedSource(std::string_view bytes) {
  static constexpr std::string_view kFirstLine = ";Brisko generated asm file.";
  const TextEncoding encoding = platform::encodingOf(bytes);
  bytes = platform::withoutByteOrderMark(bytes);
  if (encoding == TextEncoding::utf16le) {
    const std::size_t size = std::min(bytes.size(), 2 * kFirstLine.size());
    return platform::utf16leToUtf8(bytes.substr(0, size)).starts_with(kFirstLine);
  }
  return bytes.starts_with(kFirstLine);
}

std::string_view withoutLastCharacter(std::string_view text) {
  std::size_t size = text.size();
  while (size > 1 && (static_cast<unsigned char>(text[size - 1]) & 0xC0) == 0x80) --size;
  return text.substr(0, size == 0 ? 0 : size - 1);
}

}  // namespace brisko::pipeline
