#include "pipeline/listing/listing_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/code_pages.h"

namespace brisko::pipeline {
using platform::TextEncoding;

std::optional<Listing> Listing::read(const platform::FileSystem& files, const std::string& path) {
  auto bytes = files.readFile(path);
  if (!bytes) return std::nullopt;
  return fromBytes(std::move(*bytes));
}

Listing Listing::fromBytes(std::string bytes) {
  Listing listing;
  listing.encoding_ = platform::encodingOf(bytes);
  const std::size_t mark = platform::byteOrderMark(listing.encoding_).size();
  switch (listing.encoding_) {
    case TextEncoding::utf16le:
      listing.text_ = platform::utf16leToUtf8(std::string_view(bytes).substr(mark));
      break;
    case TextEncoding::utf8:
      listing.text_ = std::move(bytes);
      listing.text_.erase(0, mark);
      break;
    case TextEncoding::ansi:
      if (platform::isAscii(bytes)) {
        listing.asciiOnly_ = true;
        listing.text_ = std::move(bytes);
      } else {
        listing.text_ = platform::ansiToUtf8(bytes);
      }
      break;
  }
  return listing;
}

}  // namespace brisko::pipeline
