// What a step that reports its own failures gives back: success, or the text of the failure
// it has already shown (and logged). The caller only decides whether to go on; it never
// reports the failure again.
#pragma once

#include <optional>

#include "language/text_ids.h"

namespace brisko::app {

class Outcome {
 public:
  // Success.
  constexpr Outcome() = default;
  static constexpr Outcome failure(language::TextId reported) { return Outcome(reported); }

  constexpr bool succeeded() const { return !reported_.has_value(); }
  // The text the failure was reported with; only for an outcome that did not succeed.
  constexpr language::TextId reportedText() const { return *reported_; }

  friend constexpr bool operator==(const Outcome&, const Outcome&) = default;

 private:
  constexpr explicit Outcome(language::TextId reported) : reported_(reported) {}

  std::optional<language::TextId> reported_;
};

constexpr Outcome ok() {
  return Outcome();
}
constexpr Outcome failed(language::TextId reported) {
  return Outcome::failure(reported);
}

}  // namespace brisko::app
