#include "pipeline/data_sections.h"

#include <unordered_set>
#include <vector>

#include "language/text_ids.h"
#include "pipeline/generated_source.h"
#include "pipeline/listing/compiler_layouts.h"
#include "pipeline/listing/listing_reader.h"
#include "pipeline/split_tokens.h"
#include "pipeline/symbol_names.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

std::string indented(std::string_view line) {
  std::string text("  ");
  text += line;
  return text;
}

// The text of a line after its label (the label ending where the rule's label does).
std::string_view afterLabel(const DataLine& line) {
  return line.text.substr(line.label.size());
}

class DataSectionsWriter {
 public:
  explicit DataSectionsWriter(Conversion& conversion)
      : conversion_(conversion),
        library_(conversion.settings.library()),
        base_(conversion.output.symbolBase()),
        target_(conversion.listing.target) {
    if (library_) {
      for (const SymbolRecord& record : conversion.symbols) {
        if (isProcedureKind(record.kind) || isDataKind(record.kind)) {
          takenNames_.insert(record.outputName);
        }
      }
    }
  }

  void write(const std::vector<DataLine>& lines) {
    writeHeaderBlock(out_, conversion_.services.clock.now());
    if (library_) {
      out_.line(target_.formatLine());
      out_.line("");
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].kind == DataLineKind::dataSectionStart) nameDataSectionLabels(lines, i);
      writeLine(lines[i]);
    }
    if (conversion_.listing.endsThroughMainCode) writeEndRoutine();
    writeDeclarations();
  }

  const std::string& text() const { return out_.text(); }
  PlannedSource& planned() { return planned_; }

 private:
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

  // The label as the source writes it: its file-unique name in library output, else itself.
  std::string localName(std::string_view label, bool stringConstant = false) {
    return library_ ? uniqueName(label, stringConstant) : std::string(label);
  }

  // The label of a bss item: an exported variable, list or array by its own name, any other
  // item renamed as local data.
  std::string bssLabel(std::string_view name) {
    if (const SymbolRecord* record = conversion_.symbols.find(name);
        record != nullptr && isDataKind(record->kind) && record->kind != SymbolKind::localData) {
      return symbolLabel(*record);
    }
    return localName(name);
  }

  // The DataSection's labels get their names before any of its lines is written, so a "dd"
  // line may name a label that stands further down.
  void nameDataSectionLabels(const std::vector<DataLine>& lines, std::size_t start) {
    if (!library_) return;
    for (std::size_t i = start; i < lines.size(); ++i) {
      if (lines[i].kind == DataLineKind::dataLabel) uniqueName(lines[i].label, false);
    }
  }

  void writeLine(const DataLine& line) {
    switch (line.kind) {
      case DataLineKind::firstSection:
        out_.line(target_.sectionLine(line.text));
        break;
      case DataLineKind::stringConstant:
        out_.line(localName(line.label, true) + std::string(afterLabel(line)));
        break;
      case DataLineKind::floatConstant:
      case DataLineKind::structureLabel:
      case DataLineKind::labelledData:
        out_.line(localName(line.label) + std::string(afterLabel(line)));
        break;
      case DataLineKind::alignment:
        out_.line(target_.alignLine());
        break;
      case DataLineKind::structureValue:
        out_.line(line.text);
        break;
      case DataLineKind::valueDefinition:
        // A cell with its value (a procedure's static, a module's data), which may name a
        // string constant.
        out_.append(localName(line.label));
        out_.append(line.colon ? ": " : " ");
        appendWithSymbolNames(line.values);
        out_.endLine();
        break;
      case DataLineKind::bssStart:
      case DataLineKind::dataSectionStart:
        conversion_.poll();
        out_.line(target_.alignLine());
        out_.line("");
        out_.line(target_.sectionLine(line.text));
        break;
      case DataLineKind::cell: {
        conversion_.poll();
        std::string label = bssLabel(line.label);
        // Where End leaves the code that the end of the program passes to ExitProcess.
        if (line.exitCodeCell) exitCodeCell_ = label;
        out_.line(label + std::string(afterLabel(line)));
        break;
      }
      case DataLineKind::arrayLabel:
        conversion_.poll();
        out_.line(bssLabel(line.label) + ":");
        break;
      case DataLineKind::reservation:
        out_.line(indented(line.text));
        break;
      case DataLineKind::dataLabel: {
        conversion_.poll();
        const SymbolRecord* record = conversion_.symbols.find(line.label);
        out_.line(library_ && record != nullptr ? record->outputName + ":"
                                                : std::string(line.text));
        break;
      }
      case DataLineKind::rawData:
        conversion_.poll();
        out_.line(indented(line.text));
        break;
      case DataLineKind::dataValues:
        conversion_.poll();
        out_.append("  ");
        appendWithSymbolNames(line.text);
        out_.endLine();
        break;
    }
  }

  // "End" inside a procedure jumps to the main program's end code, which a converted program
  // does not hold: this source provides its two labels, ending the process as the end code does
  // (with the code from the exit-code cell where the listing keeps one, else the one pushed).
  void writeEndRoutine() {
    SymbolRecord* exitProcess = nullptr;
    for (const std::string_view name : {"_ExitProcess@4", "_ExitProcess", "ExitProcess"}) {
      exitProcess = conversion_.symbols.find(name);
      if (exitProcess != nullptr && exitProcess->kind == SymbolKind::external) break;
      exitProcess = nullptr;
    }
    if (exitProcess != nullptr) noteReference(*exitProcess);
    const std::string exit =
        exitProcess != nullptr ? symbolLabel(*exitProcess) : std::string(target_.exitProcessName());
    out_.line("");
    out_.line("section '.code' code readable executable");
    out_.line("");
    if (exitProcess == nullptr) {
      // The listing names no ExitProcess: the routine declares it itself.
      out_.line("extrn " + exit);
    }
    const std::string noValue = localName(CompilerLayoutReader::kEndNoValue);
    const std::string withValue = localName(CompilerLayoutReader::kEndWithValue);
    for (const std::string& line : target_.endRoutine(noValue, withValue, exitCodeCell_, exit)) {
      out_.line(line);
    }
  }

  // Appends the tokens of a data line, each followed by a space, with the names of symbols
  // replaced: a procedure or data label by its output name, an alias by the text it stands for.
  // Library output declares what other sources define as external.
  void appendWithSymbolNames(std::string_view text) {
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
        noteReference(conversion_.symbols[position]);
      }
      out_.append(" ");
    }
  }

  // A symbol the data names: an external is marked used, and every symbol joins the extern list
  // once.
  void noteReference(SymbolRecord& record) {
    if (record.kind == SymbolKind::external) record.referenced = 1;
    if (externNames_.insert(symbolLabel(record)).second) externs_.push_back(&record);
  }

  void writeDeclarations() {
    out_.line("");
    for (const SymbolRecord& record : conversion_.symbols) {
      if (!isDataKind(record.kind)) continue;
      out_.line(publicLine(record));
      planned_.defines.push_back(record.outputName);
    }
    if (!library_) return;
    // "public" lines of procedures' inline assembly that name a label of this source.
    for (const InlinePublic& moved : conversion_.listing.inlinePublics) {
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
      planned_.needs.push_back(linkName(*record));
    }
  }

  Conversion& conversion_;
  const bool library_;
  const std::string base_;
  const Target target_;
  SourceText out_;
  PlannedSource planned_;
  TokenArray tokens_;
  std::string exitCodeCell_;  // the exit-code cell's name, when the listing has one
  std::vector<const SymbolRecord*> externs_;
  std::unordered_set<std::string> externNames_;
  std::unordered_set<std::string> takenNames_;
};

}  // namespace

app::Outcome writeDataSections(Conversion& conversion) {
  const Listing* listing = conversion.readListing();
  if (!listing) {
    return conversion.failWith(language::TextId::openingFileError, conversion.listingPath);
  }
  std::vector<DataLine> lines;
  try {
    lines = ListingReader::open(*listing, conversion.listing.family)
                ->readData(conversion.listing.dataStart);
  } catch (const ListingEndedEarly&) {
    return conversion.failWith(language::TextId::invalidFile, conversion.listingPath);
  }

  DataSectionsWriter writer(conversion);
  writer.write(lines);
  PlannedSource& planned = writer.planned();
  planned.role = PlannedSource::Role::dataSections;
  planned.fileName = conversion.output.dataSectionsName();
  conversion.plan.sources.push_back(std::move(planned));
  platform::FileSystem& files = conversion.services.files;
  const std::string path = conversion.output.sourceFolder() + conversion.output.dataSectionsName();
  auto file = files.createFile(path);
  if (!file) return conversion.failWith(language::TextId::creatingFileError, path);
  if (!storeSource(*file, writer.text(), *listing)) {
    files.deleteFile(path);
    return conversion.failWith(language::TextId::creatingFileError, path);
  }
  return app::ok();
}

}  // namespace brisko::pipeline
