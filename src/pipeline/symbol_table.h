// The conversion's symbol table: every symbol the listing declares or defines that the output
// must name (externals, procedures, exported and local data, aliases, the main program's
// labels), in the order found, with an index by the name the listing writes.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brisko::pipeline {

// What a record of the symbol list stands for.
enum class SymbolKind : std::uint8_t {
  external,       // an extrn of the listing
  procedureDll,   // ProcedureDLL: exported, stdcall
  procedureCDll,  // ProcedureCDLL: exported, cdecl
  procedure,      // Procedure / ProcedureC: internal, named base + "_" + name
  localData,      // library output: a data label given a file-unique name
  array,          // Dim in a Public/Global declaration
  list,           // NewList in a Public/Global declaration
  variable,       // variable in a Public/Global declaration
  alias,          // a "define <alias> <text>" line of the header; outputName holds the text
  mainLabel,      // a label of the main program's code, which no output holds
  // A label of the listing's data that the data-sections source takes only when code or data
  // that it carries names it (referenced set), then as local data; also the main program's end
  // labels, which the source provides as a routine of its own when a procedure jumps there.
  heldData,
};

// What the wrapper's Import line (wrapper_declarations.h) and the C header's declaration
// (write_c_header.h) of an item are formed from, as the analysis found it on the item's source
// line.
struct DeclarationParts {
  // The ".type" the line gives: a procedure's return type, a variable's or array's type; empty
  // when none.
  std::string type;
  // The default type suffix in force at the line (".l" until a "Define.type" line).
  std::string defaultType;
  // Procedures: the tokens after the name, up to a comment.
  std::vector<std::string> parameters;
};

struct SymbolRecord {
  std::string asmName;     // the symbol as the listing writes it
  std::string outputName;  // its name in the generated sources; empty for externals
  SymbolKind kind = SymbolKind::external;
  // Exported data always, procedures when a wrapper or a C header is wanted; none for the rest.
  std::optional<DeclarationParts> declaration;
  // Externals and held data: set once a procedure or data line uses it.
  std::uint8_t referenced = 0;
  // Procedures: the name (without ".asm") of the source file, which may differ from the symbol
  // where the symbol is a name brisko's own files have.
  std::string fileStem;
  // Externals declared "extrn 'name' as label": the quoted name the linker resolves (asmName is
  // the label the code uses); empty for every other record.
  std::string quotedName;
};

inline bool isProcedureKind(SymbolKind kind) {
  return kind == SymbolKind::procedureDll || kind == SymbolKind::procedureCDll ||
         kind == SymbolKind::procedure;
}

// Data that the data-sections source defines and declares public: the local data labels and
// the exported arrays, lists and variables.
inline bool isDataKind(SymbolKind kind) {
  return kind == SymbolKind::localData || kind == SymbolKind::array || kind == SymbolKind::list ||
         kind == SymbolKind::variable;
}

// The conversion's symbols in the order they were found. Records are only appended, so
// references to them stay valid; a lookup by asmName finds the first record with that name
// through an index instead of walking the list.
class SymbolList {
 public:
  void clear();
  SymbolRecord& append(SymbolRecord record);
  SymbolRecord* find(std::string_view asmName) {
    const std::size_t i = positionOf(asmName);
    return i == kNone ? nullptr : &records_[i];
  }
  const SymbolRecord* find(std::string_view asmName) const {
    const std::size_t i = positionOf(asmName);
    return i == kNone ? nullptr : &records_[i];
  }

  static constexpr std::size_t kNone = ~std::size_t{0};
  // The position of the first record with the name, or kNone.
  std::size_t positionOf(std::string_view asmName) const {
    return mayHold(asmName) ? indexedPosition(asmName) : kNone;
  }

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  SymbolRecord& operator[](std::size_t i) { return records_[i]; }
  const SymbolRecord& operator[](std::size_t i) const { return records_[i]; }
  auto begin() { return records_.begin(); }
  auto end() { return records_.end(); }
  auto begin() const { return records_.begin(); }
  auto end() const { return records_.end(); }

 private:
  // Most tokens looked up are no symbol at all (mnemonics, registers, numbers). A bit per
  // first byte and length (up to 63) of the names held turns most of them away before hashing.
  bool mayHold(std::string_view name) const {
    if (name.empty()) return !records_.empty();
    const std::size_t bit = name.size() < 64 ? name.size() : 63;
    return (lengths_[static_cast<unsigned char>(name[0])] >> bit) & 1u;
  }
  std::size_t indexedPosition(std::string_view name) const;
  void note(std::string_view name);

  // The index: open addressing over slots that hold part of a name's hash and the position
  // of the first record with that name (plus one; 0 marks a free slot), kept at most three
  // quarters full.
  struct Slot {
    std::uint32_t tag = 0;
    std::uint32_t position = 0;
  };
  std::size_t findSlot(std::string_view name, std::size_t hash) const;
  void grow();

  std::deque<SymbolRecord> records_;
  std::vector<Slot> slots_;
  std::size_t indexed_ = 0;
  std::uint64_t lengths_[256] = {};
};

}  // namespace brisko::pipeline
