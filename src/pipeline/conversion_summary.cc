#include "pipeline/conversion_summary.h"

#include <algorithm>

#include "pipeline/conversion.h"
#include "pipeline/write_wrapper.h"
#include "platform/paths.h"

namespace brisko::pipeline {

ConversionSummary summariseConversion(const Conversion& conversion) {
  ConversionSummary summary;
  summary.target = conversion.listing.target.name();
  summary.library = conversion.plan.library;
  if (summary.library) summary.libraryMembers = conversion.plan.assembled().size();
  summary.analysed = !conversion.symbols.empty();

  // Reused sources may call any external the listing declares, as the wrapper assumes.
  const bool everyExternal = conversion.has(app::kUseExistingAsmFiles);
  const toolchain::LibraryCatalogue* catalogue = conversion.settings.catalogue;
  for (const SymbolRecord& record : conversion.symbols) {
    switch (record.kind) {
      case SymbolKind::procedureDll:
      case SymbolKind::procedureCDll:
        summary.exportedProcedures.push_back(record.outputName);
        break;
      case SymbolKind::procedure:
        ++summary.internalProcedures;
        break;
      case SymbolKind::variable:
        summary.exportedVariables.push_back(record.outputName);
        break;
      case SymbolKind::array:
        summary.exportedArrays.push_back(record.outputName);
        break;
      case SymbolKind::list:
        summary.exportedLists.push_back(record.outputName);
        break;
      case SymbolKind::external: {
        if (catalogue == nullptr || !(record.referenced || everyExternal)) break;
        const toolchain::LibraryFunction* function =
            catalogueFunctionFor(record.asmName, *catalogue);
        if (function == nullptr || function->library == nullptr) break;
        std::string library = platform::filePart(function->library->path);
        std::vector<std::string>& libraries = summary.runtimeLibraries;
        if (std::find(libraries.begin(), libraries.end(), library) == libraries.end()) {
          libraries.push_back(std::move(library));
        }
        break;
      }
      case SymbolKind::localData:
      case SymbolKind::alias:
      case SymbolKind::mainLabel:
      case SymbolKind::heldData:
        break;
    }
  }
  return summary;
}

}  // namespace brisko::pipeline
