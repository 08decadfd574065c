#include "language/language_table.h"

namespace brisko::language {

const std::string& LanguageTable::text(TextId id) const {
  static const std::string kEmpty;
  const int index = static_cast<int>(id);
  if (index < 0 || static_cast<std::size_t>(index) >= texts_.size()) return kEmpty;
  return texts_[static_cast<std::size_t>(index)];
}

}  // namespace brisko::language
