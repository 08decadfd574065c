// Initial values the converted code loses: "Global x = 5" in the main program is an assignment
// that the main program's code makes, and the output holds none of the main program. The
// analysis hands every main-program source line to a scan, which names such variables; the
// driver warns of them once the conversion has succeeded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pipeline/split_tokens.h"

namespace brisko::pipeline {

class Conversion;

// Reads the main program's source lines in their order and collects the variables whose
// declaration (Global, Define, Public, Protected, Static, Threaded; several items on a line, and
// several statements joined by ":") gives them a value other than 0 or an empty string. Arrays,
// lists and maps carry no such value. A variable of a module is named "module::name".
class InitialValueScan {
 public:
  void noteMainProgramLine(std::string_view source);
  // The variables found so far, in source order, each once, as the source spells them
  // (without their type: "total", "name$", "*buffer").
  const std::vector<std::string>& names() const { return names_; }

 private:
  // Reads the items of a declaration from token i on; returns where its statement ends.
  std::size_t readItems(std::size_t i);
  void note(std::string_view name);

  TokenArray tokens_;
  std::string module_;
  std::vector<std::string> names_;
};

// After a successful conversion: the warning that names the variables of
// conversion.listing.lostInitialValues (shown and logged as one line), when there are any.
void warnOfLostInitialValues(Conversion& conversion);

}  // namespace brisko::pipeline
