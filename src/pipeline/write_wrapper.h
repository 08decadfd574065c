// The PureBasic include file through which other PureBasic programs use the converted code.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// What one build gives the wrapper, as lines: its Import/ImportC blocks, the Import blocks of
// the libraries it links (the compiler's and the listing's import libraries) and its dummy
// calls.
struct WrapperPart {
  std::vector<std::string> imports;
  std::vector<std::string> libraries;
  std::vector<std::string> dummyCalls;

  friend bool operator==(const WrapperPart&, const WrapperPart&) = default;
};

// What the wrapper gives programs of one kind (processor, thread-safe or not): the part of the
// build made for them, or, where none was made, the message of the CompilerError that stops
// their compilation.
struct WrapperCell {
  std::optional<WrapperPart> part;
  std::string missing;

  friend bool operator==(const WrapperCell&, const WrapperCell&) = default;
};

// The cells by processor (x86, x64) and thread-safety (without, with).
using WrapperCells = std::array<std::array<WrapperCell, 2>, 2>;

// The wrapper's part of the conversion's build.
WrapperPart wrapperPartOf(Conversion& conversion);

// The wrapper for the builds in the cells: the header (with the time it was made), the Import
// blocks of each build, the library Import blocks and the never-called _LinkLibs_<symbolBase>
// procedure with the dummy calls. Where the cells differ, CompilerIf #PB_Compiler_Processor =
// #PB_Processor_x64 and CompilerIf #PB_Compiler_Thread choose the lines of the program's build
// (a missing one's Import section is its CompilerError line); lines that are the same for every
// kind of program are written once, and after the Import blocks a kind of program without a
// build takes the lines of one that has (it stops at its CompilerError anyway). One build in
// all four cells gives the wrapper of one build.
std::string wrapperText(const app::Feedback& texts, const std::string& baseName,
                        const std::string& symbolBase, const platform::LocalTime& made,
                        const WrapperCells& cells);

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
