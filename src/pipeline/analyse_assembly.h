// The first pass over the listing: import libraries, externals, and the procedures and
// exported data that the source declares, recorded in the conversion's symbol list.
#pragma once

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Reads conversion.asmListingPath and fills symbols (with what the wrapper's and the C header's
// declarations are formed from), importLibraries, exportCount, dataStart and the variables whose
// initial value the main program sets. Starts the progress line
// "Scanning assembly code / creating data sections" and, on success, leaves it open: the driver
// completes it once the data-sections source is written. Fails (reported, the line completed)
// with openingFileError when the listing cannot be opened, invalidFile when it ends before its
// data or lacks a marker line.
app::Outcome analyseAssembly(Conversion& conversion);

}  // namespace brisko::pipeline
