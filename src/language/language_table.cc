#include "language/language_table.h"

namespace brisko::language {

const std::string& LanguageTable::text(int index) const {
  static const std::string kEmpty;
  if (index < 0 || static_cast<std::size_t>(index) >= texts_.size()) return kEmpty;
  return texts_[static_cast<std::size_t>(index)];
}

}  // namespace brisko::language
