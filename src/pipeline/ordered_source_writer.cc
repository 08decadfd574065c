#include "pipeline/ordered_source_writer.h"

#include "language/text_ids.h"

namespace brisko::pipeline {

OrderedSourceWriter::OrderedSourceWriter(Conversion& conversion, const Listing& listing)
    : conversion_(conversion), listing_(listing), writer_(conversion.services.files) {}

app::Outcome OrderedSourceWriter::store(const std::string& name, std::string& text) {
  if (writer_.full()) {
    if (const app::Outcome result = collectOldest(); !result.succeeded()) return result;
  }
  std::string path = conversion_.output.sourceFolder() + name;
  std::string bytes = sourceBytes(std::move(text), listing_);
  text = writer_.takeBuffer();
  writer_.store(path, std::move(bytes));
  inFlight_.push_back({std::move(path), name});
  return app::ok();
}

void OrderedSourceWriter::startLogLine(const std::string& name) {
  if (app::LogSink* log = conversion_.log()) log->write("   ");
  conversion_.logProgress(language::TextId::objectCreatingSourceFile, name);
}

app::Outcome OrderedSourceWriter::collectOldest() {
  const InFlight source = std::move(inFlight_.front());
  inFlight_.pop_front();
  const bool stored = writer_.collectOldest();
  startLogLine(source.name);
  if (!stored) {
    writer_.discardAll();
    inFlight_.clear();
    return conversion_.failWith(language::TextId::creatingFileError, source.path,
                                writer_.lastFailureReason());
  }
  conversion_.logOutcome(true);
  return app::ok();
}

app::Outcome OrderedSourceWriter::collectAll() {
  while (!inFlight_.empty()) {
    if (const app::Outcome result = collectOldest(); !result.succeeded()) return result;
  }
  return app::ok();
}

}  // namespace brisko::pipeline
