// Cutting the listing into one source per procedure.
#pragma once

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Fails (reported) with noExports when nothing is exported, openingFileError when the listing
// cannot be opened, invalidFile when it ends before a procedure's label or closing line,
// creatingFileError when a source cannot be written.
app::Outcome splitProcedures(Conversion& conversion);

}  // namespace brisko::pipeline
