// The library files the stand-in writes, as the program's catalogue reads them: the functions
// its parsers (toolchain/library_catalogue) take from the bytes, in file order, plus where the
// bytes place the entries and the end marker, for the checks of the file layout.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolchain/library_catalogue.h"
#include "toolchain/pure_library_file.h"
#include "toolchain/windows_library_file.h"

namespace brisko::standin_test {

using Bytes = std::vector<std::uint8_t>;

struct CataloguedFunction {
  std::string name;
  std::string parameterTemplate;  // for PureBasic libraries
  int parameterCount = 0;         // for Windows descriptors
  bool operator==(const CataloguedFunction&) const = default;
};

inline std::string_view textOf(const Bytes& data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

inline std::vector<CataloguedFunction> functionsOf(const toolchain::LibraryCatalogue& catalogue) {
  std::vector<CataloguedFunction> functions;
  for (const toolchain::LibraryFunction& f : catalogue.functions()) {
    functions.push_back({f.name, f.parameterTemplate, f.parameterCount});
  }
  return functions;
}

struct PureLibraryView {
  bool signatures = false;  // the catalogue took the file as a library
  std::vector<CataloguedFunction> functions;
  std::optional<std::size_t> markerAt;  // where the end marker is, if there is one
};

inline PureLibraryView readPureLibraryFile(const Bytes& data, const std::string& fileName) {
  toolchain::LibraryCatalogue catalogue;
  toolchain::parsePureLibrary(textOf(data), fileName, catalogue);
  PureLibraryView view;
  view.signatures = !catalogue.libraries().empty();
  view.functions = functionsOf(catalogue);
  // The marker is "ERUP" or a tag whose data block ("1TAD") follows 8 bytes later.
  const std::string_view text = textOf(data);
  for (std::size_t at = 20; at + 4 <= text.size(); ++at) {
    if (text.substr(at, 4) == "ERUP" ||
        (at + 12 <= text.size() && text.substr(at + 8, 4) == "1TAD")) {
      view.markerAt = at;
      break;
    }
  }
  return view;
}

// True when an entry of this name, with its NUL, is in the bytes.
inline bool holdsEntry(const Bytes& data, const std::string& name) {
  return textOf(data).find(name + '\0') != std::string_view::npos;
}

// Nothing when the signature is missing.
inline std::optional<std::vector<CataloguedFunction>> readWindowsFile(const Bytes& data,
                                                                      const std::string& fileName) {
  toolchain::LibraryCatalogue catalogue;
  if (toolchain::parseWindowsLibrary(textOf(data), fileName, catalogue)) return std::nullopt;
  return functionsOf(catalogue);
}

}  // namespace brisko::standin_test
