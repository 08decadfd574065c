// Names the generated sources give to symbols.
//
// FASM refuses a symbol that is one of its reserved words (instructions, registers, size
// operators, directives), whatever the case. A procedure or variable that carries such a name
// (ProcedureDLL Add) is written under an internal label that no PureBasic name or listing
// label can produce, and exported or imported under its real name with FASM's own forms.
#pragma once

#include <string>
#include <string_view>

#include "pipeline/conversion.h"
#include "pipeline/fasm_reserved_words.h"

namespace brisko::pipeline {

// A name not taken yet: name itself when taken(name) is false, else the first of name_2, name_3,
// ... that is free.
template <typename Taken>
std::string freeName(const std::string& name, Taken&& taken) {
  std::string candidate = name;
  for (int n = 2; taken(candidate); ++n) candidate = name + "_" + std::to_string(n);
  return candidate;
}

// The label a source uses for a record: its outputName, or the internal label for a reserved
// one. Externals keep their asmName.
std::string symbolLabel(const SymbolRecord& record);
// Appends symbolLabel(record) to text without building a string of its own.
void appendSymbolLabel(std::string& text, const SymbolRecord& record);
// The name the linker sees for a record: an external's own name (without the alias it may be
// declared under), any other record's outputName.
std::string linkName(const SymbolRecord& record);
// "public <label>", or "public <label> as '<outputName>'" for an internal label.
std::string publicLine(const SymbolRecord& record);
// "extrn <label>", or "extrn '<name>' as <label>" for an external declared under an alias or
// an internal label.
std::string externLine(const SymbolRecord& record);

// The position of the record a token of code or data names, or SymbolList::kNone. An alias
// stands for its text: the record that text names, else kNone with written set to the text.
// Otherwise written is the token.
std::size_t positionNamedBy(const SymbolList& symbols, std::string_view token,
                            std::string_view& written);

// The position of the procedure or data record that a "public <label> [as '<name>']" line
// names, or SymbolList::kNone when the line names no such record.
std::size_t publicLineTarget(const SymbolList& symbols, std::string_view line);

}  // namespace brisko::pipeline
