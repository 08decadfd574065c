// The C header through which C and C++ programs use the converted code: Bin/<base>.h, written
// after the wrapper stage when the C header is asked for.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// The C type of a PureBasic item. name is the item's name as the source writes it: one that
// starts with "*" is a pointer (void*), one that ends with "$" a string. type is the ".type"
// the declaration gives (empty when none), defaultType the default type in force there; an
// untyped item takes the default type, and the default that no "Define.type" line changed
// (".l", as the analysis records it) is PureBasic's integer, as wide as an address. Strings are
// "const char*", or "const wchar_t*" for Unicode code. Nothing for a structure type.
std::optional<std::string> cTypeOf(std::string_view name, std::string_view type,
                                   std::string_view defaultType, bool unicode);

// The header's text: an include guard, <stdint.h>, a prototype for each exported procedure
// and a declaration for each exported variable and array, in extern "C" for C++. The names
// are the ones the output defines: GCC and clang take them as asm labels; MSVC, whose x86 C
// names carry decorations, through /alternatename. x86 prototypes carry stdcall
// (ProcedureDLL) or cdecl (ProcedureCDLL); x64 code has the one Windows convention, which
// GCC and clang on other systems are told to use.
std::string cHeaderText(const Conversion& conversion);

// Writes Bin/<base>.h. Always succeeds: a header that cannot be created is reported, and the
// conversion still counts as done.
app::Outcome writeCHeader(Conversion& conversion);

}  // namespace brisko::pipeline
