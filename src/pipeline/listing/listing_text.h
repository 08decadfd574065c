// The compiler's listing as text: read once into memory, decoded into UTF-8, and walked line by
// line without a table of lines.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/text_encoding.h"

namespace brisko::pipeline {

class Listing {
 public:
  // Nothing when the file cannot be opened or read.
  static std::optional<Listing> read(const platform::FileSystem& files, const std::string& path);
  // Decodes listing bytes (with their byte-order mark, if any).
  static Listing fromBytes(std::string bytes);

  // From the listing's byte-order mark.
  platform::TextEncoding encoding() const { return encoding_; }
  // True when the listing holds ASCII text only, so that sources made from it need no
  // conversion to the code page.
  bool asciiOnly() const { return asciiOnly_; }
  // The whole listing in UTF-8, without its byte-order mark.
  std::string_view text() const { return text_; }

 private:
  platform::TextEncoding encoding_ = platform::TextEncoding::ansi;
  bool asciiOnly_ = false;
  std::string text_;
};

namespace detail {

inline constexpr std::uint64_t kOnes = 0x0101010101010101u;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080u;

inline std::uint64_t wordAt(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// The first CR or LF at or after pos, or size. Both are below 0x0E, and a word holds a byte
// below 0x0E only when the test below says so (it may say so for other words too, whose bytes
// the byte loop then passes over).
inline std::size_t findLineEnd(const char* text, std::size_t pos, std::size_t size) {
  for (;;) {
    while (pos + 8 <= size) {
      const std::uint64_t word = wordAt(text + pos);
      if (((word - kOnes * 0x0E) & ~word & kHighBits) != 0) break;
      pos += 8;
    }
    const std::size_t stop = pos + 8 < size ? pos + 8 : size;
    for (; pos < stop; ++pos) {
      if (text[pos] == '\n' || text[pos] == '\r') return pos;
    }
    if (pos >= size) return size;
  }
}

}  // namespace detail

// Reads a listing forward, one line at a time: lines end with CR LF, LF or a lone CR, and a
// last line without an end still counts. Lines are found as they are read, so no table of
// lines is built.
class ListingCursor {
 public:
  explicit ListingCursor(const Listing& listing) : listing_(listing), text_(listing.text()) {}
  // The next line, without its end; false at the end of the listing.
  bool next(std::string_view& line) {
    const std::size_t size = text_.size();
    if (position_ >= size) return false;
    const char* const text = text_.data();
    const std::size_t end = detail::findLineEnd(text, position_, size);
    line = text_.substr(position_, end - position_);
    const bool crLf = end + 1 < size && text[end] == '\r' && text[end + 1] == '\n';
    position_ = end + (crLf ? 2 : 1);
    return true;
  }
  // Where the next line starts; seek() returns there.
  std::size_t position() const { return position_; }
  void seek(std::size_t position) { position_ = position; }
  const Listing& listing() const { return listing_; }

 private:
  const Listing& listing_;
  std::string_view text_;
  std::size_t position_ = 0;
};

}  // namespace brisko::pipeline
