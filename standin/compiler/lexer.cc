#include "lexer.h"

#include <cctype>

namespace standin {
namespace {

bool isNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}
bool isNameChar(char c) {
  return isNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Whether a "%" here starts a binary literal rather than the modulo operator: only where an
// operand is expected, i.e. after an operator, an opening bracket or at the start.
bool operandExpected(const std::vector<Token>& tokens, std::size_t lineStart) {
  if (tokens.size() == lineStart) return true;
  const Token& last = tokens.back();
  if (last.kind != TokenKind::symbol) return false;
  return last.text != ")";
}

void tokenizeLine(const std::string& text, int line, std::vector<Token>& out) {
  const std::size_t lineStart = out.size();
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < n && text[i] == '!') {
    out.push_back({TokenKind::inlineAsm, text.substr(i + 1), 0, line});
    out.push_back({TokenKind::endOfLine, "", 0, line});
    return;
  }
  while (i < n) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == ';') {
      break;
    } else if (isNameStart(c)) {
      std::size_t j = i;
      while (j < n && isNameChar(text[j])) ++j;
      if (j < n && text[j] == '$') ++j;
      out.push_back({TokenKind::identifier, text.substr(i, j - i), 0, line});
      i = j;
    } else if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
      std::int64_t value = 0;
      std::size_t j = i;
      while (j < n && std::isdigit(static_cast<unsigned char>(text[j])) != 0) {
        value = value * 10 + (text[j] - '0');
        ++j;
      }
      out.push_back({TokenKind::number, text.substr(i, j - i), value, line});
      i = j;
    } else if (c == '$' && i + 1 < n && std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      std::int64_t value = 0;
      std::size_t j = i + 1;
      while (j < n && std::isxdigit(static_cast<unsigned char>(text[j])) != 0) {
        const char d = static_cast<char>(std::tolower(static_cast<unsigned char>(text[j])));
        value = value * 16 + (d <= '9' ? d - '0' : d - 'a' + 10);
        ++j;
      }
      out.push_back({TokenKind::number, text.substr(i, j - i), value, line});
      i = j;
    } else if (c == '%' && i + 1 < n && (text[i + 1] == '0' || text[i + 1] == '1') &&
               operandExpected(out, lineStart)) {
      std::int64_t value = 0;
      std::size_t j = i + 1;
      while (j < n && (text[j] == '0' || text[j] == '1')) {
        value = value * 2 + (text[j] - '0');
        ++j;
      }
      out.push_back({TokenKind::number, text.substr(i, j - i), value, line});
      i = j;
    } else if (c == '\'') {
      const std::size_t close = text.find('\'', i + 1);
      if (close == std::string::npos || close == i + 1) {
        throw CompileError{line, "Bad character constant."};
      }
      std::int64_t value = 0;
      for (std::size_t j = i + 1; j < close; ++j) {
        value = value * 256 + static_cast<unsigned char>(text[j]);
      }
      out.push_back({TokenKind::number, text.substr(i, close + 1 - i), value, line});
      i = close + 1;
    } else if (c == '"') {
      const std::size_t close = text.find('"', i + 1);
      if (close == std::string::npos) throw CompileError{line, "String not terminated by a '\"'."};
      out.push_back({TokenKind::string, text.substr(i + 1, close - i - 1), 0, line});
      i = close + 1;
    } else if (c == '#' && i + 1 < n && isNameStart(text[i + 1])) {
      std::size_t j = i + 1;
      while (j < n && isNameChar(text[j])) ++j;
      if (j < n && text[j] == '$') ++j;
      out.push_back({TokenKind::constant, text.substr(i + 1, j - i - 1), 0, line});
      i = j;
    } else if (c == ':' && i + 2 < n && text[i + 1] == ':' && i > 0 && isNameChar(text[i - 1]) &&
               isNameStart(text[i + 2])) {
      // "module::item" names an item of a module. Written between two names without blanks,
      // it cannot be two statement separators.
      out.push_back({TokenKind::symbol, "::", 0, line});
      i += 2;
    } else {
      static const char* const twoCharSymbols[] = {"<=", ">=", "<>", "<<", ">>", "=<", "=>"};
      std::string symbol(1, c);
      if (i + 1 < n) {
        const std::string pair = text.substr(i, 2);
        for (const char* candidate : twoCharSymbols) {
          if (pair == candidate) symbol = pair;
        }
      }
      if (symbol == "=<") symbol = "<=";
      if (symbol == "=>") symbol = ">=";
      if (symbol.size() == 1 && std::string("+-*/%&|~(),.:=<>@?\\").find(c) == std::string::npos) {
        throw CompileError{line, std::string("Syntax error: unexpected character '") + c + "'."};
      }
      out.push_back({TokenKind::symbol, symbol, 0, line});
      i += symbol.size();
    }
  }
  out.push_back({TokenKind::endOfLine, "", 0, line});
}

}  // namespace

std::vector<std::string> splitSourceLines(const std::string& source) {
  std::string text = source;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

std::vector<Token> tokenize(const std::vector<std::string>& lines) {
  std::vector<Token> tokens;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    tokenizeLine(lines[i], static_cast<int>(i + 1), tokens);
  }
  tokens.push_back({TokenKind::endOfFile, "", 0, static_cast<int>(lines.size())});
  return tokens;
}

}  // namespace standin
