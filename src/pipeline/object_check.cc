#include "pipeline/object_check.h"

#include <unordered_set>

#include "coff/archive.h"
#include "language/text_ids.h"
#include "pipeline/symbol_names.h"

namespace brisko::pipeline {
namespace {

std::string detailOf(const std::string& member, const std::string& what) {
  return "\n(" + member + ": " + what + ")";
}

}  // namespace

ObjectCheck::ObjectCheck(const Conversion& conversion)
    : conversion_(conversion),
      knowsSymbols_(!conversion.symbols.empty() && !conversion.has(app::kUseExistingAsmFiles)) {}

std::optional<ObjectCheck::Failure> ObjectCheck::add(const std::string& member,
                                                     std::span<const std::uint8_t> bytes,
                                                     std::vector<std::string>* publics) {
  const coff::Result<coff::ObjectFile> object = coff::readObject(bytes);
  if (!object.ok())
    return Failure{language::TextId::objectDamaged, detailOf(member, object.error())};
  const Target& target = conversion_.listing.target;
  if (object.value().machine != target.coffMachine()) {
    return Failure{language::TextId::objectDamaged,
                   detailOf(member, "not an object for " + std::string(target.name()))};
  }
  ++objects_;
  if (publics != nullptr) *publics = coff::publicSymbolsOf(object.value());
  for (const coff::Symbol& symbol : object.value().symbols) {
    if (symbol.storageClass != coff::kClassExternal) continue;
    if (symbol.section > 0) {
      definedBy_[symbol.name].push_back(member);
    } else if (symbol.section == coff::kUndefinedSection && symbol.value == 0) {
      neededBy_.emplace(symbol.name, member);
    }
  }
  return std::nullopt;
}

std::optional<ObjectCheck::Failure> ObjectCheck::finish() const {
  if (!knowsSymbols_) return std::nullopt;
  // The member each planned source's symbols are expected in, for the message.
  std::map<std::string, std::string> expectedIn;
  for (const PlannedSource& source : conversion_.plan.sources) {
    for (const std::string& name : source.defines) {
      expectedIn.emplace(
          name, conversion_.plan.library ? source.objectName() : conversion_.plan.outputName);
    }
  }
  for (const SymbolRecord& record : conversion_.symbols) {
    const bool exported = record.kind == SymbolKind::procedureDll ||
                          record.kind == SymbolKind::procedureCDll ||
                          record.kind == SymbolKind::variable || record.kind == SymbolKind::array ||
                          record.kind == SymbolKind::list;
    if (!exported) continue;
    const std::string name = linkName(record);
    const auto defined = definedBy_.find(name);
    if (defined != definedBy_.end() && defined->second.size() == 1) continue;
    const std::string member = defined != definedBy_.end() ? defined->second[1]
                               : expectedIn.count(name)    ? expectedIn.at(name)
                                                           : conversion_.plan.outputName;
    return Failure{language::TextId::objectIncomplete, detailOf(member, name)};
  }
  std::unordered_set<std::string> outside;
  for (const SymbolRecord& record : conversion_.symbols) {
    if (record.kind == SymbolKind::external) outside.insert(linkName(record));
  }
  fromOutside_ = 0;
  for (const auto& [name, member] : neededBy_) {
    if (definedBy_.count(name) != 0) continue;
    if (outside.count(name) == 0) {
      return Failure{language::TextId::objectUnresolved, detailOf(member, name)};
    }
    ++fromOutside_;
  }
  return std::nullopt;
}

}  // namespace brisko::pipeline
