#include "pipeline/conversion.h"

#include "language/text_ids.h"
#include "platform/paths.h"

namespace brisko::pipeline {

const Listing* Conversion::readListing() {
  if (!listing_ || listingPath_ != listingPath) {
    listing_ = Listing::read(services.files, listingPath);
    listingPath_ = listingPath;
  }
  return listing_ ? &*listing_ : nullptr;
}

void Conversion::releaseListing() {
  listing_.reset();
  listingPath_.clear();
  listing.dataLines = {};
  listing.dataNames = {};
  listing.heldItems = {};
}

std::string Conversion::procedureFileStem(const SymbolRecord& procedure) const {
  const std::string& name = procedure.outputName;
  const std::string& symbolBase = output.symbolBase();
  if (procedure.kind == SymbolKind::procedure && name.size() > symbolBase.size() &&
      name.compare(0, symbolBase.size(), symbolBase) == 0 && name[symbolBase.size()] == '_') {
    return output.baseName() + name.substr(symbolBase.size());
  }
  return name;
}

void Conversion::logProgress(language::TextId id, std::string_view name) {
  if (app::LogSink* sink = log()) {
    std::string line = text(id);
    line += " \"";
    line += name;
    line += "\" ......";
    sink->write(line);
  }
}

void Conversion::logOutcome(bool ok) {
  if (app::LogSink* sink = log()) {
    sink->writeLine(text(ok ? language::TextId::noErrors : language::TextId::error));
  }
}

app::Outcome Conversion::failWith(language::TextId id, std::string_view path,
                                  std::string_view reason) {
  logOutcome(false);
  return services.feedback.reportError(id, false, app::pathDetail(path, reason));
}

void Conversion::logLine(std::string_view line) {
  if (app::LogSink* sink = log()) sink->writeLine(line);
}

}  // namespace brisko::pipeline
