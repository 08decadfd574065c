#include "compiler.h"

#include "codegen.h"
#include "lexer.h"
#include "parser.h"
#include "source_text.h"

namespace standin {

CompileResult compileProgram(const std::string& sourceText, const CompileOptions& options) {
  CompileResult result;
  try {
    const SourceText text = readSourceText(sourceText, options.sourceFolder);
    try {
      const Program program = parse(tokenize(text.codeLines));
      result.listing = generateListing(program, text.lines, options);
      result.ok = true;
    } catch (const CompileError& error) {
      throw locateError(text, error);
    }
  } catch (const CompileError& error) {
    result.errorLine = error.line < 1 ? 1 : error.line;
    result.message = error.message;
  }
  return result;
}

}  // namespace standin
