#include "compiler_directives.h"

#include <algorithm>
#include <cctype>

#include "parser.h"

namespace standin {
namespace {

bool isWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The first word of a line in lower case, read without tokenizing the line: the lines of a
// branch not taken may hold anything.
std::string firstWord(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return "";
  std::size_t end = start;
  while (end < text.size() && isWordChar(text[end])) ++end;
  return lowerCase(text.substr(start, end - start));
}

// The tokens of one line after its first, ending with endOfLine and endOfFile. Errors are
// reported on the line of the combined source.
std::vector<Token> tokensAfterKeyword(const std::string& text, int line) {
  try {
    std::vector<Token> tokens = tokenize({text});
    tokens.erase(tokens.begin());
    return tokens;
  } catch (const CompileError& error) {
    throw CompileError{line, error.message};
  }
}

void expectNothingAfter(const std::vector<Token>& tokens, const std::string& keyword, int line) {
  if (tokens.front().kind != TokenKind::endOfLine) {
    throw CompileError{line, "Syntax error: nothing may follow '" + keyword + "'."};
  }
}

std::string spelling(const std::string& keyword) {
  if (keyword == "compilerelseif") return "CompilerElseIf";
  if (keyword == "compilerelse") return "CompilerElse";
  return "CompilerEndIf";
}

std::string constantKey(const std::string& module, const std::string& name) {
  return module + "::" + lowerCase(name);
}

}  // namespace

CompilerDirectives::CompilerDirectives(const std::map<std::string, std::int64_t>& builtins)
    : x64_(builtins.at("pb_compiler_processor") == builtins.at("pb_processor_x64")) {
  for (const auto& [name, value] : builtins) builtins_[name].value = value;
}

std::size_t CompilerDirectives::beginFile() {
  const std::size_t outer = fileBase_;
  fileBase_ = blocks_.size();
  return outer;
}

void CompilerDirectives::endFile(std::size_t outerBase) {
  if (blocks_.size() > fileBase_) {
    throw CompileError{blocks_.back().line, "'CompilerEndIf' is missing."};
  }
  fileBase_ = outerBase;
}

CompilerDirectives::Block& CompilerDirectives::currentBlock(const std::string& keyword, int line) {
  if (blocks_.size() <= fileBase_) {
    throw CompileError{line, "'" + spelling(keyword) + "' without a matching 'CompilerIf'."};
  }
  Block& block = blocks_.back();
  if (block.elseSeen && keyword != "compilerendif") {
    throw CompileError{line, "'" + spelling(keyword) + "' is not expected after 'CompilerElse'."};
  }
  return block;
}

LineRole CompilerDirectives::take(const std::string& text, int line) {
  const std::string word = firstWord(text);
  if (word == "compilerif") {
    const bool outer = active();
    const bool chosen = outer && condition(tokensAfterKeyword(text, line), line);
    blocks_.push_back({line, outer, chosen, chosen, false});
    return outer ? LineRole::directive : LineRole::skipped;
  }
  if (word == "compilerelseif" || word == "compilerelse" || word == "compilerendif") {
    Block& block = currentBlock(word, line);
    const bool outer = block.outerActive;
    // Only a directive that stands in compiled code is read further than its keyword.
    const std::vector<Token> tokens = outer ? tokensAfterKeyword(text, line) : std::vector<Token>{};
    if (word == "compilerendif") {
      if (outer) expectNothingAfter(tokens, "CompilerEndIf", line);
      blocks_.pop_back();
    } else if (word == "compilerelse") {
      if (outer) expectNothingAfter(tokens, "CompilerElse", line);
      block.active = outer && !block.taken;
      block.taken = true;
      block.elseSeen = true;
    } else {
      // Once a branch was taken, the later conditions are not evaluated.
      block.active = outer && !block.taken && condition(tokens, line);
      block.taken = block.taken || block.active;
    }
    return outer ? LineRole::directive : LineRole::skipped;
  }
  if (!active()) return LineRole::skipped;
  if (word == "compilererror") {
    const std::vector<Token> tokens = tokensAfterKeyword(text, line);
    if (tokens.front().kind != TokenKind::string || tokens[1].kind != TokenKind::endOfLine) {
      throw CompileError{line, "Syntax error: CompilerError needs a message in double quotes."};
    }
    throw CompileError{line, tokens.front().text};
  }
  noteDeclarations(text);
  return LineRole::compiled;
}

bool CompilerDirectives::condition(const std::vector<Token>& tokens, int line) const {
  ExprPtr expr;
  try {
    expr = parseExpressionOnly(tokens);
  } catch (const CompileError& error) {
    throw CompileError{line, error.message};
  }
  return evaluate(*expr, line) != 0;
}

std::int64_t CompilerDirectives::evaluate(const Expr& expr, int line) const {
  switch (expr.kind) {
    case Expr::Kind::number:
      return expr.value;
    case Expr::Kind::constant: {
      const Constant* constant = findConstant(expr.text, expr.module);
      if (constant == nullptr) {
        throw CompileError{line, "The constant #" +
                                     (expr.module.empty() ? "" : expr.module + "::") + expr.text +
                                     " is not declared."};
      }
      if (!constant->value) {
        throw CompileError{
            line, "The constant #" + expr.text + " has no integer value the compiler knows here."};
      }
      return *constant->value;
    }
    case Expr::Kind::unary: {
      const std::int64_t operand = evaluate(*expr.left, line);
      if (expr.text == "-") return -operand;
      if (expr.text == "~") return ~operand;
      return operand == 0 ? 1 : 0;
    }
    case Expr::Kind::binary: {
      const std::int64_t left = evaluate(*expr.left, line);
      const std::int64_t right = evaluate(*expr.right, line);
      const std::string& op = expr.text;
      if (op == "and") return left != 0 && right != 0 ? 1 : 0;
      if (op == "or") return left != 0 || right != 0 ? 1 : 0;
      if (op == "xor") return (left != 0) != (right != 0) ? 1 : 0;
      if (op == "=") return left == right ? 1 : 0;
      if (op == "<>") return left != right ? 1 : 0;
      if (op == "<") return left < right ? 1 : 0;
      if (op == ">") return left > right ? 1 : 0;
      if (op == "<=") return left <= right ? 1 : 0;
      if (op == ">=") return left >= right ? 1 : 0;
      if (op == "+") return left + right;
      if (op == "-") return left - right;
      if (op == "*") return left * right;
      if (op == "&") return left & right;
      if (op == "|") return left | right;
      if (op == "/" || op == "%") {
        if (right == 0) throw CompileError{line, "Division by zero."};
        return op == "/" ? left / right : left % right;
      }
      // Shifts count as the code generator folds them: 5 bits of the count on x86, 6 on x64.
      const std::int64_t count = right & (x64_ ? 63 : 31);
      if (op == "<<") return static_cast<std::int64_t>(static_cast<std::uint64_t>(left) << count);
      return left >> count;
    }
    case Expr::Kind::call:
      // Defined(name, #PB_Constant): whether a constant of that name is declared above.
      if (lowerCase(expr.text) == "defined" && expr.module.empty() && expr.args.size() == 2) {
        const Expr& name = *expr.args[0];
        const Expr& kind = *expr.args[1];
        if (kind.kind != Expr::Kind::constant || lowerCase(kind.text) != "pb_constant") {
          throw CompileError{line, "Defined() checks constants only (#PB_Constant)."};
        }
        if (name.kind != Expr::Kind::constant && name.kind != Expr::Kind::name) {
          throw CompileError{line, "Defined() needs the name of a constant."};
        }
        return findConstant(name.text, name.module) != nullptr ? 1 : 0;
      }
      break;
    default:
      break;
  }
  throw CompileError{line, "A compiler directive takes constant expressions only."};
}

const CompilerDirectives::Constant* CompilerDirectives::findConstant(
    const std::string& name, const std::string& module) const {
  // A part sees its own constants, then the public ones of the modules it uses; "#m::name"
  // reaches a public constant of m. The built-in constants are seen everywhere.
  const auto lookUp = [&](const std::string& part, bool ownPart) -> const Constant* {
    const auto found = constants_.find(constantKey(part, name));
    return found != constants_.end() && (ownPart || found->second.isPublic) ? &found->second
                                                                            : nullptr;
  };
  if (!module.empty()) return lookUp(lowerCase(module), lowerCase(module) == module_);
  if (const Constant* own = lookUp(module_, true)) return own;
  if (const auto used = usedModules_.find(module_); used != usedModules_.end()) {
    for (const std::string& other : used->second) {
      if (const Constant* constant = lookUp(other, false)) return constant;
    }
  }
  const auto builtin = builtins_.find(lowerCase(name));
  return builtin != builtins_.end() ? &builtin->second : nullptr;
}

// Follows what a compiled line declares that later conditions may ask about: constants, and
// the module part they belong to. A line the parser will refuse is passed over here; the parser
// reports it with its reason.
void CompilerDirectives::noteDeclarations(const std::string& text) {
  std::vector<Token> tokens;
  try {
    tokens = tokenize({text});
  } catch (const CompileError&) {
    return;
  }
  // Each statement of the line, up to a ":" separator.
  std::size_t start = 0;
  while (start < tokens.size() && tokens[start].kind != TokenKind::endOfLine) {
    std::size_t end = start;
    while (tokens[end].kind != TokenKind::endOfLine &&
           !(tokens[end].kind == TokenKind::symbol && tokens[end].text == ":")) {
      ++end;
    }
    const Token& first = tokens[start];
    const std::string word = first.kind == TokenKind::identifier ? lowerCase(first.text) : "";
    const bool named = end > start + 1 && tokens[start + 1].kind == TokenKind::identifier;
    const std::string name = named ? lowerCase(tokens[start + 1].text) : "";
    if (first.kind == TokenKind::constant && end > start + 1 &&
        tokens[start + 1].kind == TokenKind::symbol && tokens[start + 1].text == "=") {
      std::vector<Token> valueTokens(tokens.begin() + static_cast<std::ptrdiff_t>(start + 2),
                                     tokens.begin() + static_cast<std::ptrdiff_t>(end));
      valueTokens.push_back({TokenKind::endOfLine, "", 0, first.line});
      valueTokens.push_back({TokenKind::endOfFile, "", 0, first.line});
      Constant constant;
      constant.isPublic = inDeclareModule_;
      try {
        constant.value = evaluate(*parseExpressionOnly(valueTokens), first.line);
      } catch (const CompileError&) {
        // Not an integer known here (a string, say); the code generator judges it.
      }
      // A second declaration keeps the first value; the code generator refuses a different one.
      constants_.try_emplace(constantKey(module_, first.text), constant);
    } else if ((word == "declaremodule" || word == "module") && named) {
      module_ = name;
      inDeclareModule_ = word == "declaremodule";
    } else if (word == "enddeclaremodule" || word == "endmodule") {
      module_.clear();
      inDeclareModule_ = false;
    } else if (word == "usemodule" && named) {
      usedModules_[module_].push_back(name);
    } else if (word == "unusemodule" && named) {
      std::vector<std::string>& used = usedModules_[module_];
      used.erase(std::remove(used.begin(), used.end(), name), used.end());
    }
    start = end + (tokens[end].kind == TokenKind::endOfLine ? 0 : 1);
  }
}

}  // namespace standin
