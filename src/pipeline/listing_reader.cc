#include "pipeline/listing_reader.h"

#include "app/configuration.h"
#include "platform/text.h"

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

bool isSection(std::string_view line) {
  return line.starts_with("section");
}

bool isCodeSection(std::string_view line) {
  return isSection(line) && line.find(" code") != std::string_view::npos;
}

// The label line "name:" of a procedure's code.
bool isProcedureLabel(std::string_view line) {
  line = platform::trimSpaces(line);
  return line.starts_with("_Procedure") && line.size() > 11 && line.back() == ':';
}

// "; Procedure...", "; ProcedureC...", "; ProcedureDLL...", "; ProcedureCDLL..." (any case),
// the keyword followed by a blank, a "." or nothing.
bool declaresProcedure(std::string_view line) {
  if (!line.starts_with("; ")) return false;
  const std::string_view text = platform::trimSpaces(line.substr(2));
  std::size_t end = 0;
  while (end < text.size() && text[end] != ' ' && text[end] != '.') ++end;
  const std::string keyword = platform::asciiLowerCase(std::string(text.substr(0, end)));
  return keyword == "procedure" || keyword == "procedurec" || keyword == "proceduredll" ||
         keyword == "procedurecdll";
}

}  // namespace

void ListingReader::noteRuntimeItem(std::string_view line) {
  if (line.starts_with("pb_public ")) {
    const std::string_view name = platform::trimSpaces(line.substr(10));
    runtimeItems_.emplace_back(name);
    runtimeItems_.push_back("_" + std::string(name));
    return;
  }
  const std::string_view name = line.substr(0, std::min(line.find_first_of(": "), line.size()));
  if (name == "PB_DataPointer" || name == "PB_ExitCode" || name.size() == line.size()) return;
  if (isRuntimeItemName(name)) runtimeItems_.emplace_back(name);
}

std::string_view ListingReader::programLine() const {
  return platform::trimSpaces(line_);
}

bool ListingReader::read() {
  lineStart_ = cursor_.position();
  if (!cursor_.next(line_)) ended_ = true;
  return !ended_;
}

bool ListingReader::readUntil(std::string_view marker) {
  while (platform::trimSpaces(line_) != marker) {
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
  while (platform::trimSpaces(line_) != ";") {
    // Blanks inside a name are kept, those after it (real listings have them) are not.
    std::string_view library = dropCharacters(line_, 2);
    while (!library.empty() && library.back() == ' ') library.remove_suffix(1);
    header.importLibraries.push_back(library);
    if (!read()) return false;
  }
  for (int line = 1; line <= 3; ++line) {
    if (!read()) return false;
    if (platform::trimSpaces(line_) == "format MS64 COFF") header.x64 = true;
  }
  while (!line_.starts_with("public")) {
    if (!line_.starts_with(";"))
      header.externals.push_back(platform::trimSpaces(dropCharacters(line_, 6)));
    if (!read()) return false;
  }
  return findProgramStart(header);
}

// The classic layout's program follows the marker "; :". The compilers' layouts go on with
// macro definitions, the start label's "public" line and the code section's start-up lines;
// the program starts with the first source line (or section line) after the code section's.
bool ListingReader::findProgramStart(ListingHeader& header) {
  bool inCode = false;
  bool inMacro = false;  // the lines of a macro's definition ("{" to "}") declare nothing
  for (bool first = true;; first = false) {
    // The line that ended the externals is the first public line.
    if (!first && !read()) return false;
    const std::string_view line = platform::trimSpaces(line_);
    if (line == "; :") {
      layout_ = header.layout = ListingLayout::classic;
      return true;
    }
    if (!inCode) {
      inCode = isCodeSection(line_);
      if (line == "{" || line == "}") {
        inMacro = line == "{";
      } else if (inMacro) {
        // a line of a macro's body
      } else if (line.starts_with("public ")) {
        header.publicNames.push_back(platform::trimSpaces(line.substr(7)));
      } else if (line.starts_with("define ")) {
        header.defines.push_back(line);
      }
    } else if (isSection(line_) || (line.starts_with("; ") && line.size() > 2)) {
      layout_ = header.layout = ListingLayout::compiler;
      pending_ = true;
      return true;
    }
  }
}

bool ListingReader::atProcedureSource() {
  if (!declaresProcedure(line_)) return false;
  const std::size_t position = cursor_.position();
  std::string_view next;
  const bool opens = cursor_.next(next) &&
                     (platform::trimSpaces(next).starts_with("macro MP") || isProcedureLabel(next));
  cursor_.seek(position);
  return opens;
}

// Source lines are the compiler's comments "; text"; the program runs up to the first
// "section" line.
bool ListingReader::nextProgramLine(std::string_view& source) {
  if (layout_ == ListingLayout::classic) {
    if (!pending_ && !read()) return false;
    pending_ = false;
    if (line_.starts_with("section")) {
      dataStart_ = lineStart_;
      return false;
    }
    if (inProcedure_ && platform::trimSpaces(line_) == "}") inProcedure_ = false;
  } else {
    for (;;) {
      if (!pending_ && !read()) {
        ended_ = dataStart_ == 0;
        return false;
      }
      pending_ = false;
      if (isSection(line_)) {
        inCode_ = isCodeSection(line_);
        inProcedure_ = false;
        if (!inCode_ && dataStart_ == 0) dataStart_ = lineStart_;
        continue;
      }
      if (inCode_) break;
      noteRuntimeItem(platform::trimSpaces(line_));
    }
    // A macro's code ends at a line "}"; other code runs on to the next procedure or section.
    if (inProcedure_ && macroProcedure_ && platform::trimSpaces(line_) == "}") inProcedure_ = false;
  }
  source = line_.starts_with("; ") ? platform::trimSpaces(line_.substr(2)) : std::string_view();
  return true;
}

// A procedure's code opens with a "macro MP" line right after its source line, followed by the
// line with its label; in the compilers' layouts it may open with the label line itself.
bool ListingReader::procedureLabel(std::string_view& label) {
  if (!read()) return false;
  if (layout_ == ListingLayout::compiler && isProcedureLabel(line_)) {
    label = withoutLastCharacter(platform::trimSpaces(line_));
    inProcedure_ = true;
    macroProcedure_ = false;
    return true;
  }
  if (!line_.starts_with("macro MP")) {
    pending_ = true;
    return false;
  }
  if (!read()) return false;
  label = withoutLastCharacter(platform::trimSpaces(line_));
  inProcedure_ = true;
  macroProcedure_ = true;
  return true;
}

bool ListingReader::seekProcedure(std::string_view label) {
  bool afterMacro = false;
  for (;;) {
    afterMacro = platform::trimSpaces(line_).starts_with("macro MP");
    if (!read()) return false;
    const std::string_view line = platform::trimSpaces(line_);
    if (line.size() == label.size() + 1 && line.starts_with(label) && line.back() == ':') break;
  }
  macroProcedure_ = afterMacro;
  return true;
}

// A macro's code ends at a line "}"; other code at the next procedure's source line or section
// line, which stays for the next seek.
bool ListingReader::nextProcedureLine(std::string_view& line) {
  if (macroProcedure_) {
    if (!read()) return false;
    line = platform::trimSpaces(line_);
    return line != "}";
  }
  const std::size_t position = cursor_.position();
  if (!read()) {
    ended_ = false;
    return false;
  }
  if (isSection(line_) || atProcedureSource()) {
    cursor_.seek(position);
    return false;
  }
  line = platform::trimSpaces(line_);
  return true;
}

}  // namespace brisko::pipeline
