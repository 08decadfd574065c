// The check before assembling: every symbol a generated source needs is defined by one of the
// sources or is the listing's external (among them the names the program linking the output
// defines), so FASM and the linker meet no symbol that nothing defines.
#pragma once

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Fails (reported) with unresolvedSymbol, naming the symbol and the procedure or data item that
// refers to it, when the plan's sources need a symbol that nothing provides.
app::Outcome checkClosure(Conversion& conversion);

}  // namespace brisko::pipeline
