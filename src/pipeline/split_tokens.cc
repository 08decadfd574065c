#include "pipeline/split_tokens.h"

namespace brisko::pipeline {

const DelimiterSet& sourceLineDelimiters() {
  static const DelimiterSet set(kSourceLineDelimiters);
  return set;
}

const DelimiterSet& dataLineDelimiters() {
  static const DelimiterSet set(kDataLineDelimiters);
  return set;
}

const DelimiterSet& bodyLineDelimiters() {
  static const DelimiterSet set(kBodyLineDelimiters);
  return set;
}

bool splitTokens(std::string_view line, std::string_view delimiters, TokenArray& target,
                 QuoteRule quotes) {
  if (line.empty()) return true;
  target.tokens.clear();
  const auto store = [&target](std::string_view token) { target.tokens.push_back(token); };
  if (delimiters == kBodyLineDelimiters) {
    return forEachToken(line, bodyLineDelimiters(), quotes, store);
  }
  if (delimiters == kDataLineDelimiters) {
    return forEachToken(line, dataLineDelimiters(), quotes, store);
  }
  if (delimiters == kSourceLineDelimiters) {
    return forEachToken(line, sourceLineDelimiters(), quotes, store);
  }
  return forEachToken(line, DelimiterSet(delimiters), quotes, store);
}

}  // namespace brisko::pipeline
