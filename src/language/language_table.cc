#include "language/language_table.h"

namespace brisko::language {

const std::string& LanguageTable::text(TextId id) const {
  static const std::string kEmpty;
  const int index = static_cast<int>(id);
  if (index < 0 || static_cast<std::size_t>(index) >= texts_.size()) return kEmpty;
  return texts_[static_cast<std::size_t>(index)];
}

std::string fillIn(std::string_view text, std::initializer_list<std::string_view> values) {
  std::string filled;
  filled.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '%' && at + 1 < text.size() && text[at + 1] >= '1' && text[at + 1] <= '9') {
      const auto number = static_cast<std::size_t>(text[at + 1] - '1');
      if (number < values.size()) {
        filled += values.begin()[number];
        ++at;
        continue;
      }
    }
    filled += text[at];
  }
  return filled;
}

}  // namespace brisko::language
