// Builds the syntax tree of a tokenized source.
#pragma once

#include <string>
#include <vector>

#include "ast.h"
#include "lexer.h"

namespace standin {

// Parses the whole program; throws CompileError with the offending line.
Program parse(const std::vector<Token>& tokens);

// Parses tokens that hold one expression and nothing after it but the end of the line (the
// condition of a compiler directive); throws CompileError for anything else.
ExprPtr parseExpressionOnly(const std::vector<Token>& tokens);

// Lower-case copy, for the case-insensitive keywords and names of the language.
std::string lowerCase(const std::string& text);

}  // namespace standin
