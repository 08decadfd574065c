// Running FASM on the generated sources and, for library output, polib on the objects.
#pragma once

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Assembles one source into Bin/<objectName>. Fails (reported) with fasmProblem when FASM
// did not start, objectFasmError when it reported an error.
app::Outcome assembleFile(Conversion& conversion, const std::string& sourcePath,
                          const std::string& objectName);

// Object output: one FASM run on the link source. Library output: every .asm of Source/
// into its own object (with up to conversion.jobs FASM runs at once, logged and reported as
// if one ran after another), then polib into <base>.lib, moved to Bin/. Fails (reported) with
// fasmProblem, objectFasmError, polibProblem, objectPolibError, asmFilesProblem (Source/
// cannot be listed), outputDirectories (no object folder), noAsmFiles or creatingFileError
// (the library could not be moved into Bin/).
app::Outcome assembleAndArchive(Conversion& conversion);

}  // namespace brisko::pipeline
