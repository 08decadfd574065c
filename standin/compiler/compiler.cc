#include "compiler.h"

#include "codegen.h"
#include "lexer.h"
#include "parser.h"
#include "source_text.h"

namespace standin {

namespace {

// The setting's word in lower case without the blanks around it.
std::string settingWord(const std::string& text) {
  const std::string word = lowerCase(text);
  const std::size_t first = word.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return word.substr(first, word.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::optional<ListingLayout> listingLayoutNamed(const std::string& name) {
  const std::string word = settingWord(name);
  if (word.empty()) return ListingLayout::classic;
  if (word == "classic") return ListingLayout::classic;
  if (word == "macros") return ListingLayout::macros;
  if (word == "after-bss") return ListingLayout::afterBss;
  if (word == "after-end-code") return ListingLayout::afterEndCode;
  return std::nullopt;
}

std::string listingVersion(ListingLayout layout) {
  switch (layout) {
    case ListingLayout::macros:
      return "4.50";
    case ListingLayout::afterBss:
      return "5.31";
    case ListingLayout::afterEndCode:
      return "5.73 LTS";
    case ListingLayout::classic:
      break;
  }
  return "4.20";
}

std::optional<Target> targetNamed(const std::string& name) {
  const std::string word = settingWord(name);
  if (word.empty() || word == "x86") return Target::x86;
  if (word == "x64") return Target::x64;
  return std::nullopt;
}

std::string targetName(Target target) {
  return target == Target::x64 ? "x64" : "x86";
}

std::map<std::string, std::int64_t> builtinConstants(const CompileOptions& options) {
  const bool x64 = options.target == Target::x64;
  // An x64 compiler acts as the generation that writes the after-end-code layout.
  const std::string version = listingVersion(x64 ? ListingLayout::afterEndCode : options.layout);
  std::int64_t versionNumber = 0;  // "5.73 LTS" is 573
  for (std::size_t i = 0; i < version.size() && version[i] != ' '; ++i) {
    if (version[i] != '.') versionNumber = versionNumber * 10 + (version[i] - '0');
  }
  constexpr std::int64_t x86 = 1;
  constexpr std::int64_t x64Processor = 2;
  constexpr std::int64_t windows = 1;
  return {{"true", 1},
          {"false", 0},
          {"null", 0},
          {"pb_processor_x86", x86},
          {"pb_processor_x64", x64Processor},
          {"pb_os_windows", windows},
          {"pb_os_linux", 2},
          {"pb_os_macos", 3},
          {"pb_compiler_processor", x64 ? x64Processor : x86},
          {"pb_compiler_os", windows},
          {"pb_compiler_thread", options.thread ? 1 : 0},
          {"pb_compiler_unicode", options.unicode ? 1 : 0},
          {"pb_compiler_version", versionNumber}};
}

CompileResult compileProgram(const std::string& sourceText, const CompileOptions& options) {
  CompileResult result;
  try {
    const SourceText text =
        readSourceText(sourceText, options.sourceFolder, builtinConstants(options));
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
