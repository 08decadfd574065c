// A program's source lines with the files it includes: a line that begins with
// `IncludeFile "file"` or `XIncludeFile "file"` is followed by the lines of that file. The
// compiler directives are applied as the lines are read (see compiler_directives.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "lexer.h"

namespace standin {

// Where a line of the combined source comes from.
struct LineOrigin {
  int mainLine = 0;  // the line of the main source: the line itself or the include that led to it
  std::string file;  // the included file as its include statement names it; empty: main source
  int fileLine = 0;  // the line in that file
};

struct SourceText {
  std::vector<std::string> lines;      // the combined lines as the listing shows them: the lines of
                                       // branches not taken left blank
  std::vector<std::string> codeLines;  // the lines to compile: the same with the include
                                       // statements and the directives left blank
  std::vector<LineOrigin> origins;     // one per line
};

// Reads the included files: relative paths from the folder of the file that names them (the
// main source's folder is given). XIncludeFile skips a file that was included before; an include
// in a branch not taken is not followed. `builtins` are the constants the directives' conditions
// see besides the program's own. Throws a CompileError already located (see locateError) when
// an include cannot be read, a directive is wrong or a compiled CompilerError stops the
// compilation.
SourceText readSourceText(const std::string& source, const std::filesystem::path& folder,
                          const std::map<std::string, std::int64_t>& builtins);

// The error as the main source sees it: the line of the main source, and for a line of an
// included file the file and its line appended to the message.
CompileError locateError(const SourceText& text, const CompileError& error);

}  // namespace standin
