#include "parser.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace standin {

std::string lowerCase(const std::string& text) {
  std::string result = text;
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

namespace {

class Parser {
 public:
  explicit Parser(const std::vector<Token>& tokens) : tokens_(tokens) {}

  ExprPtr parseWholeExpression() {
    ExprPtr expr = parseExpression();
    if (peek().kind != TokenKind::endOfLine && peek().kind != TokenKind::endOfFile) syntaxError();
    return expr;
  }

  Program parseProgram() {
    Program program;
    program.statements = parseBlock({});
    if (peek().kind != TokenKind::endOfFile) {
      throw CompileError{peek().line, "'" + peek().text + "' without a matching opening keyword."};
    }
    return program;
  }

 private:
  const Token& peek(std::size_t ahead = 0) const {
    const std::size_t index = std::min(pos_ + ahead, tokens_.size() - 1);
    return tokens_[index];
  }
  const Token& next() {
    const Token& token = tokens_[pos_];
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return token;
  }
  bool isSymbol(const std::string& symbol, std::size_t ahead = 0) const {
    return peek(ahead).kind == TokenKind::symbol && peek(ahead).text == symbol;
  }
  bool isKeyword(const std::string& keyword, std::size_t ahead = 0) const {
    return peek(ahead).kind == TokenKind::identifier && lowerCase(peek(ahead).text) == keyword;
  }
  bool atSeparator() const {
    const TokenKind kind = peek().kind;
    return kind == TokenKind::endOfLine || kind == TokenKind::endOfFile || isSymbol(":");
  }
  [[noreturn]] void syntaxError() const {
    const Token& token = peek();
    if (token.kind == TokenKind::endOfLine || token.kind == TokenKind::endOfFile) {
      throw CompileError{token.line, "Syntax error: the line ends too early."};
    }
    throw CompileError{token.line, "Syntax error near '" + token.text + "'."};
  }
  void expectSymbol(const std::string& symbol) {
    if (!isSymbol(symbol)) {
      const Token& token = peek();
      throw CompileError{token.line, "Syntax error: '" + symbol + "' expected."};
    }
    next();
  }
  std::string expectName() {
    if (peek().kind != TokenKind::identifier) syntaxError();
    return next().text;
  }
  void expectEndOfStatement() {
    if (!atSeparator()) syntaxError();
  }

  // A ".x" type suffix, if one follows.
  std::optional<Type> parseTypeSuffix() {
    if (!isSymbol(".") || peek(1).kind != TokenKind::identifier) return std::nullopt;
    next();
    const Token& token = next();
    const std::string type = lowerCase(token.text);
    if (type == "b") return Type::byte;
    if (type == "w") return Type::word;
    if (type == "l") return Type::longInt;
    if (type == "i") return Type::integer;
    if (type == "s") return Type::string;
    throw CompileError{token.line, "The type '." + token.text + "' is not supported."};
  }

  // Statements up to (not including) one that starts with one of the closing keywords.
  Block parseBlock(std::initializer_list<const char*> closers) {
    Block block;
    if (closers.size() != 0) ++nesting_;
    for (;;) {
      while (peek().kind == TokenKind::endOfLine || isSymbol(":")) next();
      if (peek().kind == TokenKind::endOfFile) {
        if (closers.size() != 0) {
          throw CompileError{peek().line,
                             "'" + keywordSpelling(*closers.begin()) + "' is missing."};
        }
        return block;
      }
      for (const char* closer : closers) {
        if (isKeyword(closer)) {
          --nesting_;
          return block;
        }
      }
      if (peek().kind == TokenKind::identifier && isCloser(lowerCase(peek().text))) {
        if (closers.size() == 0) {
          throw CompileError{peek().line,
                             "'" + peek().text + "' without a matching opening keyword."};
        }
        throw CompileError{peek().line, "'" + peek().text + "' is not expected here."};
      }
      block.push_back(parseStatement());
      expectEndOfStatement();
    }
  }

  // The usual spelling of a closing keyword, for messages.
  static std::string keywordSpelling(const std::string& word) {
    static const std::pair<const char*, const char*> spellings[] = {
        {"endif", "EndIf"},
        {"wend", "Wend"},
        {"until", "Until"},
        {"next", "Next"},
        {"endprocedure", "EndProcedure"},
        {"enddeclaremodule", "EndDeclareModule"},
        {"endmodule", "EndModule"}};
    for (const auto& [lower, spelled] : spellings) {
      if (word == lower) return spelled;
    }
    return word;
  }

  static bool isCloser(const std::string& word) {
    static const char* const words[] = {"endif",
                                        "else",
                                        "elseif",
                                        "wend",
                                        "until",
                                        "forever",
                                        "next",
                                        "endprocedure",
                                        "enddatasection",
                                        "endimport",
                                        "enddeclaremodule",
                                        "endmodule"};
    for (const char* w : words) {
      if (word == w) return true;
    }
    return false;
  }

  StmtPtr makeStmt(Stmt::Kind kind, int line) {
    auto stmt = std::make_unique<Stmt>();
    stmt->kind = kind;
    stmt->line = line;
    return stmt;
  }

  StmtPtr parseStatement() {
    const Token& first = peek();
    const int line = first.line;
    if (first.kind == TokenKind::inlineAsm) {
      auto stmt = makeStmt(Stmt::Kind::inlineAsm, line);
      stmt->text = next().text;
      return stmt;
    }
    if (first.kind == TokenKind::constant) {
      auto stmt = makeStmt(Stmt::Kind::constantDef, line);
      stmt->text = next().text;
      expectSymbol("=");
      stmt->value = parseExpression();
      return stmt;
    }
    if (first.kind != TokenKind::identifier) syntaxError();
    const std::string word = lowerCase(first.text);
    // The reader applies the compiler directives line by line, before anything is parsed.
    if (word == "compilerif" || word == "compilerelseif" || word == "compilerelse" ||
        word == "compilerendif" || word == "compilererror") {
      throw CompileError{line, "'" + first.text + "' must begin its line."};
    }

    if (word == "if") return parseIf();
    if (word == "while") {
      next();
      auto stmt = makeStmt(Stmt::Kind::whileLoop, line);
      stmt->condition = parseExpression();
      stmt->body = parseBlock({"wend"});
      stmt->endLine = next().line;
      return stmt;
    }
    if (word == "repeat") {
      next();
      auto stmt = makeStmt(Stmt::Kind::repeatLoop, line);
      stmt->body = parseBlock({"until", "forever"});
      stmt->endLine = peek().line;
      if (lowerCase(next().text) == "until") stmt->condition = parseExpression();
      return stmt;
    }
    if (word == "for") return parseFor();
    if (word == "procedure" || word == "procedurec" || word == "proceduredll" ||
        word == "procedurecdll") {
      return parseProcedure();
    }
    if (word == "procedurereturn") {
      next();
      auto stmt = makeStmt(Stmt::Kind::procedureReturn, line);
      if (!atSeparator()) stmt->value = parseExpression();
      return stmt;
    }
    if (word == "global" || word == "public" || word == "define" || word == "protected" ||
        word == "static") {
      return parseDeclaration();
    }
    if (word == "dim" || word == "newlist") {
      auto stmt = makeStmt(Stmt::Kind::declaration, line);
      stmt->keyword = "Dim";
      parseDeclItems(*stmt);
      return stmt;
    }
    if (word == "import" || word == "importc") return parseImport();
    if (word == "datasection") return parseDataSection();
    if (word == "end") {
      next();
      auto stmt = makeStmt(Stmt::Kind::end, line);
      if (!atSeparator()) stmt->value = parseExpression();
      return stmt;
    }
    if (word == "break" || word == "continue") {
      next();
      return makeStmt(word == "break" ? Stmt::Kind::breakLoop : Stmt::Kind::continueLoop, line);
    }
    if (word == "read") {
      next();
      auto stmt = makeStmt(Stmt::Kind::read, line);
      stmt->defaultType = parseTypeSuffix();
      stmt->target = parsePostfix();
      if (stmt->target->kind != Expr::Kind::name) {
        throw CompileError{line, "Read needs a variable."};
      }
      return stmt;
    }
    if (word == "restore") {
      next();
      auto stmt = makeStmt(Stmt::Kind::restore, line);
      stmt->text = expectName();
      return stmt;
    }
    if (word == "declare" || word == "declarec" || word == "declaredll" || word == "declarecdll") {
      next();
      auto stmt = makeStmt(Stmt::Kind::declare, line);
      parseTypeSuffix();
      stmt->text = expectName();
      while (!atSeparator()) next();
      return stmt;
    }
    if (word == "declaremodule" || word == "module") return parseModule(word == "declaremodule");
    if (word == "usemodule" || word == "unusemodule") {
      next();
      auto stmt = makeStmt(Stmt::Kind::useModule, line);
      stmt->keyword = word == "usemodule" ? "UseModule" : "UnuseModule";
      stmt->text = expectName();
      return stmt;
    }

    // An assignment or a call.
    ExprPtr target = parsePostfix();
    if (isSymbol("=")) {
      next();
      if (target->kind != Expr::Kind::name && target->kind != Expr::Kind::call) syntaxError();
      auto stmt = makeStmt(Stmt::Kind::assign, line);
      stmt->target = std::move(target);
      stmt->value = parseExpression();
      return stmt;
    }
    if (target->kind != Expr::Kind::call && target->kind != Expr::Kind::apiCall) syntaxError();
    auto stmt = makeStmt(Stmt::Kind::call, line);
    stmt->value = std::move(target);
    return stmt;
  }

  StmtPtr parseIf() {
    auto stmt = makeStmt(Stmt::Kind::ifChain, peek().line);
    next();
    IfBranch branch;
    branch.line = stmt->line;
    branch.condition = parseExpression();
    branch.body = parseBlock({"endif", "elseif", "else"});
    stmt->branches.push_back(std::move(branch));
    for (;;) {
      const Token& closer = next();
      const std::string word = lowerCase(closer.text);
      if (word == "endif") {
        stmt->endLine = closer.line;
        return stmt;
      }
      IfBranch more;
      more.line = closer.line;
      if (word == "elseif") {
        more.condition = parseExpression();
        more.body = parseBlock({"endif", "elseif", "else"});
      } else {
        more.body = parseBlock({"endif"});
      }
      stmt->branches.push_back(std::move(more));
    }
  }

  StmtPtr parseFor() {
    auto stmt = makeStmt(Stmt::Kind::forLoop, peek().line);
    next();
    stmt->target = parsePostfix();
    if (stmt->target->kind != Expr::Kind::name) syntaxError();
    expectSymbol("=");
    stmt->value = parseExpression();
    if (!isKeyword("to")) throw CompileError{peek().line, "Syntax error: 'To' expected."};
    next();
    stmt->limit = parseExpression();
    if (isKeyword("step")) {
      next();
      stmt->condition = parseExpression();  // the step; must fold to a constant
    }
    stmt->body = parseBlock({"next"});
    stmt->endLine = next().line;
    if (peek().kind == TokenKind::identifier) next();
    return stmt;
  }

  std::vector<Param> parseParams() {
    std::vector<Param> params;
    expectSymbol("(");
    if (isSymbol(")")) {
      next();
      return params;
    }
    for (;;) {
      Param param;
      param.name = expectName();
      param.type = parseTypeSuffix();
      if (isSymbol("=")) {
        next();
        param.defaultValue = parseExpression();
      }
      params.push_back(std::move(param));
      if (isSymbol(")")) break;
      expectSymbol(",");
    }
    next();
    return params;
  }

  StmtPtr parseProcedure() {
    const Token& keyword = next();
    if (insideProcedure_) {
      throw CompileError{keyword.line, "A procedure cannot be declared inside a procedure."};
    }
    if (insideDeclareModule_) {
      throw CompileError{keyword.line,
                         "A procedure belongs in the Module; DeclareModule only declares it."};
    }
    auto decl = std::make_unique<ProcedureDecl>();
    const std::string word = lowerCase(keyword.text);
    decl->keyword = word == "procedure"      ? "Procedure"
                    : word == "procedurec"   ? "ProcedureC"
                    : word == "proceduredll" ? "ProcedureDLL"
                                             : "ProcedureCDLL";
    decl->line = keyword.line;
    decl->returnType = parseTypeSuffix();
    decl->name = expectName();
    decl->params = parseParams();
    insideProcedure_ = true;
    decl->body = parseBlock({"endprocedure"});
    insideProcedure_ = false;
    decl->endLine = next().line;
    auto stmt = makeStmt(Stmt::Kind::procedure, decl->line);
    stmt->procedure = std::move(decl);
    return stmt;
  }

  // DeclareModule and Module stand at the top of the program, each with its closing keyword.
  StmtPtr parseModule(bool declaration) {
    const Token& keyword = next();
    if (nesting_ != 0) {
      throw CompileError{keyword.line,
                         "A module must stand outside procedures, blocks and other modules."};
    }
    auto stmt =
        makeStmt(declaration ? Stmt::Kind::declareModule : Stmt::Kind::module, keyword.line);
    stmt->text = expectName();
    insideDeclareModule_ = declaration;
    stmt->body = parseBlock({declaration ? "enddeclaremodule" : "endmodule"});
    insideDeclareModule_ = false;
    stmt->endLine = next().line;
    return stmt;
  }

  StmtPtr parseDeclaration() {
    const Token& keyword = next();
    auto stmt = makeStmt(Stmt::Kind::declaration, keyword.line);
    const std::string word = lowerCase(keyword.text);
    stmt->keyword = word == "global"   ? "Global"
                    : word == "public" ? "Public"
                    : word == "define" ? "Define"
                    : word == "static" ? "Static"
                                       : "Protected";
    stmt->defaultType = parseTypeSuffix();
    if (atSeparator()) {
      if (stmt->keyword != "Define" || !stmt->defaultType) syntaxError();
      return stmt;
    }
    parseDeclItems(*stmt);
    return stmt;
  }

  void parseDeclItems(Stmt& stmt) {
    for (;;) {
      DeclItem item;
      item.line = peek().line;
      if (isKeyword("dim") || isKeyword("newlist")) {
        item.kind = isKeyword("dim") ? DeclItem::Kind::array : DeclItem::Kind::list;
        next();
        item.name = expectName();
        item.type = parseTypeSuffix();
        expectSymbol("(");
        if (item.kind == DeclItem::Kind::array) item.init = parseExpression();
        expectSymbol(")");
      } else {
        item.name = expectName();
        item.type = parseTypeSuffix();
        if (isSymbol("=")) {
          next();
          item.init = parseExpression();
        }
      }
      stmt.items.push_back(std::move(item));
      if (!isSymbol(",")) return;
      next();
    }
  }

  StmtPtr parseImport() {
    const Token& keyword = next();
    auto stmt = makeStmt(Stmt::Kind::importBlock, keyword.line);
    stmt->cdecl = lowerCase(keyword.text) == "importc";
    if (peek().kind != TokenKind::string) {
      throw CompileError{keyword.line, "Syntax error: the library name must be a string."};
    }
    stmt->text = next().text;
    for (;;) {
      while (peek().kind == TokenKind::endOfLine || isSymbol(":")) next();
      if (peek().kind == TokenKind::endOfFile) {
        throw CompileError{peek().line, "'EndImport' is missing."};
      }
      if (isKeyword("endimport")) break;
      ImportedFunction function;
      function.line = peek().line;
      function.name = expectName();
      function.returnType = parseTypeSuffix();
      if (isSymbol("(")) {
        function.params = parseParams();
      } else {
        function.variable = true;
      }
      if (isKeyword("as")) {
        next();
        if (peek().kind != TokenKind::string) syntaxError();
        function.symbol = next().text;
        if (function.symbol.empty()) {
          throw CompileError{function.line, "The imported symbol name is empty."};
        }
      }
      expectEndOfStatement();
      stmt->imports.push_back(std::move(function));
    }
    stmt->endLine = next().line;
    return stmt;
  }

  StmtPtr parseDataSection() {
    auto stmt = makeStmt(Stmt::Kind::dataSection, next().line);
    for (;;) {
      while (peek().kind == TokenKind::endOfLine || isSymbol(":")) next();
      if (peek().kind == TokenKind::endOfFile) {
        throw CompileError{peek().line, "'EndDataSection' is missing."};
      }
      if (isKeyword("enddatasection")) break;
      DataItem item;
      item.line = peek().line;
      if (peek().kind == TokenKind::identifier && isSymbol(":", 1)) {
        item.kind = DataItem::Kind::label;
        item.text = next().text;
        next();
        stmt->data.push_back(std::move(item));
        continue;
      }
      if (isKeyword("data")) {
        next();
        const std::optional<Type> type = parseTypeSuffix();
        if (!type) throw CompileError{item.line, "Data needs a type, for example 'Data.l'."};
        item.type = *type;
        for (;;) {
          item.values.push_back(parseExpression());
          if (!isSymbol(",")) break;
          next();
        }
      } else if (isKeyword("includebinary")) {
        next();
        if (peek().kind != TokenKind::string) syntaxError();
        item.kind = DataItem::Kind::includeBinary;
        item.text = next().text;
      } else {
        throw CompileError{item.line,
                           "Only labels, Data and IncludeBinary belong in a DataSection."};
      }
      expectEndOfStatement();
      stmt->data.push_back(std::move(item));
    }
    stmt->endLine = next().line;
    return stmt;
  }

  // Expressions, lowest precedence first.
  ExprPtr makeBinary(const std::string& op, ExprPtr left, ExprPtr right, int line) {
    auto expr = std::make_unique<Expr>();
    expr->kind = Expr::Kind::binary;
    expr->text = op;
    expr->line = line;
    expr->left = std::move(left);
    expr->right = std::move(right);
    return expr;
  }

  ExprPtr parseExpression() {
    ExprPtr left = parseAnd();
    while (isKeyword("or") || isKeyword("xor")) {
      const Token& op = next();
      left = makeBinary(lowerCase(op.text), std::move(left), parseAnd(), op.line);
    }
    return left;
  }
  ExprPtr parseAnd() {
    ExprPtr left = parseNot();
    while (isKeyword("and")) {
      const Token& op = next();
      left = makeBinary("and", std::move(left), parseNot(), op.line);
    }
    return left;
  }
  ExprPtr parseNot() {
    if (isKeyword("not")) {
      const Token& op = next();
      auto expr = std::make_unique<Expr>();
      expr->kind = Expr::Kind::unary;
      expr->text = "not";
      expr->line = op.line;
      expr->left = parseNot();
      return expr;
    }
    return parseComparison();
  }
  ExprPtr parseComparison() {
    ExprPtr left = parseBinaryLevel(0);
    while (isSymbol("=") || isSymbol("<>") || isSymbol("<") || isSymbol(">") || isSymbol("<=") ||
           isSymbol(">=")) {
      const Token& op = next();
      left = makeBinary(op.text, std::move(left), parseBinaryLevel(0), op.line);
    }
    return left;
  }
  // Levels: 0 "&" "|", 1 "<<" ">>", 2 "+" "-", 3 "*" "/" "%".
  ExprPtr parseBinaryLevel(int level) {
    static const std::vector<std::vector<std::string>> levels = {
        {"&", "|"}, {"<<", ">>"}, {"+", "-"}, {"*", "/", "%"}};
    if (level == static_cast<int>(levels.size())) return parseUnary();
    ExprPtr left = parseBinaryLevel(level + 1);
    for (;;) {
      const auto& ops = levels[static_cast<std::size_t>(level)];
      if (peek().kind != TokenKind::symbol ||
          std::find(ops.begin(), ops.end(), peek().text) == ops.end()) {
        return left;
      }
      const Token& op = next();
      left = makeBinary(op.text, std::move(left), parseBinaryLevel(level + 1), op.line);
    }
  }
  ExprPtr parseUnary() {
    if (isSymbol("-") || isSymbol("~")) {
      const Token& op = next();
      auto expr = std::make_unique<Expr>();
      expr->kind = Expr::Kind::unary;
      expr->text = op.text;
      expr->line = op.line;
      expr->left = parseUnary();
      return expr;
    }
    return parsePrimary();
  }

  ExprPtr parsePrimary() {
    const Token& token = peek();
    auto expr = std::make_unique<Expr>();
    expr->line = token.line;
    switch (token.kind) {
      case TokenKind::number:
        expr->kind = Expr::Kind::number;
        expr->value = next().value;
        return expr;
      case TokenKind::string:
        expr->kind = Expr::Kind::string;
        expr->text = next().text;
        return expr;
      case TokenKind::constant:
        expr->kind = Expr::Kind::constant;
        expr->text = next().text;
        if (isSymbol("::")) {  // "#module::name"
          next();
          expr->module = expr->text;
          expr->text = expectName();
        }
        return expr;
      case TokenKind::identifier:
        return parsePostfix();
      default:
        break;
    }
    if (isSymbol("(")) {
      next();
      ExprPtr inner = parseExpression();
      expectSymbol(")");
      return inner;
    }
    if (isSymbol("@")) {
      next();
      expr->kind = Expr::Kind::addressOf;
      expr->left = parsePostfix();
      if (expr->left->kind != Expr::Kind::name && expr->left->kind != Expr::Kind::call) {
        syntaxError();
      }
      return expr;
    }
    if (isSymbol("?")) {
      next();
      expr->kind = Expr::Kind::labelAddress;
      expr->text = expectName();
      return expr;
    }
    syntaxError();
  }

  // A name, a typed name, a call "name(...)" or a Windows call "name_(...)"; names of a
  // module's items have the form "module::name".
  ExprPtr parsePostfix() {
    if (peek().kind != TokenKind::identifier) syntaxError();
    const Token& name = next();
    auto expr = std::make_unique<Expr>();
    expr->line = name.line;
    expr->text = name.text;
    expr->kind = Expr::Kind::name;
    if (isSymbol("::")) {
      next();
      expr->module = expr->text;
      expr->text = expectName();
    }
    expr->type = parseTypeSuffix();
    if (isSymbol("(")) {
      next();
      const bool api = expr->module.empty() && expr->text.size() > 1 && expr->text.back() == '_';
      expr->kind = api ? Expr::Kind::apiCall : Expr::Kind::call;
      if (api) expr->text.pop_back();
      if (!isSymbol(")")) {
        for (;;) {
          expr->args.push_back(parseExpression());
          if (!isSymbol(",")) break;
          next();
        }
      }
      expectSymbol(")");
    }
    return expr;
  }

  const std::vector<Token>& tokens_;
  std::size_t pos_ = 0;
  bool insideProcedure_ = false;
  bool insideDeclareModule_ = false;
  int nesting_ = 0;  // the blocks being parsed, the program's own not counted
};

}  // namespace

Program parse(const std::vector<Token>& tokens) {
  return Parser(tokens).parseProgram();
}

ExprPtr parseExpressionOnly(const std::vector<Token>& tokens) {
  return Parser(tokens).parseWholeExpression();
}

}  // namespace standin
