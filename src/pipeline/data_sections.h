// The data-sections source: the converted program's constants, variables and labelled data,
// copied from the listing's data and bss sections with the names they carry in the output.
#pragma once

#include "pipeline/conversion.h"
#include "pipeline/listing/listing_text.h"

namespace brisko::pipeline {

// Writes Source/<base>_briskoDataSections.asm from the listing's data, which starts at
// conversion.dataStart (the analysis has run); the writer reads the listing to its end. Fails
// with openingFileError when the listing cannot be read, creatingFileError when the file cannot
// be created or written, invalidFile when the listing lacks the bss or the second data section
// line. Failures are reported (and the analysis' pending log line completed) before returning.
app::Outcome writeDataSections(Conversion& conversion);

}  // namespace brisko::pipeline
