#include "pipeline/check_closure.h"

#include <unordered_set>

#include "language/text_ids.h"
#include "pipeline/symbol_names.h"

namespace brisko::pipeline {

app::Outcome checkClosure(Conversion& conversion) {
  std::unordered_set<std::string> provided;
  for (const SymbolRecord& record : conversion.symbols) {
    if (record.kind == SymbolKind::external) provided.insert(linkName(record));
  }
  for (const PlannedSource& source : conversion.plan.sources) {
    provided.insert(source.defines.begin(), source.defines.end());
  }
  for (const PlannedSource& source : conversion.plan.sources) {
    for (const Need& need : source.needs) {
      if (provided.count(need.symbol) != 0) continue;
      return conversion.services.feedback.reportError(
          language::TextId::unresolvedSymbol, false,
          "\n(" + need.referrer + ": " + need.symbol + ")");
    }
  }
  return app::ok();
}

}  // namespace brisko::pipeline
