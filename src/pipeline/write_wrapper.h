// The PureBasic include file through which other PureBasic programs use the converted code.
#pragma once

#include <string>
#include <string_view>

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Writes Bin/<base>.pbi: the Import/ImportC blocks of the exported procedures, arrays and
// variables, Import blocks naming the compiler's libraries and the listing's import
// libraries, and the never-called _LinkLibs_<base> procedure with one dummy call per library
// or Windows function the converted code uses. Always succeeds: a wrapper that cannot be
// created is reported, and the conversion still counts as done.
app::Outcome writeWrapper(Conversion& conversion);

// The catalogue's function that an external symbol stands for (a PureBasic library function
// or a Windows function), or nullptr when the catalogue knows none; callName, when given,
// receives the function's name as the symbol holds it.
const toolchain::LibraryFunction* catalogueFunctionFor(std::string_view asmName,
                                                       const toolchain::LibraryCatalogue& catalogue,
                                                       std::string_view* callName = nullptr);

// The dummy call line for one external symbol, or an empty text when it gets none.
std::string dummyCallFor(std::string_view asmName, const toolchain::LibraryCatalogue& catalogue);

}  // namespace brisko::pipeline
