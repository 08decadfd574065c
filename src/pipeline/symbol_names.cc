#include "pipeline/symbol_names.h"

#include <algorithm>
#include <array>

#include "platform/text.h"

namespace brisko::pipeline {
namespace {

// Prefix of the internal label of a record whose name FASM reserves. FASM accepts '?' in a
// name; PureBasic names and listing labels never contain it, so no other symbol can clash.
constexpr std::string_view kInternalPrefix = "brisko?";

bool hasInternalLabel(const SymbolRecord& record) {
  return record.kind != SymbolKind::external && isFasmReservedWord(record.outputName);
}

}  // namespace

std::string symbolLabel(const SymbolRecord& record) {
  if (record.kind == SymbolKind::external) return record.asmName;
  if (hasInternalLabel(record)) return std::string(kInternalPrefix) + record.outputName;
  return record.outputName;
}

void appendSymbolLabel(std::string& text, const SymbolRecord& record) {
  if (record.kind == SymbolKind::external) {
    text += record.asmName;
    return;
  }
  if (hasInternalLabel(record)) text += kInternalPrefix;
  text += record.outputName;
}

std::string linkName(const SymbolRecord& record) {
  if (record.kind != SymbolKind::external) return record.outputName;
  if (record.quotedName.size() < 2) return record.asmName;
  // The name inside its quotes, a doubled quote taken once.
  const char quote = record.quotedName.front();
  std::string name;
  for (std::size_t i = 1; i + 1 < record.quotedName.size(); ++i) {
    name += record.quotedName[i];
    if (record.quotedName[i] == quote) ++i;
  }
  return name;
}

std::string publicLine(const SymbolRecord& record) {
  std::string line = "public " + symbolLabel(record);
  if (hasInternalLabel(record)) line += " as '" + record.outputName + "'";
  return line;
}

std::string externLine(const SymbolRecord& record) {
  if (!record.quotedName.empty()) return "extrn " + record.quotedName + " as " + record.asmName;
  if (hasInternalLabel(record)) {
    return "extrn '" + record.outputName + "' as " + symbolLabel(record);
  }
  return "extrn " + symbolLabel(record);
}

std::size_t positionNamedBy(const SymbolList& symbols, std::string_view token,
                            std::string_view& written) {
  written = token;
  std::size_t position = symbols.positionOf(token);
  if (position == SymbolList::kNone || symbols[position].kind != SymbolKind::alias) {
    return position;
  }
  const std::string& text = symbols[position].outputName;
  position = symbols.positionOf(text);
  if (position != SymbolList::kNone && symbols[position].kind != SymbolKind::alias) {
    return position;
  }
  written = text;
  return SymbolList::kNone;
}

std::size_t publicLineTarget(const SymbolList& symbols, std::string_view line) {
  if (!line.starts_with("public ")) return SymbolList::kNone;
  std::string_view label = line.substr(7);
  while (!label.empty() && label.front() == ' ') label.remove_prefix(1);
  label = label.substr(0, std::min(label.find(' '), label.size()));
  const std::size_t position = symbols.positionOf(label);
  if (position == SymbolList::kNone) return position;
  const SymbolKind kind = symbols[position].kind;
  return isProcedureKind(kind) || isDataKind(kind) ? position : SymbolList::kNone;
}

}  // namespace brisko::pipeline
