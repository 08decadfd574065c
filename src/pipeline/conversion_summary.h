// What a finished conversion made, for the front ends to tell the user: the exported and
// internal procedures, the exported data, the library's members, the target and the runtime
// libraries the converted code calls into.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace brisko::pipeline {

class Conversion;

struct ConversionSummary {
  // False when reused sources were assembled without reading a listing: then only the target,
  // the format and the members are known.
  bool analysed = false;
  std::string target;  // "x86" or "x64"
  bool library = false;
  std::size_t libraryMembers = 0;
  // Output names in the listing's order.
  std::vector<std::string> exportedProcedures;
  std::size_t internalProcedures = 0;
  std::vector<std::string> exportedVariables;
  std::vector<std::string> exportedArrays;
  std::vector<std::string> exportedLists;
  // The library files (PureBasic libraries and Windows import libraries, by file name) of the
  // catalogue functions the code calls, each once, in the order of the listing's externals:
  // the libraries the wrapper's dummy calls pull in.
  std::vector<std::string> runtimeLibraries;
};

// The summary of a conversion whose stages all succeeded.
ConversionSummary summariseConversion(const Conversion& conversion);

}  // namespace brisko::pipeline
