// The compile-time conditionals: CompilerIf, CompilerElseIf, CompilerElse and CompilerEndIf
// choose the lines that are compiled, CompilerError stops the compilation. They are applied line
// by line as the source is read, so a branch not taken is never tokenized, parsed or followed
// into the files it includes. A condition may name the compiler's built-in constants and the
// constants the compiled lines above it declare.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ast.h"
#include "lexer.h"

namespace standin {

// What a source line is once the directives are applied.
enum class LineRole : std::uint8_t {
  compiled,   // an ordinary line that is compiled
  directive,  // a directive of a CompilerIf block that stands in compiled code
  skipped,    // a line of a branch not taken (nested directives too)
};

class CompilerDirectives {
 public:
  // The built-in constants by their names in lower case, without "#".
  explicit CompilerDirectives(const std::map<std::string, std::int64_t>& builtins);

  // Takes the next line; `line` is its number in the combined source, for errors. Throws a
  // CompileError for a compiled CompilerError, a directive without its CompilerIf and a
  // condition that is not a constant expression.
  LineRole take(const std::string& text, int line);

  // A CompilerIf block ends in the file that opens it: beginFile returns what endFile needs
  // to check that and to return to the including file.
  std::size_t beginFile();
  void endFile(std::size_t outerBase);

 private:
  struct Block {
    int line = 0;              // of the CompilerIf
    bool outerActive = false;  // whether the block stands in compiled code
    bool taken = false;        // whether one of its branches was taken
    bool active = false;       // whether the current branch is compiled
    bool elseSeen = false;
  };
  struct Constant {
    std::optional<std::int64_t> value;  // empty when not an integer known at compile time
    bool isPublic = false;              // declared in a DeclareModule
  };

  bool active() const { return blocks_.empty() || blocks_.back().active; }
  // The innermost block, which a CompilerElseIf, CompilerElse or CompilerEndIf continues.
  Block& currentBlock(const std::string& keyword, int line);
  bool condition(const std::vector<Token>& tokens, int line) const;
  std::int64_t evaluate(const Expr& expr, int line) const;
  const Constant* findConstant(const std::string& name, const std::string& module) const;
  void noteDeclarations(const std::string& text);

  std::map<std::string, Constant> builtins_;  // seen everywhere, by lower-case name
  bool x64_ = false;                          // shifts take 6 bits of their count, not 5
  std::vector<Block> blocks_;
  std::size_t fileBase_ = 0;  // the blocks opened by the files that include the current one
  // The program's constants, by "module::name" in lower case ("::name" in the main program).
  std::map<std::string, Constant> constants_;
  std::string module_;  // the module part being read, in lower case; empty outside
  bool inDeclareModule_ = false;
  std::map<std::string, std::vector<std::string>> usedModules_;  // by the part that uses them
};

}  // namespace standin
