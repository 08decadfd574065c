#include "pipeline/split_tokens.h"

namespace brisko::pipeline {
namespace {

// The end of a quoted assembly token that starts at begin: quotes toggle, and the token ends
// at the first delimiter met outside quotes (FASM writes a quote inside a string doubled, so
// 'it''s' stays one token).
std::size_t assemblyQuotedEnd(std::string_view line, std::size_t begin,
                              std::string_view delimiters) {
  char open = 0;
  std::size_t pos = begin;
  for (; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (open != 0) {
      if (c == open) open = 0;
    } else if (c == '\'' || c == '"') {
      open = c;
    } else if (delimiters.find(c) != std::string_view::npos) {
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
  const bool quoteIsDelimiter = delimiters.find('"') != std::string_view::npos;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == ' ' && delimiters.find(' ') != std::string_view::npos) {
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
      const std::size_t end = assemblyQuotedEnd(line, pos, delimiters);
      tokens.push_back(line.substr(pos, end - pos));
      pos = end;
      continue;
    }
    if (delimiters.find(c) != std::string_view::npos) {
      tokens.push_back(line.substr(pos, 1));
      ++pos;
      continue;
    }
    std::size_t end = pos + 1;
    while (end < line.size() && delimiters.find(line[end]) == std::string_view::npos) ++end;
    tokens.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return true;
}

}  // namespace brisko::pipeline
