// The first pass over the listing: import libraries, externals, and the procedures and
// exported data that the source declares, recorded in the conversion's symbol list.
#pragma once

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Reads conversion.asmListingPath and fills symbols, importLibraries and exportCount; then,
// unless existing sources are reused, writes the data-sections source. Returns 0, 13 when the
// listing cannot be opened, 12 when it ends early or lacks a marker line, 14 when the
// data-sections source cannot be written. Failures are reported before returning.
int analyseAssembly(Conversion& conversion);

}  // namespace brisko::pipeline
