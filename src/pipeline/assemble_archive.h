// Running FASM on the generated sources and, for library output, polib on the objects.
#pragma once

#include <string>

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Assembles one source into Bin/<objectName>. Returns 0, 7 (FASM did not start) or 61
// (FASM reported an error).
int assembleFile(Conversion& conversion, const std::string& sourcePath,
                 const std::string& objectName);

// Object output: one FASM run on the link source. Library output: every .asm of Source/
// into its own object (with up to conversion.jobs FASM runs at once, logged and reported as
// if one ran after another), then polib into <base>.lib, moved to Bin/. Returns 0 or 7, 61,
// 8, 63, 21, 22, 14 (the library could not be moved into Bin/).
int assembleAndArchive(Conversion& conversion);

}  // namespace brisko::pipeline
