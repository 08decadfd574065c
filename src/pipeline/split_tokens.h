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

// Splits line: a space ends a token and is dropped; every other delimiter becomes a token of
// its own; any other run of characters is one token. There is no limit on the number of
// tokens. An empty line leaves the target untouched. Returns false only for an unterminated
// quote under QuoteRule::sourceLine (the tokens stored before it stay).
bool splitTokens(std::string_view line, std::string_view delimiters, TokenArray& target,
                 QuoteRule quotes);

}  // namespace brisko::pipeline
