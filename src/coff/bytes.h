// Little- and big-endian fields in byte buffers, for the COFF and archive code of this folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brisko::coff::detail {

// The caller has checked that the field lies inside the data.
inline std::uint64_t readLittle(std::span<const std::uint8_t> data, std::size_t at,
                                std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8) | data[at + i];
  return value;
}

inline std::uint16_t le16(std::span<const std::uint8_t> data, std::size_t at) {
  return static_cast<std::uint16_t>(readLittle(data, at, 2));
}

inline std::uint32_t le32(std::span<const std::uint8_t> data, std::size_t at) {
  return static_cast<std::uint32_t>(readLittle(data, at, 4));
}

inline std::uint32_t be32(std::span<const std::uint8_t> data, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | data[at + i];
  return value;
}

inline void writeLittle(std::span<std::uint8_t> data, std::size_t at, std::size_t width,
                        std::uint64_t value) {
  for (std::size_t i = 0; i < width; ++i)
    data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void put(std::vector<std::uint8_t>& out, std::size_t width, std::uint64_t value) {
  for (std::size_t i = 0; i < width; ++i)
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void putBig32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline void putText(std::vector<std::uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}

// "0x1A" style, for error texts.
inline std::string hex(std::uint64_t value) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

}  // namespace brisko::coff::detail
