// A program's source lines with the files it includes: a line that begins with
// `IncludeFile "file"` or `XIncludeFile "file"` is followed by the lines of that file.
#pragma once

#include <filesystem>
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
  std::vector<std::string> lines;      // the combined lines, as the listing shows them
  std::vector<std::string> codeLines;  // the same with the include statements left blank
  std::vector<LineOrigin> origins;     // one per line
};

// Reads the included files: relative paths from the folder of the file that names them (the
// main source's folder is given). XIncludeFile skips a file that was included before.
// Throws a CompileError already located (see locateError) when an include cannot be read.
SourceText readSourceText(const std::string& source, const std::filesystem::path& folder);

// The error as the main source sees it: the line of the main source, and for a line of an
// included file the file and its line appended to the message.
CompileError locateError(const SourceText& text, const CompileError& error);

}  // namespace standin
