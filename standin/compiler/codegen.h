// Turns the syntax tree into the commented FASM listing.
#pragma once

#include <string>
#include <vector>

#include "ast.h"
#include "compiler.h"

namespace standin {

// Generates the listing of a parsed program. The source lines are copied into the listing as
// comments. Throws CompileError for semantic errors (unknown functions, type mismatches...).
std::string generateListing(const Program& program, const std::vector<std::string>& sourceLines,
                            const CompileOptions& options);

}  // namespace standin
