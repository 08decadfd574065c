// The classic layout: after the header, a marker line "; :" opens the program; every procedure
// is a macro ("macro MP<n>{", its label, its code, "}") standing where the source has it; the
// data and bss follow all code, and the runtime keeps no items there.
#pragma once

#include "pipeline/listing/listing_reader.h"

namespace brisko::pipeline {

class ClassicLayoutReader : public ListingReader {
 public:
  explicit ClassicLayoutReader(const Listing& listing) : ListingReader(listing) {}

  bool nextProgramLine(ProgramLine& line) override;
  bool procedureLabel(std::string_view& label) override;
  bool endsThroughMainCode() const override { return false; }

 private:
  bool findProgramStart(ListingHeader& header) override;
  bool isValueDefinition(std::string_view name) const override;
  bool isRuntimeItem(std::string_view) const override { return false; }
  bool takesEveryBssItem() const override { return false; }
  bool mayEndInBss() const override { return false; }
};

}  // namespace brisko::pipeline
