#include "pipeline/split_tokens.h"

namespace brisko::pipeline {
namespace {

// Which bytes are delimiters, as a table: a line's every character is tested.
class DelimiterTable {
 public:
  explicit DelimiterTable(std::string_view delimiters) {
    for (char c : delimiters) table_[static_cast<unsigned char>(c)] = true;
  }
  bool operator()(char c) const { return table_[static_cast<unsigned char>(c)]; }

 private:
  bool table_[256] = {};
};

// The tables of the three delimiter sets the stages use are built once.
const DelimiterTable& tableFor(std::string_view delimiters, DelimiterTable& scratch) {
  static const DelimiterTable source(kSourceLineDelimiters);
  static const DelimiterTable data(kDataLineDelimiters);
  static const DelimiterTable body(kBodyLineDelimiters);
  if (delimiters == kBodyLineDelimiters) return body;
  if (delimiters == kDataLineDelimiters) return data;
  if (delimiters == kSourceLineDelimiters) return source;
  scratch = DelimiterTable(delimiters);
  return scratch;
}

// The end of a quoted assembly token that starts at begin: quotes toggle, and the token ends
// at the first delimiter met outside quotes (FASM writes a quote inside a string doubled, so
// 'it''s' stays one token).
std::size_t assemblyQuotedEnd(std::string_view line, std::size_t begin,
                              const DelimiterTable& isDelimiter) {
  char open = 0;
  std::size_t pos = begin;
  for (; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (open != 0) {
      if (c == open) open = 0;
    } else if (c == '\'' || c == '"') {
      open = c;
    } else if (isDelimiter(c)) {
      break;
    }
  }
  return pos;
}

}  // namespace

bool splitTokens(std::string_view line, std::string_view delimiters, TokenArray& target,
                 QuoteRule quotes) {
  if (line.empty()) return true;
  auto& tokens = target.tokens;
  tokens.clear();
  DelimiterTable scratch("");
  const DelimiterTable& isDelimiter = tableFor(delimiters, scratch);
  const bool spaceIsDelimiter = isDelimiter(' ');
  const bool quoteIsDelimiter = isDelimiter('"');
  std::size_t pos = 0;
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == ' ' && spaceIsDelimiter) {
      ++pos;
      continue;
    }
    if (quotes == QuoteRule::sourceLine && c == '"' && quoteIsDelimiter) {
      const std::size_t close = line.find('"', pos + 1);
      if (close == std::string_view::npos) return false;
      tokens.push_back(line.substr(pos, close - pos + 1));
      pos = close + 1;
      continue;
    }
    if (quotes == QuoteRule::assembly && (c == '\'' || c == '"')) {
      const std::size_t end = assemblyQuotedEnd(line, pos, isDelimiter);
      tokens.push_back(line.substr(pos, end - pos));
      pos = end;
      continue;
    }
    if (isDelimiter(c)) {
      tokens.push_back(line.substr(pos, 1));
      ++pos;
      continue;
    }
    std::size_t end = pos + 1;
    while (end < line.size() && !isDelimiter(line[end])) ++end;
    tokens.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return true;
}

}  // namespace brisko::pipeline
