#include "pipeline/conversion.h"

#include "language/text_ids.h"
#include "platform/paths.h"

namespace brisko::pipeline {

void SymbolList::clear() {
  records_.clear();
  firstIndex_.clear();
}

SymbolRecord& SymbolList::append(SymbolRecord record) {
  // Only the first record of a name is ever found by a lookup.
  firstIndex_.try_emplace(record.asmName, records_.size());
  records_.push_back(std::move(record));
  return records_.back();
}

SymbolRecord* SymbolList::find(std::string_view asmName) {
  auto it = firstIndex_.find(asmName);
  return it == firstIndex_.end() ? nullptr : &records_[it->second];
}

const SymbolRecord* SymbolList::find(std::string_view asmName) const {
  auto it = firstIndex_.find(asmName);
  return it == firstIndex_.end() ? nullptr : &records_[it->second];
}

std::size_t SymbolList::indexOf(const SymbolRecord& record) const {
  // The first record of a name is indexed; other records are found by their position.
  auto it = firstIndex_.find(record.asmName);
  if (it != firstIndex_.end() && &records_[it->second] == &record) return it->second;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (&records_[i] == &record) return i;
  }
  return records_.size();
}

std::string Conversion::sourceFolder() const {
  return destination + "Source" + platform::kPathSeparator;
}

std::string Conversion::binFolder() const {
  return destination + "Bin" + platform::kPathSeparator;
}

void Conversion::logProgress(int textIndex, std::string_view name) {
  if (app::LogSink* sink = log()) {
    std::string line = text(textIndex);
    line += " \"";
    line += name;
    line += "\" ......";
    sink->write(line);
  }
}

void Conversion::logOutcome(bool ok) {
  if (app::LogSink* sink = log()) {
    sink->writeLine(text(ok ? language::kErrorsNoErrors : language::kErrorsError));
  }
}

void Conversion::logLine(std::string_view line) {
  if (app::LogSink* sink = log()) sink->writeLine(line);
}

}  // namespace brisko::pipeline
