// The words FASM reserves: instructions, registers, size operators, directives.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace brisko::pipeline {

// Length of the longest reserved word; no longer word is reserved.
inline constexpr std::size_t kLongestFasmReservedWord = 17;

// The reserved words, lowercase and sorted.
std::span<const std::string_view> fasmReservedWords();

// True when FASM reserves the word (compared without regard to case).
bool isFasmReservedWord(std::string_view word);

}  // namespace brisko::pipeline
