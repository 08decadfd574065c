// What FASM wrote is read back before it is trusted: FASM may end without an error after a
// write that the disk cut short. Each object (or library member) must be a whole COFF object
// of the target's machine; together they must define every exported procedure and variable
// exactly once, and every symbol they need from outside must be an external of the listing, a
// name the program linking the output defines, or defined by another member.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>

#include "coff/object.h"
#include "pipeline/conversion.h"

namespace brisko::pipeline {

class ObjectCheck {
 public:
  explicit ObjectCheck(const Conversion& conversion);

  // A failure: the text that names it and its detail ("\n(member: symbol or reason)").
  struct Failure {
    language::TextId text;
    std::string detail;
  };

  // Reads one object (member names it in messages): whole, of the target's machine. With
  // publics, sets it to the symbols the object defines for a library's linker members.
  std::optional<Failure> add(const std::string& member, std::span<const std::uint8_t> bytes,
                             std::vector<std::string>* publics = nullptr);
  // Once every object is in: the exports and the needs of all of them.
  std::optional<Failure> finish() const;

  std::size_t objects() const { return objects_; }
  std::size_t definedSymbols() const { return definedBy_.size(); }
  std::size_t symbolsFromOutside() const { return fromOutside_; }

 private:
  const Conversion& conversion_;
  // Reused sources are the truth once edited: of them, as without the listing's symbols, only
  // the objects' form is checked.
  const bool knowsSymbols_;
  std::size_t objects_ = 0;
  // Every external symbol an object defines, with the objects that define it.
  std::map<std::string, std::vector<std::string>> definedBy_;
  // Every symbol an object needs, with the first object that needs it.
  std::map<std::string, std::string> neededBy_;
  mutable std::size_t fromOutside_ = 0;
};

}  // namespace brisko::pipeline
