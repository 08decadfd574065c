#include "pipeline/write_link_source.h"

#include "language/text_ids.h"
#include "pipeline/generated_source.h"
#include "pipeline/symbol_names.h"
#include "platform/paths.h"

namespace brisko::pipeline {

app::Outcome writeLinkSource(Conversion& conversion) {
  if (conversion.plan.library) return app::ok();
  app::Feedback& feedback = conversion.services.feedback;
  feedback.setStatus(language::TextId::statusbarCreatingMainAsmFile);
  const std::string name = conversion.output.linkSourceName();
  conversion.logProgress(language::TextId::objectCreatingMainAsmFile, name);
  feedback.setStatusDetail(std::string(kSourceFolderName) + platform::kPathSeparator + name);

  PlannedSource planned;
  planned.role = PlannedSource::Role::linkSource;
  planned.fileName = name;
  SourceText out;
  writeHeaderBlock(out, conversion.services.clock.now());
  out.line(conversion.listing.target.formatLine());
  out.line("");
  // Every external the code and data use is declared before the sources that use it.
  int externs = 0;
  for (const SymbolRecord& record : conversion.symbols) {
    if (record.kind == SymbolKind::external && record.referenced) {
      out.line(externLine(record));
      planned.needs.push_back({linkName(record), name});
      ++externs;
    }
  }
  if (externs > 0) out.line("");
  out.line("include \"" + conversion.output.dataSectionsName() + "\"");
  out.line("");
  out.line("section '.code' code readable executable");
  out.line("");
  for (const PlannedSource& source : conversion.plan.sources) {
    conversion.poll();
    if (source.role == PlannedSource::Role::procedure) {
      out.line("include \"" + source.fileName + "\"");
    }
  }
  conversion.plan.sources.push_back(std::move(planned));

  const Listing* listing = conversion.readListing();
  const std::string path = conversion.output.sourceFolder() + name;
  auto file = conversion.services.files.createFile(path);
  if (listing == nullptr || !file || !storeSource(*file, out.text(), *listing)) {
    const std::string reason = conversion.services.files.failureReason();
    if (file) conversion.services.files.deleteFile(path);
    return conversion.failWith(language::TextId::creatingFileError, path, reason);
  }
  conversion.logOutcome(true);
  return app::ok();
}

}  // namespace brisko::pipeline
