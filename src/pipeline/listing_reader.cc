#include "pipeline/listing_reader.h"

#include "app/configuration.h"

namespace brisko::pipeline {
namespace {

// The text after its first n characters (whole UTF-8 sequences).
std::string_view dropCharacters(std::string_view text, std::size_t n) {
  std::size_t pos = 0;
  for (std::size_t dropped = 0; dropped < n && pos < text.size(); ++dropped) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  }
  return text.substr(pos);
}

}  // namespace

bool ListingReader::read() {
  lineStart_ = cursor_.position();
  if (!cursor_.next(line_)) ended_ = true;
  return !ended_;
}

bool ListingReader::readUntil(std::string_view marker) {
  while (line_ != marker) {
    if (!read()) return false;
  }
  return true;
}

// The header: eight lines of its own, the "; :System" and "; :Import" markers, the import
// libraries ("; name" lines up to a line "; "), three lines, the extrn lines (comments among
// them) up to the first "public" line, and the marker "; :" that the program follows.
bool ListingReader::readHeader(ListingHeader& header) {
  for (int line = 1; line <= 8; ++line) {
    if (!read()) return false;
  }
  if (!readUntil("; :System") || !readUntil("; :Import") || !read()) return false;
  while (line_ != "; ") {
    header.importLibraries.push_back(dropCharacters(line_, 2));
    if (!read()) return false;
  }
  for (int line = 1; line <= 3; ++line) {
    if (!read()) return false;
  }
  while (!startsWith(line_, "public")) {
    if (!startsWith(line_, ";"))
      header.externals.push_back(app::trimSpaces(dropCharacters(line_, 6)));
    if (!read()) return false;
  }
  return readUntil("; :");
}

// Source lines are the compiler's comments "; text"; the program runs up to the first
// "section" line.
bool ListingReader::nextProgramLine(std::string_view& source) {
  if (!pending_ && !read()) return false;
  pending_ = false;
  if (startsWith(line_, "section")) {
    dataStart_ = lineStart_;
    return false;
  }
  source = startsWith(line_, "; ") ? app::trimSpaces(line_.substr(2)) : std::string_view();
  return true;
}

// A procedure's code opens with a "macro MP" line right after its source line, followed by the
// line with its label.
bool ListingReader::procedureLabel(std::string_view& label) {
  if (!read()) return false;
  if (!startsWith(line_, "macro MP")) {
    pending_ = true;
    return false;
  }
  if (!read()) return false;
  label = withoutLastCharacter(line_);
  return true;
}

bool ListingReader::seekProcedure(std::string_view label) {
  do {
    if (!read()) return false;
  } while (!(line_.size() == label.size() + 1 && line_.starts_with(label) && line_.back() == ':'));
  return true;
}

// The code ends at a line "}".
bool ListingReader::nextProcedureLine(std::string_view& line) {
  if (!read()) return false;
  line = app::trimSpaces(line_);
  return line != "}";
}

}  // namespace brisko::pipeline
