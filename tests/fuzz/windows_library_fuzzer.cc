// Windows descriptor files from arbitrary bytes. Beyond not reading outside the data, a file
// without the signature must add nothing, and every entry must be found again by name as the
// first Windows function of that name.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "toolchain/windows_library_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brisko::toolchain;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  LibraryCatalogue catalogue;
  const auto failure = parseWindowsLibrary(bytes, "Kernel32", catalogue);
  if (!failure != bytes.starts_with("ERUPLLDE")) std::abort();
  if (failure && !catalogue.libraries().empty()) std::abort();
  for (const LibraryFunction& f : catalogue.functions()) {
    if (f.library != &catalogue.libraries().front() || f.parameterCount < -128 ||
        f.parameterCount > 127) {
      std::abort();
    }
    const LibraryFunction* found = catalogue.findLibraryFunction(f.name, false);
    if (!found || found->name != f.name || found > &f) std::abort();
    if (catalogue.findLibraryFunction(f.name, true)) std::abort();
  }
  return 0;
}
