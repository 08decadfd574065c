// Splits a PureBasic source into tokens, one source line at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

enum class TokenKind {
  identifier,  // a name; may end with "$"
  number,      // an integer literal (decimal, $hex, %binary or 'c')
  string,      // a double-quoted literal; text holds the characters between the quotes
  constant,    // "#Name"; text holds the name without "#"
  symbol,      // an operator or punctuation such as + <= ( , . : :: @ ?
  inlineAsm,   // a line that begins with "!"; text holds the rest of the line
  endOfLine,   // the end of a source line
  endOfFile,
};

struct Token {
  TokenKind kind = TokenKind::endOfFile;
  std::string text;
  std::int64_t value = 0;  // for numbers
  int line = 0;            // 1-based source line
};

// Raised for any error the compiler reports; the line is 1-based.
struct CompileError {
  int line;
  std::string message;
};

// Cuts the source into lines (LF or CR LF); a UTF-8 byte-order mark at the start is dropped.
std::vector<std::string> splitSourceLines(const std::string& source);

// Tokenizes every line; each line ends with an endOfLine token, the whole with endOfFile.
// Throws CompileError on an unterminated string or a character that starts no token.
std::vector<Token> tokenize(const std::vector<std::string>& lines);

}  // namespace standin
