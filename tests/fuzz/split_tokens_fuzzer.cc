// splitTokens on arbitrary lines with every delimiter set and quote rule. Beyond not
// crashing, the tokens must be non-empty pieces of the line, in order and without overlap.
//
// Input: one selector byte, then the line. selector % 3 picks the delimiters (source line,
// data line, procedure body), bit 7 the quote rule (set: assembly).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pipeline/split_tokens.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brisko::pipeline;
  if (size == 0) return 0;
  static constexpr std::string_view kDelimiters[] = {kSourceLineDelimiters, kDataLineDelimiters,
                                                     kBodyLineDelimiters};
  const std::string_view delimiters = kDelimiters[data[0] % 3];
  const QuoteRule rule = (data[0] & 0x80) ? QuoteRule::assembly : QuoteRule::sourceLine;
  const std::string_view line(reinterpret_cast<const char*>(data) + 1, size - 1);

  // The target starts with tokens of another line, as it does when a stage reuses it.
  TokenArray tokens;
  splitTokens("stale tokens", delimiters, tokens, QuoteRule::assembly);
  splitTokens(line, delimiters, tokens, rule);
  if (line.empty()) return 0;

  const char* previousEnd = line.data();
  for (std::string_view token : tokens.tokens) {
    if (token.empty() || token.data() < previousEnd ||
        token.data() + token.size() > line.data() + line.size()) {
      std::abort();
    }
    previousEnd = token.data() + token.size();
  }
  return 0;
}
