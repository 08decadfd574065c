#include "coff/compare.h"

#include <algorithm>
#include <set>

#include "coff/bytes.h"

namespace brisko::coff {
namespace {

using detail::hex;

struct Reference {
  std::uint32_t offset;
  std::uint16_t type;
  std::string target;
  std::int64_t addend;
};

std::string describeTarget(const ObjectFile& object, std::uint32_t index) {
  if (index >= object.symbols.size()) return "symbol #" + std::to_string(index);
  const Symbol& symbol = object.symbols[index];
  if (isSectionSymbol(object, symbol)) {
    return "section " + std::to_string(symbol.section) + " (" + symbol.name + ")";
  }
  return "'" + symbol.name + "'";
}

std::vector<Reference> references(const ObjectFile& object, const Section& section) {
  std::vector<Reference> list;
  for (const Relocation& relocation : section.relocations) {
    list.push_back({relocation.offset, relocation.type, describeTarget(object, relocation.symbol),
                    fieldValue(section, relocation, object.machine)});
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const Reference& x, const Reference& y) { return x.offset < y.offset; });
  return list;
}

std::string describe(const Reference& reference) {
  std::string text = "type " + hex(reference.type) + " to " + reference.target;
  if (reference.addend != 0)
    text += (reference.addend < 0 ? " - " : " + ") +
            std::to_string(reference.addend < 0 ? -reference.addend : reference.addend);
  return text;
}

// Marks the bytes of every relocated field of the section.
void maskFields(const ObjectFile& object, const Section& section, std::vector<bool>& mask) {
  for (const Relocation& relocation : section.relocations) {
    const std::uint32_t width = relocationField(object.machine, relocation.type).width;
    for (std::size_t i = relocation.offset;
         i < relocation.offset + std::size_t{width} && i < mask.size(); ++i) {
      mask[i] = true;
    }
  }
}

void compareSection(const ObjectFile& a, const ObjectFile& b, std::size_t index,
                    std::vector<std::string>& out) {
  const Section& x = a.sections[index];
  const Section& y = b.sections[index];
  const std::string where = "section " + std::to_string(index + 1) + " (" + x.name + ")";
  if (x.name != y.name) out.push_back(where + ": named '" + x.name + "' against '" + y.name + "'");
  if (x.characteristics != y.characteristics) {
    out.push_back(where + ": characteristics " + hex(x.characteristics) + " against " +
                  hex(y.characteristics));
  }
  if (x.size() != y.size() || x.data.size() != y.data.size()) {
    out.push_back(where + ": " + std::to_string(x.size()) + " bytes against " +
                  std::to_string(y.size()));
  } else {
    std::vector<bool> mask(x.data.size(), false);
    maskFields(a, x, mask);
    maskFields(b, y, mask);
    for (std::size_t i = 0; i < x.data.size(); ++i) {
      if (!mask[i] && x.data[i] != y.data[i]) {
        out.push_back(where + ": the bytes differ at " + hex(i));
        break;
      }
    }
  }
  const std::vector<Reference> first = references(a, x), second = references(b, y);
  if (first.size() != second.size()) {
    out.push_back(where + ": " + std::to_string(first.size()) + " relocations against " +
                  std::to_string(second.size()));
  }
  for (std::size_t r = 0; r < std::min(first.size(), second.size()); ++r) {
    const Reference& p = first[r];
    const Reference& q = second[r];
    if (p.offset != q.offset) {
      out.push_back(where + ": a relocation at " + hex(p.offset) + " against one at " +
                    hex(q.offset));
    } else if (p.type != q.type || p.target != q.target || p.addend != q.addend) {
      out.push_back(where + ": the relocation at " + hex(p.offset) + " is " + describe(p) +
                    " against " + describe(q));
    }
  }
}

// "defines NAME in section N at V" and "needs NAME" lines of the object's symbols.
std::set<std::string> symbolFacts(const ObjectFile& object) {
  std::set<std::string> facts;
  for (const Symbol& symbol : object.symbols) {
    if (isSectionSymbol(object, symbol)) continue;
    if (symbol.section == kUndefinedSection && symbol.value == 0) {
      facts.insert("needs '" + symbol.name + "'");
    } else {
      const bool local = symbol.storageClass != kClassExternal;
      facts.insert((local ? "defines the local '" : "defines '") + symbol.name + "' in section " +
                   std::to_string(symbol.section) + " at " + hex(symbol.value));
    }
  }
  return facts;
}

}  // namespace

std::vector<std::string> compareObjects(const ObjectFile& a, const ObjectFile& b) {
  std::vector<std::string> out;
  if (a.machine != b.machine) {
    out.push_back("machine " + hex(a.machine) + " against " + hex(b.machine));
  }
  if (a.sections.size() != b.sections.size()) {
    out.push_back(std::to_string(a.sections.size()) + " sections against " +
                  std::to_string(b.sections.size()));
  }
  for (std::size_t s = 0; s < std::min(a.sections.size(), b.sections.size()); ++s) {
    compareSection(a, b, s, out);
  }
  const std::set<std::string> first = symbolFacts(a), second = symbolFacts(b);
  for (const std::string& fact : first) {
    if (!second.contains(fact)) out.push_back("only the first object " + fact);
  }
  for (const std::string& fact : second) {
    if (!first.contains(fact)) out.push_back("only the second object " + fact);
  }
  return out;
}

}  // namespace brisko::coff
