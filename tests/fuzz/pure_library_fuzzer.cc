// PureBasic library files from arbitrary bytes. Beyond not reading outside the data, every
// catalogued function must belong to the one record the file adds, carry a bracketed template,
// and be found again by name as the first function of that name.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "toolchain/pure_library_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brisko::toolchain;
  LibraryCatalogue catalogue;
  parsePureLibrary(std::string_view(reinterpret_cast<const char*>(data), size),
                   "PureLibraries/String", catalogue);
  if (catalogue.libraries().size() > 1) std::abort();
  if (catalogue.libraries().empty() && !catalogue.functions().empty()) std::abort();
  catalogue.sortFunctions();
  for (const LibraryFunction& f : catalogue.functions()) {
    if (f.library != &catalogue.libraries().front() || !f.parameterTemplate.starts_with('(') ||
        !f.parameterTemplate.ends_with(')')) {
      std::abort();
    }
    const LibraryFunction* found = catalogue.findLibraryFunction(f.name, true);
    if (!found || found->name != f.name || found > &f) std::abort();
    if (catalogue.findLibraryFunction(f.name, false)) std::abort();
  }
  return 0;
}
