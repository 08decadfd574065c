// The first pass over the listing: import libraries, externals, and the procedures and
// exported data that the source declares, recorded in the conversion's symbol list.
#pragma once

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Reads conversion.asmListingPath and fills symbols, importLibraries and exportCount; then,
// unless existing sources are reused, writes the data-sections source. Fails (reported) with
// openingFileError when the listing cannot be opened, invalidFile when it ends early or lacks
// a marker line, creatingFileError when the data-sections source cannot be written.
app::Outcome analyseAssembly(Conversion& conversion);

}  // namespace brisko::pipeline
