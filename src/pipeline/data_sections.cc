#include "pipeline/data_sections.h"

#include <unordered_set>
#include <vector>

#include "language/text_ids.h"
#include "pipeline/generated_source.h"
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

// The text of a line after its label.
std::string_view afterLabel(const DataLine& line) {
  return line.text.substr(line.label.size());
}

class DataSectionsWriter {
 public:
  explicit DataSectionsWriter(Conversion& conversion)
      : conversion_(conversion),
        facts_(conversion.listing),
        library_(conversion.settings.library()),
        target_(conversion.listing.target) {}

  void write() {
    // The end routine defines both labels, whichever a procedure jumps to.
    if (carried(facts_.endNoValue) || carried(facts_.endWithValue)) {
      conversion_.symbols[facts_.endNoValue].referenced = 1;
      conversion_.symbols[facts_.endWithValue].referenced = 1;
    }
    takeNamedHeldItems();
    writeHeaderBlock(out_, conversion_.services.clock.now());
    if (library_) {
      out_.line(target_.formatLine());
      out_.line("");
    }
    fragmentStart_ = out_.text().size();
    for (std::size_t i = 0; i < facts_.dataLines.size(); ++i) writeLine(i);
    if (carried(facts_.endNoValue) || carried(facts_.endWithValue)) writeEndRoutine();
    writeDeclarations();
  }

  const std::string& text() const { return out_.text(); }
  PlannedSource& planned() { return planned_; }

 private:
  bool carried(std::size_t record) const {
    return record != SymbolList::kNone && conversion_.symbols[record].referenced;
  }

  // Held items that the carried code and data name are carried too, and with them what they
  // name in turn.
  void takeNamedHeldItems() {
    const std::vector<DataLine>& lines = facts_.dataLines;
    std::vector<std::vector<std::size_t>> itemLines(conversion_.symbols.size());
    bool anyHeld = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (facts_.heldItems[i] == SymbolList::kNone) continue;
      itemLines[facts_.heldItems[i]].push_back(i);
      anyHeld = true;
    }
    if (!anyHeld) return;
    std::vector<std::size_t> pending;
    const auto markNamed = [&](std::string_view values) {
      splitTokens(values, kDataLineDelimiters, tokens_, QuoteRule::assembly);
      for (std::size_t t = 0; t < tokens_.size(); ++t) {
        std::string_view written;
        const std::size_t position = positionNamedBy(conversion_.symbols, tokens_[t], written);
        if (position == SymbolList::kNone) continue;
        SymbolRecord& record = conversion_.symbols[position];
        if (record.kind == SymbolKind::heldData && !record.referenced) {
          record.referenced = 1;
          pending.push_back(position);
        }
      }
    };
    for (std::size_t i = 0; i < conversion_.symbols.size(); ++i) {
      if (conversion_.symbols[i].kind == SymbolKind::heldData && conversion_.symbols[i].referenced)
        pending.push_back(i);
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (facts_.heldItems[i] == SymbolList::kNone) markNamed(valuesOf(lines[i]));
    }
    while (!pending.empty()) {
      const std::size_t item = pending.back();
      pending.pop_back();
      for (std::size_t i : itemLines[item]) markNamed(valuesOf(lines[i]));
    }
  }

  // The part of a line that may name other symbols.
  static std::string_view valuesOf(const DataLine& line) {
    switch (line.kind) {
      case DataLineKind::valueDefinition:
      case DataLineKind::heldLabel:
      case DataLineKind::labelledData:
        return line.values;
      case DataLineKind::structureValue:
      case DataLineKind::dataValues:
      case DataLineKind::heldValues:
        return line.text;
      default:
        return {};
    }
  }

  void writeLine(std::size_t i) {
    const DataLine& line = facts_.dataLines[i];
    const std::string& name = facts_.dataNames[i];
    if (!line.label.empty()) referrer_ = line.label;
    switch (line.kind) {
      case DataLineKind::firstSection:
        out_.line(target_.sectionLine(line.text));
        break;
      case DataLineKind::stringConstant:
      case DataLineKind::floatConstant:
      case DataLineKind::structureLabel:
        define(name);
        out_.line(name + std::string(afterLabel(line)));
        break;
      case DataLineKind::labelledData:
        // "s_name d? values": its values may name another structure's descriptor.
        if (namesSymbol(line.values)) {
          writeValueDefinition(name, line);
        } else {
          define(name);
          out_.line(name + std::string(afterLabel(line)));
        }
        break;
      case DataLineKind::alignment:
        out_.line(target_.alignLine());
        break;
      case DataLineKind::structureValue:
        if (namesSymbol(line.text)) {
          out_.append("  ");
          appendWithSymbolNames(line.text);
          out_.endLine();
        } else {
          out_.line(line.text);
        }
        break;
      case DataLineKind::valueDefinition:
        // A cell with its value (a procedure's static, a module's data), which may name a
        // string constant.
        writeValueDefinition(name, line);
        break;
      case DataLineKind::bssStart:
      case DataLineKind::dataSectionStart:
        conversion_.poll();
        out_.line(target_.alignLine());
        out_.line("");
        out_.line(target_.sectionLine(line.text));
        break;
      case DataLineKind::cell:
        conversion_.poll();
        define(name);
        // Where End leaves the code that the end of the program passes to ExitProcess.
        if (line.exitCodeCell) exitCodeCell_ = name;
        out_.line(name + std::string(afterLabel(line)));
        break;
      case DataLineKind::arrayLabel:
        conversion_.poll();
        define(name);
        out_.line(name + ":");
        break;
      case DataLineKind::reservation:
        out_.line(indented(line.text));
        break;
      case DataLineKind::dataLabel:
        conversion_.poll();
        define(name);
        out_.line(library_ ? name + ":" : std::string(line.text));
        break;
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
      case DataLineKind::heldLabel:
        if (!carried(facts_.heldItems[i])) break;
        define(name);
        if (line.values.empty()) {
          out_.line(name + ":");
        } else {
          writeValueDefinition(name, line);
        }
        break;
      case DataLineKind::heldValues:
        if (!carried(facts_.heldItems[i])) break;
        out_.append("  ");
        appendWithSymbolNames(line.text);
        out_.endLine();
        break;
    }
  }

  void writeValueDefinition(const std::string& name, const DataLine& line) {
    define(name);
    out_.append(name);
    out_.append(line.colon ? ": " : " ");
    appendWithSymbolNames(line.values);
    out_.endLine();
  }

  // A label this source defines.
  void define(const std::string& name) { written_.insert(name); }

  // True when a token of the values names a symbol whose name the sources may change.
  bool namesSymbol(std::string_view values) {
    splitTokens(values, kDataLineDelimiters, tokens_, QuoteRule::assembly);
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
      std::string_view written;
      if (positionNamedBy(conversion_.symbols, tokens_[i], written) != SymbolList::kNone) {
        return true;
      }
    }
    return false;
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
    referrer_ = conversion_.symbols[facts_.endWithValue].asmName;
    if (exitProcess != nullptr) noteReference(*exitProcess);
    const std::string exit =
        exitProcess != nullptr ? symbolLabel(*exitProcess) : std::string(target_.exitProcessName());
    out_.line("");
    out_.line("section '.code' code readable executable");
    out_.line("");
    if (exitProcess == nullptr) {
      // The listing names no ExitProcess: the routine declares it itself.
      out_.line("extrn " + exit);
      planned_.needs.push_back({exit, std::string(referrer_)});
    }
    const std::string& noValue = conversion_.symbols[facts_.endNoValue].outputName;
    const std::string& withValue = conversion_.symbols[facts_.endWithValue].outputName;

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
      if (position == SymbolList::kNone) {
        out_.append(written);
      } else if (conversion_.symbols[position].kind == SymbolKind::mainLabel) {
        // No output holds the main program's code: the check before assembling names it.
        out_.append(written);
        planned_.needs.push_back({conversion_.symbols[position].asmName, std::string(referrer_)});
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
    if (externNames_.insert(symbolLabel(record)).second) externs_.push_back({&record, referrer_});
  }

  void writeDeclarations() {
    // Held data that is carried is the source's local data like any other.
    if (library_) {
      for (SymbolRecord& record : conversion_.symbols) {
        if (record.kind == SymbolKind::heldData && record.referenced) {
          record.kind = SymbolKind::localData;
        }
      }
    }
    out_.line("");
    for (const SymbolRecord& record : conversion_.symbols) {
      // Held data that is carried (object output: under its own name, for this source alone).
      if (record.kind == SymbolKind::heldData && record.referenced) {
        planned_.defines.push_back(record.outputName);
      }
      if (!isDataKind(record.kind)) continue;
      // An exported item the listing's data does not hold is left to the check before
      // assembling, which names it.
      if (record.kind != SymbolKind::localData && written_.count(symbolLabel(record)) == 0) {
        planned_.needs.push_back({record.outputName, record.asmName});
        continue;
      }
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
    // The member's part of the combined source: what it defines, not what it declares.
    const std::string_view fragment =
        std::string_view(out_.text()).substr(fragmentStart_, out_.text().size() - fragmentStart_);
    conversion_.combined.setData(fragment);
    planned_.sections = sectionLinesOf(fragment);
    out_.line("");
    for (const auto& [record, referrer] : externs_) {
      // What this source defines itself cannot be declared external to it.
      if (isDataKind(record->kind)) continue;
      out_.line(externLine(*record));
      planned_.needs.push_back({linkName(*record), std::string(referrer)});
    }
  }

  Conversion& conversion_;
  const ListingFacts& facts_;
  const bool library_;
  const Target target_;
  SourceText out_;
  PlannedSource planned_;
  TokenArray tokens_;
  // The label of the data item being written, which names what it refers to.
  std::string_view referrer_;
  std::string exitCodeCell_;  // the exit-code cell's name, when the listing has one
  std::size_t fragmentStart_ = 0;
  std::vector<std::pair<const SymbolRecord*, std::string_view>> externs_;
  std::unordered_set<std::string> externNames_;
  std::unordered_set<std::string> written_;  // the labels the source defines
};

}  // namespace

app::Outcome writeDataSections(Conversion& conversion) {
  DataSectionsWriter writer(conversion);
  writer.write();
  PlannedSource& planned = writer.planned();
  planned.role = PlannedSource::Role::dataSections;
  planned.fileName = conversion.output.dataSectionsName();
  conversion.plan.sources.push_back(std::move(planned));
  const std::string& name = conversion.output.dataSectionsName();
  conversion.logProgress(language::TextId::objectCreatingDataSections, name);
  const Listing* listing = conversion.readListing();
  if (!listing) {
    return conversion.failWith(language::TextId::openingFileError, conversion.listingPath);
  }
  platform::FileSystem& files = conversion.services.files;
  const std::string path = conversion.output.sourceFolder() + name;
  auto file = files.createFile(path);
  if (!file) {
    return conversion.failWith(language::TextId::creatingFileError, path, files.failureReason());
  }
  if (!storeSource(*file, writer.text(), *listing)) {
    const std::string reason = files.failureReason();
    files.deleteFile(path);
    return conversion.failWith(language::TextId::creatingFileError, path, reason);
  }
  conversion.logOutcome(true);
  return app::ok();
}

}  // namespace brisko::pipeline
