// What a layout reader hands out of a listing: typed records whose texts are views of the
// listing's text (the listing must outlive them). The stages read the listing through these
// alone, so they need not know how any compiler generation lays it out.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "pipeline/target.h"

namespace brisko::pipeline {

// An "extrn" line of the header: the symbol the linker resolves and the label the code names
// it by, which differ for "extrn 'name' as label" (imports under a name FASM could not take as
// a label).
struct ExternalDeclaration {
  std::string_view name;   // as the line writes it: in its quotes when an alias follows
  std::string_view label;  // the alias, else the name itself
  bool operator==(const ExternalDeclaration&) const = default;
};

// What the listing's header declares, in the listing's order.
struct ListingHeader {
  std::vector<std::string_view> importLibraries;  // as written, blanks inside a name kept
  std::vector<ExternalDeclaration> externals;
  Target target;  // from the header's format line
  // The names of the header's "public" lines (the runtime's items and the start label, which
  // the program that links the output defines) and its "define <alias> <text>" lines, trimmed.
  // Only the layouts of the real compilers have them.
  std::vector<std::string_view> publicNames;
  std::vector<std::string_view> defines;
};

// The keyword that opens a procedure's declaration, and what it declares.
enum class ProcedureKeyword { none, procedure, procedureC, procedureDll, procedureCDll };
// The keyword a word (in lower case) is, or none.
ProcedureKeyword procedureKeywordOf(std::string_view lowerCaseWord);

// A line of the program part: the main program and the procedures' code.
struct ProgramLine {
  std::string_view text;     // the line, trimmed
  std::string_view source;   // the PureBasic source line it copies, trimmed; empty if none
  bool inProcedure = false;  // the line stands inside a procedure's code
  // A label the main program's code defines that no output holds (a procedure naming it cannot
  // work); empty for every other line, and always in the layouts that never jump there.
  std::string_view mainLabel;
};

// The lines of the listing's data and bss, as the data-sections source takes them. Lines that
// no rule takes are not handed out.
enum class DataLineKind {
  firstSection,      // the first data section line, which opens the source
  stringConstant,    // "_S<n>: ..." of the string table; label before the first ':'
  floatConstant,     // "F<n>: dd ..." / "D<n>: dq ..."; label before the first ':'
  alignment,         // where the data is aligned: the end of the string table, around a structure
  structureLabel,    // a label line of a structure block ("s_name:"); label before the first ':'
  structureValue,    // a value line of a structure block, written as it stands
  labelledData,      // "s_name db ..." on one line; label before the first blank
  valueDefinition,   // "name[:] d? values": the values may name other symbols
  bssStart,          // the data is through: the bss follows
  cell,              // "name r? count" in the bss
  arrayLabel,        // "name:" in the bss, followed by its reservation lines
  reservation,       // "r? count" after an array's label
  dataSectionStart,  // the bss is through: the DataSection contents follow
  dataLabel,         // "l_name:" / "ll_procedure_name:" of a DataSection
  rawData,           // "db", "dw", "file" (and alignment) lines of a DataSection
  dataValues,        // "dd"/"dq" lines of a DataSection, which may name other symbols
  // A labelled line no rule takes, and the data lines that follow it: the program's item that
  // the source takes only when something it carries names the label.
  heldLabel,   // "name:", "name[:] d? values" or "name r? count"; values as for valueDefinition
  heldValues,  // "d? values" or "r? count" after a held label
};

struct DataLine {
  DataLineKind kind = DataLineKind::rawData;
  std::string_view text;   // the line as the rules take it (trimmed in the bss and after it)
  std::string_view label;  // the label the line defines; empty when it defines none
  // valueDefinition, labelledData, heldLabel: the values (trimmed) and whether the label ends
  // with ':'.
  std::string_view values;
  bool colon = false;
  // cell: the listing's exit-code cell, which End in a procedure fills.
  bool exitCodeCell = false;
};

}  // namespace brisko::pipeline
