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
