// Cutting the listing into one source per procedure, and for object output the link source
// that includes them all.
#pragma once

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Returns 0, 17 when nothing is exported, 13 when the listing cannot be opened, 12 when it
// ends before a procedure's label or closing line, 14 when a source cannot be written.
int splitProcedures(Conversion& conversion);

}  // namespace brisko::pipeline
