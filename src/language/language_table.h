// The texts of the loaded language file, addressed by their TextId (see text_ids.h).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "language/text_ids.h"

namespace brisko::language {

class LanguageTable {
 public:
  LanguageTable() = default;
  explicit LanguageTable(std::vector<std::string> texts) : texts_(std::move(texts)) {}

  // The text at id's position. A language file may hold fewer texts than the built-in one; a
  // position beyond its texts yields an empty text.
  const std::string& text(TextId id) const;

  void append(std::string text) { texts_.push_back(std::move(text)); }
  void clear() { texts_.clear(); }
  std::size_t size() const { return texts_.size(); }
  bool empty() const { return texts_.empty(); }
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
};

// The text with "%1" to "%9" replaced by the values in that order: a translation may place
// them where its language wants them. A "%" not followed by the number of a value stays, and
// the values are not searched for further markers.
std::string fillIn(std::string_view text, std::initializer_list<std::string_view> values);

}  // namespace brisko::language
