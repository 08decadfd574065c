// Object output: the link source, which declares the externals the code and data use and
// includes the data-sections source and every procedure source, so that one FASM run makes the
// object.
#pragma once

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Writes Source/<base>_briskoLinkFile.asm (object output only; nothing for a library) and adds
// it to the plan. Fails (reported) with creatingFileError when it cannot be written.
app::Outcome writeLinkSource(Conversion& conversion);

}  // namespace brisko::pipeline
