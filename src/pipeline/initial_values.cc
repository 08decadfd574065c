#include "pipeline/initial_values.h"

#include <algorithm>

#include "language/text_ids.h"
#include "pipeline/conversion.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

bool isOneOf(std::string_view token, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(), [token](std::string_view word) {
    return platform::equalsIgnoringCase(token, word);
  });
}

bool isDeclarationKeyword(std::string_view token) {
  return isOneOf(token, {"global", "define", "public", "protected", "static", "threaded"});
}

// A value the variable has anyway: its cell starts as zero.
bool isZeroValue(std::string_view token) {
  return token == "0" || token == "\"\"" || isOneOf(token, {"#false", "#null"});
}

// Module statements change the names the variables get; they hold no "=".
bool mayMatter(std::string_view source) {
  if (source.find('=') != std::string_view::npos) return true;
  return isOneOf(platform::beforeFirst(source, " "),
                 {"declaremodule", "module", "enddeclaremodule", "endmodule"});
}

}  // namespace

void InitialValueScan::noteMainProgramLine(std::string_view source) {
  if (!mayMatter(source)) return;
  if (!splitTokens(source, kSourceLineDelimiters, tokens_, QuoteRule::sourceLine)) return;
  const std::size_t count = tokens_.size();
  if (count == 0) return;
  if (isOneOf(tokens_[0], {"declaremodule", "module"})) {
    module_ = count > 1 ? std::string(tokens_[1]) : std::string();
    return;
  }
  if (isOneOf(tokens_[0], {"enddeclaremodule", "endmodule"})) {
    module_.clear();
    return;
  }
  // Statement by statement: a declaration keyword opens one, ":" ends it, ";" the line.
  for (std::size_t i = 0; i < count && tokens_[i] != ";";) {
    if (isDeclarationKeyword(tokens_[i])) {
      i = readItems(i + 1);
      continue;
    }
    while (i < count && tokens_[i] != ":" && tokens_[i] != ";") ++i;
    if (i < count && tokens_[i] == ":") ++i;
  }
}

std::size_t InitialValueScan::readItems(std::size_t i) {
  const std::size_t count = tokens_.size();
  // "Define.l a = 1": the default type the keyword sets.
  if (i + 1 < count && tokens_[i] == ".") i += 2;
  while (i < count) {
    const std::string_view name = tokens_[i];
    if (name == ":" || name == ";") break;
    const bool container = isOneOf(name, {"dim", "newlist", "newmap"});
    ++i;
    if (i + 1 < count && tokens_[i] == ".") i += 2;
    if (!container && i + 1 < count && tokens_[i] == "=") {
      const bool lastOfItem =
          i + 2 >= count || tokens_[i + 2] == "," || tokens_[i + 2] == ":" || tokens_[i + 2] == ";";
      if (!(lastOfItem && isZeroValue(tokens_[i + 1]))) note(name);
    }
    // On to the next item, past any value or dimensions.
    int depth = 0;
    for (; i < count; ++i) {
      const std::string_view token = tokens_[i];
      if (token == "(") ++depth;
      if (token == ")") --depth;
      if ((token == "," && depth <= 0) || token == ":" || token == ";") break;
    }
    if (i < count && tokens_[i] == ",") {
      ++i;
      continue;
    }
    break;
  }
  if (i < count && tokens_[i] == ":") ++i;
  if (i < count && tokens_[i] == ";") i = count;
  return i;
}

void InitialValueScan::note(std::string_view name) {
  std::string shown = module_.empty() ? std::string(name) : module_ + "::" + std::string(name);
  const auto same = [&shown](const std::string& known) {
    return platform::equalsIgnoringCase(known, shown);
  };
  if (std::none_of(names_.begin(), names_.end(), same)) names_.push_back(std::move(shown));
}

void warnOfLostInitialValues(Conversion& conversion) {
  const std::vector<std::string>& names = conversion.listing.lostInitialValues;
  if (names.empty()) return;
  std::string detail = "\n";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) detail += ", ";
    detail += names[i];
  }
  conversion.services.feedback.warn(language::TextId::lostInitialValues, detail);
}

}  // namespace brisko::pipeline
