#include "coff/cutter.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "coff/bytes.h"

namespace brisko::coff {
namespace {

using detail::hex;

bool isLegacyPrefix(int byte) {
  switch (byte) {
    case 0x26:
    case 0x2E:
    case 0x36:
    case 0x3E:
    case 0x64:
    case 0x65:
    case 0x66:
    case 0x67:
    case 0xF0:
    case 0xF2:
    case 0xF3:
      return true;
    default:
      return false;
  }
}

// Opcodes of the 0F map that take a ModRM operand and an 8-bit immediate.
bool escapedTakesImm8(int op) {
  return (op >= 0x70 && op <= 0x73) || op == 0xA4 || op == 0xAC || op == 0xBA || op == 0xC2 ||
         (op >= 0xC4 && op <= 0xC6);
}

void addOnce(std::vector<std::uint32_t>& sizes, std::uint32_t size) {
  if (std::find(sizes.begin(), sizes.end(), size) == sizes.end()) sizes.push_back(size);
}

// Where a combined-object relocation points in the cut members.
struct Target {
  std::optional<std::uint32_t> combinedSymbol;  // a symbol the member keeps
  std::string external;                         // otherwise: the member's external of this name
};

class MemberCutter {
 public:
  MemberCutter(const ObjectFile& combined, const std::vector<MemberPlan>& plan,
               const std::vector<int>& owner, const std::vector<std::uint32_t>& newNumber,
               const std::vector<std::vector<std::uint32_t>>& publics,
               const std::vector<std::uint32_t>& ownSymbols, std::size_t member)
      : combined_(combined),
        plan_(plan[member]),
        owner_(owner),
        newNumber_(newNumber),
        publics_(publics),
        ownSymbols_(ownSymbols),
        member_(member),
        needs_(plan_.needs.begin(), plan_.needs.end()) {}

  Result<ObjectFile> cut() {
    ObjectFile out;
    out.machine = combined_.machine;
    out.timestamp = combined_.timestamp;
    out.characteristics = combined_.characteristics;
    std::vector<std::vector<Target>> targets;
    for (std::uint32_t number : plan_.sections) {
      const Section& from = combined_.sections[number - 1];
      Section section{from.name, from.characteristics, from.data, from.uninitializedSize, {}};
      targets.emplace_back();
      for (const Relocation& relocation : from.relocations) {
        auto target = retarget(number, section, relocation);
        if (!target) return Error{target.error()};
        targets.back().push_back(std::move(target.value()));
      }
      out.sections.push_back(std::move(section));
    }
    if (auto error = buildSymbols(out); !error.empty()) return Error{error};
    for (std::size_t s = 0; s < out.sections.size(); ++s) {
      const Section& from = combined_.sections[plan_.sections[s] - 1];
      for (std::size_t r = 0; r < from.relocations.size(); ++r) {
        const Target& target = targets[s][r];
        const std::uint32_t symbol = target.combinedSymbol ? kept_.at(*target.combinedSymbol)
                                                           : externals_.at(target.external);
        out.sections[s].relocations.push_back(
            {from.relocations[r].offset, symbol, from.relocations[r].type});
      }
    }
    return out;
  }

 private:
  std::string where() const { return "member " + std::to_string(member_ + 1); }

  void useExternal(const std::string& name) {
    if (!needs_.contains(name) && extraNeedSet_.insert(name).second) extraNeeds_.push_back(name);
  }

  Result<Target> retarget(std::uint32_t sectionNumber, Section& section,
                          const Relocation& relocation) {
    const Symbol& symbol = combined_.symbols[relocation.symbol];
    const std::string at = " (relocation at " + hex(relocation.offset) + " of section " +
                           std::to_string(sectionNumber) + ")";
    if (symbol.section <= 0) {
      if (symbol.storageClass != kClassExternal && symbol.storageClass != kClassWeakExternal) {
        return Error{where() + " refers to '" + symbol.name + "', which no member can name" + at};
      }
      useExternal(symbol.name);
      return Target{std::nullopt, symbol.name};
    }
    const auto targetSection = static_cast<std::size_t>(symbol.section);
    const int owner = owner_[targetSection];
    if (owner < 0) {
      return Error{where() + " refers to section " + std::to_string(targetSection) +
                   ", which no member's plan holds" + at};
    }
    if (static_cast<std::size_t>(owner) == member_) return Target{relocation.symbol, ""};
    if (!isSectionSymbol(combined_, symbol)) {
      if (symbol.storageClass != kClassExternal) {
        return Error{where() + " refers to the local symbol '" + symbol.name + "' of member " +
                     std::to_string(owner + 1) + at};
      }
      useExternal(symbol.name);
      return Target{std::nullopt, symbol.name};
    }
    const RelocationField field = relocationField(combined_.machine, relocation.type);
    if (field.kind != FieldKind::kAddress && field.kind != FieldKind::kRipRelative) {
      return Error{where() + " has a relocation of type " + hex(relocation.type) + " into member " +
                   std::to_string(owner + 1) +
                   ", which cannot be turned into one against a symbol" + at};
    }
    const std::int64_t value = fieldValue(section, relocation, combined_.machine);
    std::vector<std::int64_t> offsets{value};
    if (field.kind == FieldKind::kRipRelative) {
      offsets.clear();
      for (std::uint32_t size : immediateSizesAfter(section.data, relocation.offset)) {
        offsets.push_back(value + size);
      }
    }
    const Symbol* named = nameTarget(targetSection, offsets);
    if (named == nullptr) {
      const std::string offset = offsets[0] < 0 ? "-" + hex(static_cast<std::uint64_t>(-offsets[0]))
                                                : hex(static_cast<std::uint64_t>(offsets[0]));
      return Error{where() + " refers to offset " + offset + " of section " +
                   std::to_string(targetSection) + " in member " + std::to_string(owner + 1) +
                   ", where no public symbol stands at or below" + at};
    }
    detail::writeLittle(section.data, relocation.offset, field.width,
                        static_cast<std::uint64_t>(value - std::int64_t{named->value}));
    useExternal(named->name);
    return Target{std::nullopt, named->name};
  }

  // The public symbol of the section to name for the offsets (the likely target first): one
  // the plan needs exactly there, one it needs below, any exactly there, any below. Among
  // symbols of one value the first in the object's order is taken.
  const Symbol* nameTarget(std::size_t section, const std::vector<std::int64_t>& offsets) const {
    const std::vector<std::uint32_t>& sorted = publics_[section];  // by value, then index
    const auto valueOf = [&](std::uint32_t index) {
      return std::int64_t{combined_.symbols[index].value};
    };
    const auto firstAt = [&](std::int64_t value) {
      return std::partition_point(sorted.begin(), sorted.end(),
                                  [&](std::uint32_t index) { return valueOf(index) < value; });
    };
    for (bool needed : {true, false}) {
      const auto accepted = [&](std::uint32_t index) {
        return !needed || needs_.contains(combined_.symbols[index].name);
      };
      for (std::int64_t offset : offsets) {
        for (auto it = firstAt(offset); it != sorted.end() && valueOf(*it) == offset; ++it) {
          if (accepted(*it)) return &combined_.symbols[*it];
        }
      }
      // Below the first offset: the highest value with an accepted symbol.
      auto end = firstAt(offsets[0]);
      while (end != sorted.begin()) {
        const auto start = firstAt(valueOf(*(end - 1)));
        const auto found = std::find_if(start, end, accepted);
        if (found != end) return &combined_.symbols[*found];
        end = start;
      }
    }
    return nullptr;
  }

  // The member's symbols in FASM's order: its defined symbols, its externals, its section
  // symbols.
  std::string buildSymbols(ObjectFile& out) {
    std::unordered_map<std::size_t, std::vector<std::uint32_t>> sectionSymbols;  // by number
    for (std::uint32_t i : ownSymbols_) {
      const Symbol& symbol = combined_.symbols[i];
      if (isSectionSymbol(combined_, symbol)) {
        sectionSymbols[static_cast<std::size_t>(symbol.section)].push_back(i);
        continue;
      }
      if (needs_.contains(symbol.name)) {
        return where() + " needs '" + symbol.name + "', which it defines itself";
      }
      kept_[i] = static_cast<std::uint32_t>(out.symbols.size());
      out.symbols.push_back(renumbered(symbol));
    }
    std::vector<std::string> names = plan_.needs;
    names.insert(names.end(), extraNeeds_.begin(), extraNeeds_.end());
    for (const std::string& name : names) {
      if (externals_.contains(name)) continue;
      externals_[name] = static_cast<std::uint32_t>(out.symbols.size());
      out.symbols.push_back({name, 0, kUndefinedSection, 0, kClassExternal, {}});
    }
    // A relocation against any section symbol of a section goes to the member's one.
    for (std::size_t s = 0; s < plan_.sections.size(); ++s) {
      const std::uint32_t number = plan_.sections[s];
      const auto index = static_cast<std::uint32_t>(out.symbols.size());
      const std::vector<std::uint32_t>& found = sectionSymbols[number];
      if (!found.empty()) {
        out.symbols.push_back(renumbered(combined_.symbols[found.front()]));
      } else {
        out.symbols.push_back(
            {out.sections[s].name, 0, static_cast<std::int16_t>(s + 1), 0, kClassStatic, {}});
      }
      for (std::uint32_t i : found) kept_[i] = index;
    }
    return "";
  }

  Symbol renumbered(const Symbol& symbol) const {
    Symbol copy = symbol;
    copy.section = static_cast<std::int16_t>(newNumber_[static_cast<std::size_t>(symbol.section)]);
    return copy;
  }

  const ObjectFile& combined_;
  const MemberPlan& plan_;
  const std::vector<int>& owner_;
  const std::vector<std::uint32_t>& newNumber_;
  const std::vector<std::vector<std::uint32_t>>& publics_;  // by section, sorted by value
  const std::vector<std::uint32_t>& ownSymbols_;  // combined symbols in the member's sections
  const std::size_t member_;
  const std::unordered_set<std::string> needs_;
  std::vector<std::string> extraNeeds_;
  std::unordered_set<std::string> extraNeedSet_;
  std::unordered_map<std::uint32_t, std::uint32_t> kept_;  // combined index -> member's index
  std::unordered_map<std::string, std::uint32_t> externals_;
};

}  // namespace

std::string cutObjectEach(ObjectFile&& combined, const std::vector<MemberPlan>& plan,
                          const std::function<void(std::size_t, ObjectFile&&)>& take) {
  const std::size_t sectionCount = combined.sections.size();
  std::vector<int> owner(sectionCount + 1, -1);
  std::vector<std::uint32_t> newNumber(sectionCount + 1, 0);
  for (std::size_t m = 0; m < plan.size(); ++m) {
    for (std::size_t s = 0; s < plan[m].sections.size(); ++s) {
      const std::uint32_t number = plan[m].sections[s];
      if (number == 0 || number > sectionCount) {
        return "the plan of member " + std::to_string(m + 1) + " names section " +
               std::to_string(number) + ", which the object does not have";
      }
      if (owner[number] >= 0) {
        return "section " + std::to_string(number) + " stands in the plans of members " +
               std::to_string(owner[number] + 1) + " and " + std::to_string(m + 1);
      }
      owner[number] = static_cast<int>(m);
      newNumber[number] = static_cast<std::uint32_t>(s + 1);
    }
  }
  // The symbols that other members may name, by section; the symbols of each member's sections.
  std::vector<std::vector<std::uint32_t>> publics(sectionCount + 1);
  std::vector<std::vector<std::uint32_t>> ownSymbols(plan.size());
  for (std::size_t i = 0; i < combined.symbols.size(); ++i) {
    const Symbol& symbol = combined.symbols[i];
    if (symbol.section <= 0 || static_cast<std::size_t>(symbol.section) > sectionCount) continue;
    const auto section = static_cast<std::size_t>(symbol.section);
    if (symbol.storageClass == kClassExternal) {
      publics[section].push_back(static_cast<std::uint32_t>(i));
    }
    if (owner[section] >= 0) {
      ownSymbols[static_cast<std::size_t>(owner[section])].push_back(static_cast<std::uint32_t>(i));
    }
  }
  for (std::vector<std::uint32_t>& symbols : publics) {
    std::stable_sort(symbols.begin(), symbols.end(), [&](std::uint32_t a, std::uint32_t b) {
      return combined.symbols[a].value < combined.symbols[b].value;
    });
  }
  for (std::size_t m = 0; m < plan.size(); ++m) {
    auto member = MemberCutter(combined, plan, owner, newNumber, publics, ownSymbols[m], m).cut();
    if (!member) return member.error();
    take(m, std::move(member.value()));
    // Only the member's own cut reads its sections' bytes and relocations.
    for (const std::uint32_t number : plan[m].sections) {
      Section& section = combined.sections[number - 1];
      Bytes().swap(section.data);
      std::vector<Relocation>().swap(section.relocations);
    }
  }
  return "";
}

Result<std::vector<ObjectFile>> cutObject(const ObjectFile& combined,
                                          const std::vector<MemberPlan>& plan) {
  std::vector<ObjectFile> members;
  members.reserve(plan.size());
  ObjectFile copy = combined;
  const std::string error = cutObjectEach(
      std::move(copy), plan,
      [&](std::size_t, ObjectFile&& member) { members.push_back(std::move(member)); });
  if (!error.empty()) return Error{error};
  return members;
}

std::vector<std::uint32_t> immediateSizesAfter(std::span<const std::uint8_t> code,
                                               std::size_t field) {
  auto byte = [&](std::size_t back) -> int {
    return field >= back && field - back < code.size() ? code[field - back] : -1;
  };
  const int modrm = byte(1);
  if (modrm < 0 || (modrm & 0xC7) != 0x05) return {0};  // no RIP-relative operand: a branch
  const int reg = (modrm >> 3) & 7;
  const int op = byte(2);

  // Readings with escape bytes before the opcode: VEX (three- and two-byte), 0F 3A, 0F 38, 0F.
  std::vector<std::uint32_t> escaped;
  if (byte(5) == 0xC4) {
    const int map = byte(4) & 0x1F;
    escaped.push_back(map == 3 ? 1 : map == 1 && escapedTakesImm8(op) ? 1 : 0);
  }
  if (byte(4) == 0xC5) escaped.push_back(escapedTakesImm8(op) ? 1 : 0);
  if (byte(4) == 0x0F && byte(3) == 0x3A) escaped.push_back(1);
  if (byte(4) == 0x0F && byte(3) == 0x38) escaped.push_back(0);
  if (byte(3) == 0x0F) escaped.push_back(escapedTakesImm8(op) ? 1 : 0);

  // The one-byte opcode reading. An operand-size prefix makes a full-size immediate 16-bit unless
  // REX.W widens it; the 0x66 may also be the last byte of the instruction before.
  std::vector<std::uint32_t> plain;
  const bool full = op == 0x81 || op == 0xC7 || op == 0x69 || (op == 0xF7 && reg < 2);
  if (op == 0x80 || op == 0x82 || op == 0x83 || op == 0xC0 || op == 0xC1 || op == 0xC6 ||
      op == 0x6B || (op == 0xF6 && reg < 2)) {
    plain.push_back(1);
  } else if (full) {
    std::size_t back = 3;
    bool wide = false;
    if (byte(3) >= 0x40 && byte(3) <= 0x4F) {
      wide = (byte(3) & 8) != 0;
      back = 4;
    }
    bool operandSize = false;
    for (std::size_t i = 0; i < 4 && isLegacyPrefix(byte(back + i)); ++i) {
      operandSize = operandSize || byte(back + i) == 0x66;
    }
    if (operandSize && !wide) plain.push_back(2);
    plain.push_back(4);
  } else {
    plain.push_back(0);
  }

  // An escape reading that finds an immediate is taken first: the one-byte opcodes it would
  // otherwise be cannot stand before a ModRM byte.
  std::vector<std::uint32_t> sizes;
  const bool escapedFirst =
      std::any_of(escaped.begin(), escaped.end(), [](std::uint32_t size) { return size > 0; });
  if (escapedFirst) {
    for (std::uint32_t size : escaped) {
      if (size > 0) addOnce(sizes, size);
    }
  }
  for (std::uint32_t size : plain) addOnce(sizes, size);
  for (std::uint32_t size : escaped) addOnce(sizes, size);
  return sizes;
}

}  // namespace brisko::coff
