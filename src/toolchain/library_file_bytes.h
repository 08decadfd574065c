// What the two library file readers share: reading a whole file, and a bounds-checked cursor
// over its bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "language/text_ids.h"
#include "platform/file_system.h"

namespace brisko::toolchain {

// A bounds-checked cursor over the bytes of one library file. Every read that would leave the
// data fails instead, so a damaged file can end a walk early but never read past its end.
class ByteReader {
 public:
  explicit ByteReader(std::string_view data) : data_(data) {}

  std::size_t position() const { return position_; }
  bool atEnd() const { return position_ >= data_.size(); }

  bool bytesAt(std::size_t at, std::string_view expected) const {
    return at <= data_.size() && data_.size() - at >= expected.size() &&
           data_.compare(at, expected.size(), expected) == 0;
  }
  // The byte at a position; 0 beyond the end of the data.
  unsigned char byteAt(std::size_t at) const {
    return at < data_.size() ? static_cast<unsigned char>(data_[at]) : 0;
  }

  // The NUL-terminated string at the cursor, which moves past its NUL; nothing (cursor
  // unchanged) when the data ends before a NUL.
  std::optional<std::string_view> string() {
    if (atEnd()) return std::nullopt;
    const std::size_t nul = data_.find('\0', position_);
    if (nul == std::string_view::npos) return std::nullopt;
    const std::string_view text = data_.substr(position_, nul - position_);
    position_ = nul + 1;
    return text;
  }
  bool skipStrings(int count) {
    for (int i = 0; i < count; ++i) {
      if (!string()) return false;
    }
    return true;
  }
  // Moves the cursor forward; the cursor may come to rest at (but not beyond) the end.
  bool skip(std::size_t count) {
    if (count > data_.size() - std::min(position_, data_.size())) return false;
    position_ += count;
    return true;
  }
  std::optional<unsigned char> byte() {
    if (atEnd()) return std::nullopt;
    return static_cast<unsigned char>(data_[position_++]);
  }
  void skipZeros() {
    while (!atEnd() && data_[position_] == '\0') ++position_;
  }

 private:
  std::string_view data_;
  std::size_t position_ = 0;
};

// The bytes of a library file: functionLists when it cannot be read or is empty.
inline std::optional<language::TextId> readLibraryFile(const platform::FileSystem& files,
                                                       const std::string& path,
                                                       std::optional<std::string>& data) {
  data = files.readFile(path);
  if (!data || data->empty()) return language::TextId::functionLists;
  return std::nullopt;
}

}  // namespace brisko::toolchain
