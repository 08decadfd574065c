#include "compiler.h"

#include "codegen.h"
#include "lexer.h"
#include "parser.h"

namespace standin {

CompileResult compileProgram(const std::string& sourceText, const CompileOptions& options) {
  CompileResult result;
  try {
    const std::vector<std::string> lines = splitSourceLines(sourceText);
    const Program program = parse(tokenize(lines));
    result.listing = generateListing(program, lines, options);
    result.ok = true;
  } catch (const CompileError& error) {
    result.errorLine = error.line < 1 ? 1 : error.line;
    result.message = error.message;
  }
  return result;
}

}  // namespace standin
