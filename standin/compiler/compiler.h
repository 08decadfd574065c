// The stand-in compiler as a library: source text in, FASM listing (or an error) out.
#pragma once

#include <filesystem>
#include <string>

namespace standin {

struct CompileOptions {
  bool thread = false;   // /THREAD: thread-safe variants of the string functions
  bool unicode = false;  // /UNICODE: UTF-16 strings and the W forms of Windows functions
  bool inlineAsm = false;
  std::filesystem::path
      sourceFolder;  // where IncludeBinary and IncludeFile look for relative paths
};

struct CompileResult {
  bool ok = false;
  int errorLine = 0;    // 1-based, when not ok
  std::string message;  // when not ok
  std::string listing;  // when ok: the commented listing, lines ending with CR LF
};

CompileResult compileProgram(const std::string& sourceText, const CompileOptions& options);

}  // namespace standin
