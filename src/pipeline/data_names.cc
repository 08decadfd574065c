#include "pipeline/data_names.h"

#include <unordered_set>

#include "pipeline/listing/compiler_layouts.h"
#include "pipeline/symbol_names.h"

namespace brisko::pipeline {
namespace {

class DataNaming {
 public:
  explicit DataNaming(Conversion& conversion)
      : conversion_(conversion),
        library_(conversion.settings.library()),
        base_(conversion.output.symbolBase()) {
    if (library_) {
      for (const SymbolRecord& record : conversion.symbols) {
        if (isProcedureKind(record.kind) || isDataKind(record.kind)) {
          takenNames_.insert(record.outputName);
        }
      }
    }
  }

  void name(std::vector<DataLine> lines) {
    ListingFacts& facts = conversion_.listing;
    facts.dataNames.assign(lines.size(), std::string());
    facts.heldItems.assign(lines.size(), SymbolList::kNone);
    std::size_t held = SymbolList::kNone;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const DataLine& line = lines[i];
      switch (line.kind) {
        case DataLineKind::stringConstant:
          facts.dataNames[i] = localName(line.label, true);
          break;
        case DataLineKind::floatConstant:
        case DataLineKind::structureLabel:
        case DataLineKind::labelledData:
        case DataLineKind::valueDefinition:
        case DataLineKind::dataLabel:
          facts.dataNames[i] = localName(line.label);
          break;
        case DataLineKind::cell:
        case DataLineKind::arrayLabel:
          facts.dataNames[i] = bssLabel(line.label);
          break;
        case DataLineKind::heldLabel:
          held = heldRecord(line.label);
          if (held != SymbolList::kNone) facts.dataNames[i] = conversion_.symbols[held].outputName;
          facts.heldItems[i] = held;
          break;
        case DataLineKind::heldValues:
          facts.heldItems[i] = held;
          break;
        default:
          break;
      }
    }
    facts.dataLines = std::move(lines);
    if (facts.endsThroughMainCode) {
      // Both or neither: a listing that names either label otherwise provides its own.
      const std::size_t noValue = heldRecord(CompilerLayoutReader::kEndNoValue);
      const std::size_t withValue = heldRecord(CompilerLayoutReader::kEndWithValue);
      if (noValue != SymbolList::kNone && withValue != SymbolList::kNone) {
        facts.endNoValue = noValue;
        facts.endWithValue = withValue;
      }
    }
  }

 private:
  // Library output: the label's file-unique name. String constants take the base name directly
  // in front, other labels the base name and "_". A name that a procedure or an exported item
  // already carries (an internal "Procedure F1" beside the float constant F1) is not taken
  // twice: the data label, which nothing outside sees, gets "_2", "_3", ... appended.
  std::string uniqueName(std::string_view label, bool stringConstant) {
    std::string name =
        freeName(base_ + (stringConstant ? "" : "_") + std::string(label),
                 [&](const std::string& candidate) { return takenNames_.count(candidate) != 0; });
    takenNames_.insert(name);
    return name;
  }

  // The label as the sources write it; library output records its file-unique name.
  std::string localName(std::string_view label, bool stringConstant = false) {
    if (!library_) return std::string(label);
    SymbolRecord record;
    record.kind = SymbolKind::localData;
    record.asmName = label;
    record.outputName = uniqueName(label, stringConstant);
    return conversion_.symbols.append(std::move(record)).outputName;
  }

  // The label of a bss item: an exported variable, list or array by its own name, any other
  // item as local data.
  std::string bssLabel(std::string_view name) {
    if (const SymbolRecord* record = conversion_.symbols.find(name);
        record != nullptr && isDataKind(record->kind) && record->kind != SymbolKind::localData) {
      return symbolLabel(*record);
    }
    return localName(name);
  }

  // A held label's record (its file-unique name in library output), or none when the label
  // already names a record of another kind (an external, say).
  std::size_t heldRecord(std::string_view label) {
    if (conversion_.symbols.find(label) != nullptr) return SymbolList::kNone;
    SymbolRecord record;
    record.kind = SymbolKind::heldData;
    record.asmName = label;
    record.outputName = library_ ? uniqueName(label, false) : std::string(label);
    conversion_.symbols.append(std::move(record));
    return conversion_.symbols.size() - 1;
  }

  Conversion& conversion_;
  const bool library_;
  const std::string base_;
  std::unordered_set<std::string> takenNames_;
};

}  // namespace

void nameDataItems(Conversion& conversion, std::vector<DataLine> lines) {
  DataNaming(conversion).name(std::move(lines));
}

}  // namespace brisko::pipeline
