// Cutting a line into tokens at a set of delimiter characters.
#pragma once

#include <string_view>
#include <vector>

namespace brisko::pipeline {

// The tokens of the last line split into it: views into that line, which must outlive them.
struct TokenArray {
  std::vector<std::string_view> tokens;
  std::size_t size() const { return tokens.size(); }
  std::string_view operator[](std::size_t i) const { return tokens[i]; }
};

// How quotes are treated.
enum class QuoteRule {
  // A double quote that is a delimiter opens a token that runs to the next double quote,
  // both included; without a closing quote the split fails.
  sourceLine,
  // Assembly lines: a token that begins with a single or double quote runs, across
  // delimiters, until a delimiter met outside quotes, so string constants stay whole.
  assembly,
};

// The source-line scan's delimiters, and those of data lines and of procedure bodies.
inline constexpr std::string_view kSourceLineDelimiters = " .,=;():\"";
inline constexpr std::string_view kDataLineDelimiters = " ,";
inline constexpr std::string_view kBodyLineDelimiters = " ,+[]";

// Which bytes are delimiters, as a table: a line's every character is tested.
class DelimiterSet {
 public:
  explicit DelimiterSet(std::string_view delimiters) {
    for (char c : delimiters) table_[static_cast<unsigned char>(c)] = true;
  }
  bool operator()(char c) const { return table_[static_cast<unsigned char>(c)]; }

 private:
  bool table_[256] = {};
};

// Hands each token of line to emit, in order: a space ends a token and is dropped; every
// other delimiter becomes a token of its own; any other run of characters is one token.
// Returns false only for an unterminated quote under QuoteRule::sourceLine (the tokens before
// it were handed on).
template <typename Emit>
bool forEachToken(std::string_view line, const DelimiterSet& isDelimiter, QuoteRule quotes,
                  Emit&& emit) {
  const bool spaceIsDelimiter = isDelimiter(' ');
  const bool quoteIsDelimiter = isDelimiter('"');
  const std::size_t size = line.size();
  std::size_t pos = 0;
  while (pos < size) {
    const char c = line[pos];
    if (c == ' ' && spaceIsDelimiter) {
      ++pos;
      continue;
    }
    if (quotes == QuoteRule::sourceLine && c == '"' && quoteIsDelimiter) {
      const std::size_t close = line.find('"', pos + 1);
      if (close == std::string_view::npos) return false;
      emit(line.substr(pos, close - pos + 1));
      pos = close + 1;
      continue;
    }
    if (quotes == QuoteRule::assembly && (c == '\'' || c == '"')) {
      // Quotes toggle, and the token ends at the first delimiter met outside quotes (FASM
      // writes a quote inside a string doubled, so 'it''s' stays one token).
      char open = 0;
      std::size_t end = pos;
      for (; end < size; ++end) {
        const char d = line[end];
        if (open != 0) {
          if (d == open) open = 0;
        } else if (d == '\'' || d == '"') {
          open = d;
        } else if (isDelimiter(d)) {
          break;
        }
      }
      emit(line.substr(pos, end - pos));
      pos = end;
      continue;
    }
    if (isDelimiter(c)) {
      emit(line.substr(pos, 1));
      ++pos;
      continue;
    }
    std::size_t end = pos + 1;
    while (end < size && !isDelimiter(line[end])) ++end;
    emit(line.substr(pos, end - pos));
    pos = end;
  }
  return true;
}

// The tables of the three delimiter sets above, built once.
const DelimiterSet& sourceLineDelimiters();
const DelimiterSet& dataLineDelimiters();
const DelimiterSet& bodyLineDelimiters();

// Splits line into target by the rules of forEachToken. There is no limit on the number of
// tokens. An empty line leaves the target untouched.
bool splitTokens(std::string_view line, std::string_view delimiters, TokenArray& target,
                 QuoteRule quotes);

}  // namespace brisko::pipeline
