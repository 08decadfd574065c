// Reading the compiler's listing and writing the assembly sources made from it.
//
// The listing is read once into memory and decoded into UTF-8 lines; the sources are built
// in memory in UTF-8 and encoded as the listing was when they are stored, each with one
// write.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/system.h"

namespace brisko::pipeline {

// The listing's text encoding, from its byte-order mark: FF FE is UTF-16 little endian,
// EF BB BF is UTF-8, anything else is the system's ANSI code page.
enum class TextEncoding { ansi, utf8, utf16le };

TextEncoding detectEncoding(std::string_view bytes);

class Listing {
 public:
  // Nothing when the file cannot be opened or read.
  static std::optional<Listing> read(const platform::FileSystem& files, const std::string& path);
  // Decodes listing bytes (with their byte-order mark, if any).
  static Listing fromBytes(std::string bytes);

  TextEncoding encoding() const { return encoding_; }
  // True when the listing holds ASCII text only, so that sources made from it need no
  // conversion to the code page.
  bool asciiOnly() const { return asciiOnly_; }
  std::size_t lineCount() const { return lines_.size(); }
  std::string_view line(std::size_t index) const {
    return std::string_view(text_).substr(lines_[index].start, lines_[index].length);
  }

 private:
  // Positions rather than views, so that moving a Listing (whose short text may live inside
  // the string object itself) keeps its lines valid.
  struct LineSpan {
    std::size_t start;
    std::size_t length;
  };
  TextEncoding encoding_ = TextEncoding::ansi;
  bool asciiOnly_ = false;
  std::string text_;             // the whole listing in UTF-8
  std::vector<LineSpan> lines_;  // each line without its line end
};

// Reads a listing forward, one line at a time.
class ListingCursor {
 public:
  explicit ListingCursor(const Listing& listing) : listing_(listing) {}
  // The next line; false at the end of the listing.
  bool next(std::string_view& line) {
    if (position_ >= listing_.lineCount()) return false;
    line = listing_.line(position_++);
    return true;
  }
  bool atEnd() const { return position_ >= listing_.lineCount(); }
  std::size_t position() const { return position_; }
  const Listing& listing() const { return listing_; }

 private:
  const Listing& listing_;
  std::size_t position_ = 0;
};

// An assembly source built in memory. Lines end with CR LF.
class SourceText {
 public:
  void line(std::string_view text) {
    text_.append(text);
    text_.append("\r\n");
  }
  void append(std::string_view text) { text_.append(text); }
  void append(char c) { text_ += c; }
  void endLine() { text_.append("\r\n"); }
  // Empties the text but keeps its memory for the next source.
  void clear() { text_.clear(); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// The bytes of a generated source in the listing's encoding: UTF-16 sources start with the
// FF FE mark; UTF-8 sources carry no mark, as FASM refuses a source that begins with one.
std::string encodeSource(std::string_view utf8, TextEncoding encoding);

// The block that opens every generated assembly source: the maker line, the maker's address,
// the local date and time, a rule and an empty line.
std::string headerBlock(const platform::LocalTime& now);
inline void writeHeaderBlock(SourceText& source, const platform::LocalTime& now) {
  source.append(headerBlock(now));
}

// "dd:mm:yyyy" and "hh:mm" of a local time.
std::string formatDate(const platform::LocalTime& time);
std::string formatTime(const platform::LocalTime& time);

// Stores a whole generated source with one write into a file already created. False when
// the bytes could not all be stored.
bool storeSource(platform::OutputFile& file, std::string_view utf8, const Listing& listing);

// Drops the last character (a whole UTF-8 sequence) of a text.
std::string_view withoutLastCharacter(std::string_view text);
// Removes leading and trailing U+0020 characters only.
inline std::string_view trimSpaces(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && text[first] == ' ') ++first;
  while (last > first && text[last - 1] == ' ') --last;
  return text.substr(first, last - first);
}
inline bool startsWith(std::string_view text, std::string_view prefix) {
  return text.starts_with(prefix);
}

}  // namespace brisko::pipeline
