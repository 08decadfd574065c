#include "pipeline/data_sections.h"

#include <unordered_set>
#include <vector>

#include "language/text_ids.h"
#include "pipeline/split_tokens.h"
#include "pipeline/symbol_names.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

constexpr std::string_view kBssSection = "section '.bss' readable writeable";
constexpr std::string_view kDataSection = "section '.data' data readable writeable";

std::string indented(std::string_view line) {
  std::string text("  ");
  text += line;
  return text;
}

// "rb", "rw", "rd" or "rq" and a count: what reserves a cell of the bss.
bool isReservation(std::string_view text) {
  return text.size() > 3 && text[0] == 'r' && text[2] == ' ' &&
         (text[1] == 'b' || text[1] == 'w' || text[1] == 'd' || text[1] == 'q');
}

// A label of a DataSection, "l_<name>:", or "ll_<procedure>_<name>:" inside a procedure.
bool isDataLabel(std::string_view line) {
  return (line.starts_with("l_") || line.starts_with("ll_")) && line.back() == ':';
}

struct ListingEndedEarly {};

class DataSectionsWriter {
 public:
  DataSectionsWriter(Conversion& conversion, ListingCursor& cursor)
      : conversion_(conversion),
        cursor_(cursor),
        library_(conversion.libraryOutput()),
        base_(conversion.symbolBase()),
        compilerLayout_(conversion.compilerLayout),
        alignLine_(conversion.x64 ? "align 8" : "align 4") {
    if (library_) {
      for (const SymbolRecord& record : conversion.symbols) {
        if (isProcedureKind(record.kind) || isDataKind(record.kind)) {
          takenNames_.insert(record.outputName);
        }
      }
    }
  }

  void write(std::string_view sectionLine) {
    writeHeaderBlock(out_, conversion_.services.clock.now());
    if (library_) {
      out_.line(conversion_.formatLine());
      out_.line("");
    }
    writeSection(sectionLine);
    dataPass();
    bssPass();
    finalPass();
    if (compilerLayout_) endOfProgram();
    declarations();
  }

  const std::string& text() const { return out_.text(); }

 private:
  std::string_view read() {
    std::string_view line;
    if (!cursor_.next(line)) throw ListingEndedEarly{};
    return line;
  }

  // A section line; x64 sections are aligned for the 8-byte cells' "align 8" lines.
  void writeSection(std::string_view line) {
    if (conversion_.x64 && line.find(" align ") == std::string_view::npos) {
      out_.line(std::string(platform::trimSpaces(line)) + " align 8");
    } else {
      out_.line(line);
    }
  }

  // The next line of the bss. The real compilers' listings may end there (no DataSection
  // follows): the end then stands for the data section line that would open one.
  std::string_view readBss() {
    std::string_view line;
    if (cursor_.next(line)) return line;
    if (compilerLayout_) return kDataSection;
    throw ListingEndedEarly{};
  }

  // Library output: records the label's file-unique name and returns it. String constants
  // take the base name directly in front, other labels the base name and "_". A name that a
  // procedure or an exported item already carries (an internal "Procedure F1" beside the
  // float constant F1) is not taken twice: the data label, which nothing outside sees, gets
  // "_2", "_3", ... appended.
  std::string uniqueName(std::string_view label, bool stringConstant) {
    SymbolRecord record;
    record.kind = SymbolKind::localData;
    record.asmName = label;
    record.outputName =
        freeName(base_ + (stringConstant ? "" : "_") + std::string(label),
                 [&](const std::string& name) { return takenNames_.count(name) != 0; });
    takenNames_.insert(record.outputName);
    return conversion_.symbols.append(std::move(record)).outputName;
  }

  // The line with the label that ends at labelEnd renamed (library output only).
  std::string renamed(std::string_view line, std::size_t labelEnd, bool stringConstant = false) {
    if (!library_) return std::string(line);
    if (labelEnd == std::string_view::npos) labelEnd = line.size();
    return uniqueName(line.substr(0, labelEnd), stringConstant) +
           std::string(line.substr(labelEnd));
  }

  void dataPass() {
    std::string_view line = read();
    for (;;) {
      if (platform::trimSpaces(line) == "_SYS_StaticStringStart:") {
        line = read();
        while (line.starts_with("_S") && platform::contains(line, ":") &&
               !line.starts_with("_SYS_StaticStringEnd")) {
          out_.line(renamed(line, line.find(':'), true));
          line = read();
        }
        out_.line(alignLine_);
      } else if ((line.starts_with("F") || line.starts_with("D")) &&
                 (platform::contains(line, ": dd ") || platform::contains(line, ": dq "))) {
        out_.line(renamed(line, line.find(':')));
      } else if (line.starts_with("s_") && !line.empty() && line.find(':') == line.size() - 1) {
        out_.line(alignLine_);
        while (!line.starts_with("pb_align ") && !line.starts_with("align ") &&
               !line.starts_with("section")) {
          out_.line(platform::contains(line, "  dd ") || platform::contains(line, "  dq ")
                        ? std::string(line)
                        : renamed(line, line.find(':')));
          line = read();
        }
        out_.line(alignLine_);
      } else if (line.starts_with("s_") &&
                 (platform::contains(line, " db ") || platform::contains(line, " dw ") ||
                  platform::contains(line, " dd ") || platform::contains(line, " dq "))) {
        out_.line(renamed(line, line.find(' ')));
      } else if (isValueDefinition(line)) {
        // A cell with its value (a procedure's static, a module's data), which may name a
        // string constant; the runtime's own stay the program's.
        const std::size_t end = line.find_first_of(": ");
        out_.append(renamed(line.substr(0, end), std::string_view::npos));
        out_.append(line[end] == ':' ? ": " : " ");
        appendRewritten(platform::trimSpaces(line.substr(end + 1)));
        out_.endLine();
      }
      if (platform::trimSpaces(line).starts_with("section '.bss'")) break;
      line = read();
    }
    out_.line(alignLine_);
    out_.line("");
    writeSection(kBssSection);
  }

  // "<name> d? <values>" or "<name>: d? <values>": in every layout a procedure's static, in
  // the compilers' layouts any item but the runtime's.
  bool isValueDefinition(std::string_view line) const {
    const std::size_t end = line.find_first_of(": ");
    if (end == 0 || end == std::string_view::npos) return false;
    const std::string_view name = line.substr(0, end);
    std::string_view rest = line.substr(end + (line[end] == ':' ? 1 : 0));
    if (!rest.starts_with(" d") || rest.size() < 5 || rest[3] != ' ') return false;
    if (name.starts_with("so_")) return true;
    return compilerLayout_ && !isRuntimeItemName(name) && !name.starts_with("_S");
  }

  void bssPass() {
    std::string_view line = platform::trimSpaces(readBss());
    while (!line.starts_with("section '.data'")) {
      conversion_.poll();
      bool haveNext = false;
      if (line.starts_with("section") && platform::contains(line, " code")) {
        // Procedures after the bss (5.31): none of the data's business.
        do {
          line = platform::trimSpaces(readBss());
        } while (!line.starts_with("section"));
        continue;
      }
      const std::size_t nameEnd = std::min(line.find_first_of(": "), line.size());
      const std::string_view name = line.substr(0, nameEnd);
      if (line.starts_with(";")) {
        // a comment
      } else if (name == "PB_DataPointer") {
        out_.line(renamed(line, nameEnd));
      } else if (name == "PB_ExitCode") {
        // Where End leaves the code that the end of the program passes to ExitProcess.
        exitCode_ = renamed(name, std::string_view::npos);
        out_.line(exitCode_ + std::string(line.substr(nameEnd)));
      } else if (compilerLayout_ && isRuntimeItemName(name)) {
        // the program's own
      } else if (nameEnd + 1 == line.size() && line.back() == ':' &&
                 (compilerLayout_ || line.starts_with("a_"))) {
        // An array: its label, then its reservation lines.
        out_.line(dataLabel(name) + ":");
        line = platform::trimSpaces(readBss());
        while (isReservation(line)) {
          out_.line(indented(line));
          line = platform::trimSpaces(readBss());
        }
        haveNext = true;
      } else if (line.starts_with("v_") || line.starts_with("t_") ||
                 (compilerLayout_ && nameEnd < line.size() &&
                  isReservation(platform::trimSpaces(line.substr(nameEnd + 1))))) {
        // A variable or list (exported ones keep their name), or any other cell.
        out_.line(dataLabel(name) + std::string(line.substr(nameEnd)));
      } else if (line.starts_with("s_") || line.starts_with("p_") || line.starts_with("m_") ||
                 line.starts_with("so_")) {
        if (platform::contains(line, " rb ") || platform::contains(line, " rw ") ||
            platform::contains(line, " rd ") || platform::contains(line, " rq ")) {
          out_.line(renamed(line, nameEnd));
        }
      }
      if (!haveNext) line = platform::trimSpaces(readBss());
    }
    out_.line(alignLine_);
    out_.line("");
    writeSection(kDataSection);
  }

  // The label of a bss item: an exported variable, list or array by its own name, any other
  // item renamed as local data.
  std::string dataLabel(std::string_view name) {
    if (const SymbolRecord* record = conversion_.symbols.find(name);
        record != nullptr && isDataKind(record->kind) && record->kind != SymbolKind::localData) {
      return symbolLabel(*record);
    }
    return renamed(name, std::string_view::npos);
  }

  void finalPass() {
    // The labels of this section get their names before any "dd" line is rewritten, so a
    // line may name a label that stands further down.
    const std::size_t start = cursor_.position();
    if (library_) {
      std::string_view line;
      while (cursor_.next(line)) {
        line = platform::trimSpaces(line);
        if (isDataLabel(line)) {
          uniqueName(line.substr(0, line.size() - 1), false);
        }
      }
    }
    cursor_.seek(start);
    std::string_view line;
    while (cursor_.next(line)) {
      conversion_.poll();
      line = platform::trimSpaces(line);
      if (isDataLabel(line)) {
        if (const SymbolRecord* record = conversion_.symbols.find(line.substr(0, line.size() - 1));
            library_ && record != nullptr) {
          out_.line(record->outputName + ":");
        } else {
          out_.line(line);
        }
      } else if (line.starts_with("db ") || line.starts_with("dw ") || line.starts_with("file ") ||
                 (compilerLayout_ && line.starts_with("align "))) {
        out_.line(indented(line));
      } else if (line.starts_with("dd ") || line.starts_with("dq ")) {
        rewriteDataLine(line);
      }
    }
  }

  // In the real compilers' layouts "End" inside a procedure jumps to the main program's end
  // code: _PB_EOP with the exit code pushed, _PB_EOP_NoValue without one; a listing with a
  // PB_ExitCode cell keeps the code there instead. A converted program runs none of the main
  // code, so this source provides both labels, ending the process as the end code does (on x64
  // with the code in rcx and the stack aligned for the call).
  void endOfProgram() {
    SymbolRecord* exitProcess = nullptr;
    for (const std::string_view name : {"_ExitProcess@4", "_ExitProcess", "ExitProcess"}) {
      exitProcess = conversion_.symbols.find(name);
      if (exitProcess != nullptr && exitProcess->kind == SymbolKind::external) break;
      exitProcess = nullptr;
    }
    if (exitProcess != nullptr) refer(*exitProcess);
    const bool x64 = conversion_.x64;
    const std::string exit = exitProcess != nullptr ? symbolLabel(*exitProcess)
                                                    : (x64 ? "ExitProcess" : "_ExitProcess@4");
    out_.line("");
    out_.line("section '.code' code readable executable");
    out_.line("");
    if (exitProcess == nullptr) {
      // The listing names no ExitProcess: the routine declares it itself.
      out_.line("extrn " + exit);
    }
    out_.line(renamed("_PB_EOP_NoValue", std::string_view::npos) + ":");
    if (x64) {
      out_.line(renamed("_PB_EOP", std::string_view::npos) + ":");
      out_.line(exitCode_.empty() ? "  XOR ecx,ecx" : "  MOV rcx,qword [" + exitCode_ + "]");
      out_.line("  AND rsp,-16");
      out_.line("  SUB rsp,32");
    } else {
      if (exitCode_.empty()) out_.line("  PUSH dword 0");
      out_.line(renamed("_PB_EOP", std::string_view::npos) + ":");
      if (!exitCode_.empty()) out_.line("  PUSH dword [" + exitCode_ + "]");
    }
    out_.line("  CALL " + exit);
  }

  void rewriteDataLine(std::string_view line) {
    out_.append("  ");
    appendRewritten(line);
    out_.endLine();
  }

  // Appends the tokens of a data line, each followed by a space, with the names of symbols
  // replaced: a procedure or data label by its output name, an alias by the text it stands for.
  // Library output declares what other sources define as external.
  void appendRewritten(std::string_view text) {
    splitTokens(text, kDataLineDelimiters, tokens_, QuoteRule::assembly);
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
      const std::string_view token = tokens_[i];
      std::string_view written = token;
      const std::size_t position =
          token == "," ? SymbolList::kNone : positionNamedBy(conversion_.symbols, token, written);
      if (position == SymbolList::kNone ||
          conversion_.symbols[position].kind == SymbolKind::mainLabel) {
        out_.append(written);
      } else {
        out_.append(symbolLabel(conversion_.symbols[position]));
        refer(conversion_.symbols[position]);
      }
      out_.append(" ");
    }
  }

  void refer(SymbolRecord& record) {
    if (record.kind == SymbolKind::external) record.referenced = 1;
    if (externNames_.insert(symbolLabel(record)).second) externs_.push_back(&record);
  }

  void declarations() {
    out_.line("");
    for (const SymbolRecord& record : conversion_.symbols) {
      if (isDataKind(record.kind)) out_.line(publicLine(record));
    }
    if (!library_) return;
    // "public" lines of procedures' inline assembly that name a label of this source.
    for (const Conversion::BodyPublic& moved : conversion_.bodyPublics) {
      const std::size_t target = publicLineTarget(conversion_.symbols, moved.line);
      if (target == SymbolList::kNone || !isDataKind(conversion_.symbols[target].kind)) continue;
      const std::size_t label = moved.line.find(conversion_.symbols[target].asmName);
      out_.line(moved.line.substr(0, label) + symbolLabel(conversion_.symbols[target]) +
                moved.line.substr(label + conversion_.symbols[target].asmName.size()));
    }
    out_.line("");
    for (const SymbolRecord* record : externs_) {
      // What this source defines itself cannot be declared external to it.
      if (isDataKind(record->kind)) continue;
      out_.line(externLine(*record));
    }
  }

  Conversion& conversion_;
  ListingCursor& cursor_;
  const bool library_;
  const std::string base_;
  // The real compilers' layouts align DataSection items; the classic layout's data needs none.
  const bool compilerLayout_;
  // Cells are 4 bytes on x86 and 8 on x64: the sections' items are aligned to that.
  const std::string alignLine_;
  SourceText out_;
  TokenArray tokens_;
  std::string exitCode_;  // the PB_ExitCode cell's name, when the listing has one
  std::vector<const SymbolRecord*> externs_;
  std::unordered_set<std::string> externNames_;
  std::unordered_set<std::string> takenNames_;
};

}  // namespace

app::Outcome writeDataSections(Conversion& conversion) {
  const Listing* listing = conversion.readListing();
  if (!listing) {
    return conversion.failWith(language::TextId::openingFileError, conversion.asmListingPath);
  }
  ListingCursor cursor(*listing);
  cursor.seek(conversion.dataStart);
  std::string_view sectionLine;
  cursor.next(sectionLine);

  platform::FileSystem& files = conversion.services.files;
  const std::string path =
      conversion.sourceFolder() + conversion.sourceBaseName + "_briskoDataSections.asm";
  auto file = files.createFile(path);
  if (!file) return conversion.failWith(language::TextId::creatingFileError, path);

  DataSectionsWriter writer(conversion, cursor);
  try {
    writer.write(sectionLine);
  } catch (const ListingEndedEarly&) {
    file->close();
    files.deleteFile(path);
    return conversion.failWith(language::TextId::invalidFile, conversion.asmListingPath);
  }
  if (!storeSource(*file, writer.text(), cursor.listing())) {
    files.deleteFile(path);
    return conversion.failWith(language::TextId::creatingFileError, path);
  }
  return app::ok();
}

}  // namespace brisko::pipeline
