// The layouts the real compilers write, 4.2x to 6.x, on x86 and x64. No marker line: the
// program follows the code section's start-up lines. A procedure's code opens with
// "macro MP<n>{" and its label (4.2x to 4.5x, ending at "}") or with its label alone (ending
// at the next procedure's source line or section line), in the main code, in a second code
// section after the bss (5.2x, 5.3x) or after the main program's end code (5.4x and later).
// The header makes the runtime's items public and may define aliases; the runtime keeps
// cells and markers of its own in the data and bss, which stay the program's; End in a
// procedure jumps to the main program's end code.
#pragma once

#include "pipeline/listing/listing_reader.h"

namespace brisko::pipeline {

class CompilerLayoutReader : public ListingReader {
 public:
  explicit CompilerLayoutReader(const Listing& listing) : ListingReader(listing) {}

  bool nextProgramLine(ProgramLine& line) override;
  bool procedureLabel(std::string_view& label) override;
  bool endsThroughMainCode() const override { return true; }

  // The two entry labels of the main program's end code: without the exit code pushed, and
  // with it.
  static constexpr std::string_view kEndNoValue = "_PB_EOP_NoValue";
  static constexpr std::string_view kEndWithValue = "_PB_EOP";

 private:
  bool findProgramStart(ListingHeader& header) override;
  bool isValueDefinition(std::string_view name) const override;
  bool isRuntimeItem(std::string_view name) const override;
  bool takesEveryBssItem() const override { return true; }
  bool mayEndInBss() const override { return true; }
  // Records a runtime item that a data or bss line defines.
  void noteRuntimeItem(std::string_view line);

  // True inside a code section (the program's lines are there alone).
  bool inCode_ = true;
};

}  // namespace brisko::pipeline
