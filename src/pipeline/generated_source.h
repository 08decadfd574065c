// The assembly sources brisko generates: built in memory in UTF-8, opened by the header block
// that marks them as generated, and stored in the listing's encoding with one write each.
#pragma once

#include <string>
#include <string_view>

#include "pipeline/listing/listing_text.h"
#include "platform/file_system.h"
#include "platform/system.h"

namespace brisko::pipeline {

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
  std::string& raw() { return text_; }
  // Empties the text but keeps its memory for the next source.
  void clear() { text_.clear(); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// The comment line with the maker's address that opens generated sources and the wrapper.
inline constexpr const char* kMakerAddressLine = ";(https://brisko.example.org)";

// The block that opens every generated assembly source: the maker line, the maker's address,
// the local date and time, a rule and an empty line.
std::string headerBlock(const platform::LocalTime& now);
inline void writeHeaderBlock(SourceText& source, const platform::LocalTime& now) {
  source.append(headerBlock(now));
}

// True when the bytes of a file are a source this program generated: in any of the encodings
// it writes sources in, they begin with the first line of the header block.
bool isGeneratedSource(std::string_view bytes);

// "dd:mm:yyyy" and "hh:mm" of a local time.
std::string formatDate(const platform::LocalTime& time);
std::string formatTime(const platform::LocalTime& time);

// How the sources of a listing are stored: as they are built (an ASCII-only ANSI listing), or
// converted to the listing's encoding.
struct SourceEncoding {
  bool asBuilt = true;
  platform::TextEncoding encoding = platform::TextEncoding::ansi;
};
SourceEncoding sourceEncodingOf(const Listing& listing);
// The bytes of a piece of a generated source, cut at a line end; the first piece of a UTF-16
// source starts with the FF FE mark.
std::string encodedPiece(std::string_view utf8, SourceEncoding encoding, bool first);

// Stores a whole generated source with one write into a file already created. False when
// the bytes could not all be stored.
bool storeSource(platform::OutputFile& file, std::string_view utf8, const Listing& listing);
// The bytes of a generated source in the listing's encoding; the text itself when it needs no
// conversion. UTF-16 sources start with the FF FE mark; UTF-8 sources carry no mark, as FASM
// refuses a source that begins with one.
std::string sourceBytes(std::string utf8, const Listing& listing);

}  // namespace brisko::pipeline
