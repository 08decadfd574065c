#include "pipeline/listing/listing_reader.h"

#include "pipeline/fasm_reserved_words.h"
#include "pipeline/listing/classic_layout.h"
#include "pipeline/listing/compiler_layouts.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

constexpr std::string_view kBssSection = "section '.bss' readable writeable";
constexpr std::string_view kDataSection = "section '.data' data readable writeable";

using platform::contains;
using platform::trimSpaces;

// "rb", "rw", "rd" or "rq" and a count: what reserves a cell of the bss.
bool isReservation(std::string_view text) {
  return text.size() > 3 && text[0] == 'r' && text[2] == ' ' &&
         (text[1] == 'b' || text[1] == 'w' || text[1] == 'd' || text[1] == 'q');
}

// A label of a DataSection, "l_<name>:", or "ll_<procedure>_<name>:" inside a procedure.
bool isDataSectionLabel(std::string_view line) {
  const std::string_view label = plainLabel(line);
  return (label.starts_with("l_") || label.starts_with("ll_")) && line.back() == ':';
}

DataLine dataLine(DataLineKind kind, std::string_view text, std::string_view label = {}) {
  DataLine line;
  line.kind = kind;
  line.text = text;
  line.label = label;
  return line;
}

// A data directive ("db", "dw", "dd", "dq", "du", "rb", "rw", "rd", "rq", "file") and what
// follows it.
bool isDataDirective(std::string_view text) {
  if (text.starts_with("file ")) return true;
  return text.size() > 3 && (text[0] == 'd' || text[0] == 'r') && text[2] == ' ' &&
         platform::contains("bwdqu", std::string_view(&text[1], 1));
}

// A name FASM takes as a label: letters, digits and "_.@?$" (and any character beyond ASCII),
// not beginning with a digit, and no reserved word.
bool isLabelName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '.' || c == '@' || c == '?' || c == '$' ||
                    (static_cast<unsigned char>(c) & 0x80) != 0;
    if (!ok) return false;
  }
  return !isFasmReservedWord(name);
}

// Reads the header's lines up to the first "public" line, which both families share.
class HeaderStart {
 public:
  explicit HeaderStart(ListingCursor& cursor) : cursor_(cursor) {}
  std::string_view line;

  bool read() { return cursor_.next(line); }
  bool readUntil(std::string_view marker) {
    while (trimSpaces(line) != marker) {
      if (!read()) return false;
    }
    return true;
  }

  // The header: eight lines of its own, the "; :System" and "; :Import" markers, the import
  // libraries ("; name" lines up to a line "; "), three lines with the format line, the extrn
  // lines (comments among them) up to the first "public" line.
  bool readUntilPublics(ListingHeader& header) {
    for (int n = 1; n <= 8; ++n) {
      if (!read()) return false;
    }
    if (!readUntil("; :System") || !readUntil("; :Import") || !read()) return false;
    while (trimSpaces(line) != ";") {
      // Blanks inside a name are kept, those after it (real listings have them) are not.
      std::string_view library = dropCharacters(line, 2);
      while (!library.empty() && library.back() == ' ') library.remove_suffix(1);
      header.importLibraries.push_back(library);
      if (!read()) return false;
    }
    for (int n = 1; n <= 3; ++n) {
      if (!read()) return false;
      if (trimSpaces(line) == "format MS64 COFF") header.target = Target::x64();
    }
    while (!line.starts_with("public")) {
      if (!line.starts_with(";")) addExternal(header, trimSpaces(dropCharacters(line, 6)));
      if (!read()) return false;
    }
    return true;
  }

 private:
  // "name", or "'name' as label" (also in double quotes) for a name FASM could not take as a
  // label; a quote inside the name is doubled.
  static void addExternal(ListingHeader& header, std::string_view text) {
    if (!text.empty() && (text.front() == '\'' || text.front() == '"')) {
      const char quote = text.front();
      std::size_t end = 1;
      while (end < text.size() &&
             !(text[end] == quote && (end + 1 >= text.size() || text[end + 1] != quote))) {
        end += text[end] == quote ? 2 : 1;
      }
      const std::string_view rest = trimSpaces(text.substr(std::min(end + 1, text.size())));
      if (end < text.size() && rest.starts_with("as ")) {
        header.externals.push_back({text.substr(0, end + 1), trimSpaces(rest.substr(3))});
        return;
      }
    }
    header.externals.push_back({text, text});
  }

  ListingCursor& cursor_;
};

}  // namespace

std::string_view dropCharacters(std::string_view text, std::size_t n) {
  std::size_t pos = 0;
  for (std::size_t dropped = 0; dropped < n && pos < text.size(); ++dropped) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  }
  return text.substr(pos);
}

std::string_view plainLabel(std::string_view name) {
  static constexpr std::string_view kPrefixes[] = {"v_", "a_",  "t_", "m_", "s_",
                                                   "p_", "so_", "l_", "ll_"};
  const auto prefixed = [](std::string_view text) {
    for (std::string_view prefix : kPrefixes) {
      if (text.starts_with(prefix)) return true;
    }
    return false;
  };
  if (prefixed(name)) return name;
  const std::size_t dot = name.find('.');
  if (dot == 0 || dot == std::string_view::npos || !prefixed(name.substr(dot + 1))) return name;
  for (const char c : name.substr(0, dot)) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || (static_cast<unsigned char>(c) & 0x80) != 0;
    if (!word) return name;
  }
  return name.substr(dot + 1);
}

bool isSectionLine(std::string_view line) {
  return line.starts_with("section");
}

bool isCodeSectionLine(std::string_view line) {
  return isSectionLine(line) && contains(line, " code");
}

ProcedureKeyword procedureKeywordOf(std::string_view lowerCaseWord) {
  if (lowerCaseWord == "procedure") return ProcedureKeyword::procedure;
  if (lowerCaseWord == "procedurec") return ProcedureKeyword::procedureC;
  if (lowerCaseWord == "proceduredll") return ProcedureKeyword::procedureDll;
  if (lowerCaseWord == "procedurecdll") return ProcedureKeyword::procedureCDll;
  return ProcedureKeyword::none;
}

bool declaresProcedure(std::string_view line) {
  if (!line.starts_with("; ")) return false;
  const std::string_view text = trimSpaces(line.substr(2));
  std::size_t end = 0;
  while (end < text.size() && text[end] != ' ' && text[end] != '.') ++end;
  const std::string keyword = platform::asciiLowerCase(std::string(text.substr(0, end)));
  return procedureKeywordOf(keyword) != ProcedureKeyword::none;
}

bool isProcedureLabelLine(std::string_view line) {
  line = trimSpaces(line);
  return line.starts_with("_Procedure") && line.size() > 11 && line.back() == ':';
}

// The classic layout's program follows the marker "; :"; in the compilers' layouts the first
// source line (or section line) after the code section's line starts it. Whichever comes first
// after the header's externals tells the family.
LayoutFamily ListingReader::familyOf(const Listing& listing) {
  ListingCursor cursor(listing);
  HeaderStart header(cursor);
  ListingHeader ignored;
  if (!header.readUntilPublics(ignored)) return LayoutFamily::classic;
  bool inCode = false;
  for (bool first = true;; first = false) {
    if (!first && !header.read()) return LayoutFamily::classic;
    const std::string_view line = trimSpaces(header.line);
    if (line == "; :") return LayoutFamily::classic;
    if (!inCode) {
      inCode = isCodeSectionLine(header.line);
    } else if (isSectionLine(header.line) || (line.starts_with("; ") && line.size() > 2)) {
      return LayoutFamily::compilers;
    }
  }
}

std::unique_ptr<ListingReader> ListingReader::open(const Listing& listing, LayoutFamily family) {
  if (family == LayoutFamily::compilers) return std::make_unique<CompilerLayoutReader>(listing);
  return std::make_unique<ClassicLayoutReader>(listing);
}

bool ListingReader::read() {
  lineStart_ = cursor_.position();
  if (!cursor_.next(line_)) ended_ = true;
  return !ended_;
}

bool ListingReader::readUntil(std::string_view marker) {
  while (trimSpaces(line_) != marker) {
    if (!read()) return false;
  }
  return true;
}

bool ListingReader::readHeader(ListingHeader& header) {
  HeaderStart start(cursor_);
  if (!start.readUntilPublics(header)) {
    ended_ = true;
    return false;
  }
  line_ = start.line;
  return findProgramStart(header);
}

bool ListingReader::seekProcedure(std::string_view label) {
  bool afterMacro = false;
  for (;;) {
    afterMacro = trimSpaces(line_).starts_with("macro MP");
    if (!read()) return false;
    const std::string_view line = trimSpaces(line_);
    if (line.size() == label.size() + 1 && line.starts_with(label) && line.back() == ':') break;
  }
  macroProcedure_ = afterMacro;
  return true;
}

bool ListingReader::atProcedureSource() {
  if (!declaresProcedure(line_)) return false;
  const std::size_t position = cursor_.position();
  std::string_view next;
  const bool opens = cursor_.next(next) &&
                     (trimSpaces(next).starts_with("macro MP") || isProcedureLabelLine(next));
  cursor_.seek(position);
  return opens;
}

bool ListingReader::nextProcedureLine(std::string_view& line) {
  if (macroProcedure_) {
    if (!read()) return false;
    line = trimSpaces(line_);
    return line != "}";
  }
  const std::size_t position = cursor_.position();
  if (!read()) {
    ended_ = false;
    return false;
  }
  if (isSectionLine(line_) || atProcedureSource()) {
    cursor_.seek(position);
    return false;
  }
  line = trimSpaces(line_);
  return true;
}

void ListingReader::hold(std::vector<DataLine>& lines, std::string_view line) {
  line = trimSpaces(line);
  if (line.empty() || line.starts_with(";")) return;
  if (isDataDirective(line)) {
    const bool afterHeld = !lines.empty() && (lines.back().kind == DataLineKind::heldLabel ||
                                              lines.back().kind == DataLineKind::heldValues);
    if (holding_ && afterHeld) lines.push_back(dataLine(DataLineKind::heldValues, line));
    return;
  }
  holding_ = false;
  const std::size_t end = std::min(line.find_first_of(": "), line.size());
  const std::string_view name = line.substr(0, end);
  if (!isLabelName(name) || isRuntimeItem(name)) return;
  const bool colon = end < line.size() && line[end] == ':';
  const std::string_view rest = trimSpaces(line.substr(std::min(end + 1, line.size())));
  if (!(colon && rest.empty()) && !isDataDirective(rest)) return;
  DataLine held = dataLine(DataLineKind::heldLabel, line, name);
  held.colon = colon;
  held.values = rest;
  lines.push_back(held);
  holding_ = true;
}

std::string_view ListingReader::nextDataLine() {
  std::string_view line;
  if (!cursor_.next(line)) throw ListingEndedEarly{};
  return line;
}

std::string_view ListingReader::nextBssLine() {
  std::string_view line;
  if (cursor_.next(line)) return trimSpaces(line);
  if (mayEndInBss()) return kDataSection;
  throw ListingEndedEarly{};
}

std::vector<DataLine> ListingReader::readData(std::size_t dataStart) {
  std::vector<DataLine> lines;
  cursor_.seek(dataStart);
  std::string_view first;
  cursor_.next(first);
  lines.push_back(dataLine(DataLineKind::firstSection, first));
  readFirstData(lines);
  readBss(lines);
  readDataSection(lines);
  return lines;
}

// The first data section, up to the bss: the string table, float constants, structure blocks
// and labelled values.
void ListingReader::readFirstData(std::vector<DataLine>& lines) {
  const auto add = [&](DataLineKind kind, std::string_view text, std::string_view label) {
    lines.push_back(dataLine(kind, text, label));
  };
  const auto labelBefore = [](std::string_view line, char end) {
    return line.substr(0, std::min(line.find(end), line.size()));
  };
  std::string_view line = nextDataLine();
  for (;;) {
    if (trimSpaces(line) == "_SYS_StaticStringStart:") {
      // The table's end line itself is not taken; it is only tested for the end of the data.
      line = nextDataLine();
      while (line.starts_with("_S") && contains(line, ":") &&
             !line.starts_with("_SYS_StaticStringEnd")) {
        add(DataLineKind::stringConstant, line, labelBefore(line, ':'));
        line = nextDataLine();
      }
      add(DataLineKind::alignment, {}, {});
    } else if ((line.starts_with("F") || line.starts_with("D")) &&
               (contains(line, ": dd ") || contains(line, ": dq "))) {
      add(DataLineKind::floatConstant, line, labelBefore(line, ':'));
    } else if (plainLabel(line).starts_with("s_") && line.find(':') == line.size() - 1) {
      // A structure block: its label and value lines up to an alignment or section line, which
      // is not taken (it is only tested for the end of the data).
      add(DataLineKind::alignment, {}, {});
      while (!line.starts_with("pb_align ") && !line.starts_with("align ") &&
             !line.starts_with("section")) {
        if (contains(line, "  dd ") || contains(line, "  dq ")) {
          add(DataLineKind::structureValue, line, {});
        } else {
          add(DataLineKind::structureLabel, line, labelBefore(line, ':'));
        }
        line = nextDataLine();
      }
      add(DataLineKind::alignment, {}, {});
    } else if (plainLabel(line).starts_with("s_") &&
               (contains(line, " db ") || contains(line, " dw ") || contains(line, " dd ") ||
                contains(line, " dq "))) {
      // The label ends at its ':' or at the blank before the directive.
      const std::size_t end = std::min(line.find_first_of(": "), line.size());
      DataLine labelled = dataLine(DataLineKind::labelledData, line, line.substr(0, end));
      labelled.colon = end < line.size() && line[end] == ':';
      labelled.values = trimSpaces(line.substr(std::min(end + 1, line.size())));
      lines.push_back(labelled);
    } else if (const std::size_t end = line.find_first_of(": ");
               end != 0 && end != std::string_view::npos) {
      const std::string_view name = line.substr(0, end);
      const std::string_view rest = line.substr(end + (line[end] == ':' ? 1 : 0));
      if (rest.starts_with(" d") && rest.size() >= 5 && rest[3] == ' ' && isValueDefinition(name)) {
        DataLine value = dataLine(DataLineKind::valueDefinition, line, name);
        value.values = trimSpaces(line.substr(end + 1));
        value.colon = line[end] == ':';
        lines.push_back(value);
      }
    }
    if (trimSpaces(line).starts_with("section '.bss'")) break;
    line = nextDataLine();
  }
  add(DataLineKind::bssStart, kBssSection, {});
}

// The bss, up to the DataSection's section line: the program's cells and arrays. Code that
// stands after the bss (the procedures of some layouts) is none of the data's business.
void ListingReader::readBss(std::vector<DataLine>& lines) {
  const bool everyItem = takesEveryBssItem();
  std::string_view line = nextBssLine();
  while (!line.starts_with("section '.data'")) {
    bool haveNext = false;
    if (isCodeSectionLine(line)) {
      do {
        line = nextBssLine();
      } while (!line.starts_with("section"));
      continue;
    }
    const std::size_t nameEnd = std::min(line.find_first_of(": "), line.size());
    const std::string_view name = line.substr(0, nameEnd);
    if (line.starts_with(";")) {
      // a comment
    } else if (name == "PB_DataPointer" || name == "PB_ExitCode") {
      DataLine cell = dataLine(DataLineKind::cell, line, name);
      cell.exitCodeCell = name == "PB_ExitCode";
      lines.push_back(cell);
    } else if (isRuntimeItem(name)) {
      // the program's own
    } else if (nameEnd + 1 == line.size() && line.back() == ':' &&
               (everyItem || plainLabel(name).starts_with("a_"))) {
      lines.push_back(dataLine(DataLineKind::arrayLabel, line, name));
      line = nextBssLine();
      while (isReservation(line)) {
        lines.push_back(dataLine(DataLineKind::reservation, line));
        line = nextBssLine();
      }
      haveNext = true;
    } else if (const std::string_view plain = plainLabel(name);
               plain.starts_with("v_") || plain.starts_with("t_") ||
               (everyItem && nameEnd < line.size() &&
                isReservation(trimSpaces(line.substr(nameEnd + 1))))) {
      lines.push_back(dataLine(DataLineKind::cell, line, name));
    } else if ((plain.starts_with("s_") || plain.starts_with("p_") || plain.starts_with("m_") ||
                plain.starts_with("so_")) &&
               (contains(line, " rb ") || contains(line, " rw ") || contains(line, " rd ") ||
                contains(line, " rq "))) {
      lines.push_back(dataLine(DataLineKind::cell, line, name));
    } else {
      hold(lines, line);
    }
    if (!haveNext) line = nextBssLine();
  }
  lines.push_back(dataLine(DataLineKind::dataSectionStart, kDataSection));
}

// The DataSection's contents: labels and their data.
void ListingReader::readDataSection(std::vector<DataLine>& lines) {
  const bool alignments = takesEveryBssItem();
  std::string_view line;
  while (cursor_.next(line)) {
    line = trimSpaces(line);
    if (isDataSectionLabel(line)) {
      lines.push_back(dataLine(DataLineKind::dataLabel, line, line.substr(0, line.size() - 1)));
    } else if (line.starts_with("db ") || line.starts_with("dw ") || line.starts_with("file ") ||
               (alignments && line.starts_with("align "))) {
      lines.push_back(dataLine(DataLineKind::rawData, line));
    } else if (line.starts_with("dd ") || line.starts_with("dq ")) {
      lines.push_back(dataLine(DataLineKind::dataValues, line));
    } else {
      hold(lines, line);
    }
  }
}

}  // namespace brisko::pipeline
