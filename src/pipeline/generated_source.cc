#include "pipeline/generated_source.h"

#include <algorithm>
#include <cstdio>

#include "platform/code_pages.h"

namespace brisko::pipeline {

using platform::TextEncoding;

namespace {

std::string twoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

}  // namespace

SourceEncoding sourceEncodingOf(const Listing& listing) {
  // Sources are made of the listing's text and ASCII lines of their own, so the sources of an
  // ASCII-only ANSI listing are stored as they are built.
  if (listing.encoding() == TextEncoding::ansi && listing.asciiOnly()) return {};
  return {false, listing.encoding()};
}

// UTF-16 sources start with the mark; UTF-8 ones carry none (FASM refuses it).
std::string encodedPiece(std::string_view utf8, SourceEncoding encoding, bool first) {
  if (encoding.asBuilt) return std::string(utf8);
  std::string bytes = platform::encodeText(utf8, encoding.encoding);
  if (first && encoding.encoding == TextEncoding::utf16le) {
    bytes.insert(0, platform::kUtf16LeMark);
  }
  return bytes;
}

bool storeSource(platform::OutputFile& file, std::string_view utf8, const Listing& listing) {
  const SourceEncoding encoding = sourceEncodingOf(listing);
  const bool ok =
      encoding.asBuilt ? file.write(utf8) : file.write(encodedPiece(utf8, encoding, true));
  return file.close() && ok;
}

std::string sourceBytes(std::string utf8, const Listing& listing) {
  const SourceEncoding encoding = sourceEncodingOf(listing);
  if (encoding.asBuilt) return utf8;
  return encodedPiece(utf8, encoding, true);
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
  const TextEncoding encoding = platform::encodingOf(bytes);
  bytes = platform::withoutByteOrderMark(bytes);
  if (encoding == TextEncoding::utf16le) {
    const std::size_t size = std::min(bytes.size(), 2 * kFirstLine.size());
    return platform::utf16leToUtf8(bytes.substr(0, size)).starts_with(kFirstLine);
  }
  return bytes.starts_with(kFirstLine);
}

}  // namespace brisko::pipeline
