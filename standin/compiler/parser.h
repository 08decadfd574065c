// Builds the syntax tree of a tokenized source.
#pragma once

#include <string>
#include <vector>

#include "ast.h"
#include "lexer.h"

namespace standin {

// Parses the whole program; throws CompileError with the offending line.
Program parse(const std::vector<Token>& tokens);

// Lower-case copy, for the case-insensitive keywords and names of the language.
std::string lowerCase(const std::string& text);

}  // namespace standin
