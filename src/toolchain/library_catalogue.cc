#include "toolchain/library_catalogue.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

namespace brisko::toolchain {
namespace {

unsigned char foldCase(char c) {
  return static_cast<unsigned char>(platform::asciiLower(c));
}

bool lessIgnoringCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return foldCase(x) < foldCase(y); });
}

}  // namespace

LibraryRecord& LibraryCatalogue::addLibrary(std::string path, bool isPureLibrary) {
  libraries_.push_back({std::move(path), isPureLibrary});
  return libraries_.back();
}

void LibraryCatalogue::addFunction(LibraryFunction function) {
  functions_.push_back(std::move(function));
  indexFunction(functions_.size() - 1);
}

void LibraryCatalogue::addCompilerLibrary(std::string_view name) {
  compilerLibraryNames_.append(name);
  compilerLibraryNames_ += ',';
}

void LibraryCatalogue::sortFunctions() {
  std::stable_sort(functions_.begin(), functions_.end(),
                   [](const LibraryFunction& a, const LibraryFunction& b) {
                     return lessIgnoringCase(a.name, b.name);
                   });
  rebuildIndex();
}

void LibraryCatalogue::rebuildIndex() {
  index_.clear();
  for (std::size_t i = 0; i < functions_.size(); ++i) indexFunction(i);
}

void LibraryCatalogue::indexFunction(std::size_t at) {
  const LibraryFunction& function = functions_[at];
  FirstMatches& first = index_[function.name];
  std::size_t& slot =
      (function.library && function.library->isPureLibrary) ? first.pure : first.windows;
  if (slot == kNone) slot = at;
}

const LibraryFunction* LibraryCatalogue::findLibraryFunction(std::string_view name,
                                                             bool isPureLibrary) const {
  const auto found = index_.find(name);
  if (found == index_.end()) return nullptr;
  const std::size_t at = isPureLibrary ? found->second.pure : found->second.windows;
  return at == kNone ? nullptr : &functions_[at];
}

}  // namespace brisko::toolchain
