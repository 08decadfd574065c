// The data-sections source: the converted program's constants, variables and labelled data,
// copied from the listing's data and bss sections with the names they carry in the output.
#pragma once

#include "pipeline/conversion.h"
#include "pipeline/listing/listing_text.h"

namespace brisko::pipeline {

// Writes Source/<base>_briskoDataSections.asm from the data lines the analysis named, once the
// split has marked what the procedures name: the lines the rules take, the held items that the
// carried code and data name (transitively), the end routine when a procedure jumps to the main
// program's end, and the public and extrn lines; adds the source to the plan. Logs its progress
// line. Fails (reported) with openingFileError when the listing cannot be read, creatingFileError
// when the file cannot be created or written.
app::Outcome writeDataSections(Conversion& conversion);

}  // namespace brisko::pipeline
