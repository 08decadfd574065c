// The outcome of a COFF-layer operation: a value, or a short English text saying what is wrong.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace brisko::coff {

struct Error {
  std::string text;
};

template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  Result(Error error) : error_(std::move(error.text)) {}

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  T&& value() && { return std::move(*value_); }
  // Empty when the operation succeeded.
  const std::string& error() const { return error_; }

 private:
  std::optional<T> value_;
  std::string error_;
};

}  // namespace brisko::coff
