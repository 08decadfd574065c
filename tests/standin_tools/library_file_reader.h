// A reader of PureBasic library files and Windows descriptor files written for the tests, walking
// the bytes the way the catalogue scan of the real program does, so that the tests see the
// generated files as that scan sees them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brisko::standin_test {

using Bytes = std::vector<std::uint8_t>;

struct CataloguedFunction {
  std::string name;
  std::string parameterTemplate;  // for PureBasic libraries
  int parameterCount = 0;         // for Windows descriptors
  bool operator==(const CataloguedFunction&) const = default;
};

struct PureLibraryView {
  bool signatures = false;
  std::vector<std::string> entryNames;  // every entry of the function table, catalogued or not
  std::vector<CataloguedFunction> functions;
  std::optional<std::size_t> markerAt;  // where the end marker was found, if one was
};

PureLibraryView readPureLibraryFile(const Bytes& data, const std::string& fileName);

// Returns nothing when the signature is missing.
std::optional<std::vector<CataloguedFunction>> readWindowsFile(const Bytes& data,
                                                               const std::string& fileName);

}  // namespace brisko::standin_test
