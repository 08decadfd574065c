#include "coff/cutter.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

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
               const std::vector<std::vector<std::uint32_t>>& publics, std::size_t member)
      : combined_(combined),
        plan_(plan[member]),
        owner_(owner),
        newNumber_(newNumber),
        publics_(publics),
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
    if (!needs_.contains(name) &&
        std::find(extraNeeds_.begin(), extraNeeds_.end(), name) == extraNeeds_.end()) {
      extraNeeds_.push_back(name);
    }
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
  // the plan needs exactly there, one it needs below, any exactly there, any below.
  const Symbol* nameTarget(std::size_t section, const std::vector<std::int64_t>& offsets) const {
    for (bool needed : {true, false}) {
      const Symbol* below = nullptr;
      for (std::int64_t offset : offsets) {
        for (std::uint32_t index : publics_[section]) {
          const Symbol& symbol = combined_.symbols[index];
          if (needed && !needs_.contains(symbol.name)) continue;
          if (std::int64_t{symbol.value} == offset) return &symbol;
          if (offset == offsets[0] && std::int64_t{symbol.value} < offset &&
              (below == nullptr || symbol.value > below->value)) {
            below = &symbol;
          }
        }
      }
      if (below != nullptr) return below;
    }
    return nullptr;
  }

  // The member's symbols in FASM's order: its defined symbols, its externals, its section
  // symbols.
  std::string buildSymbols(ObjectFile& out) {
    std::map<std::size_t, std::vector<std::uint32_t>> sectionSymbols;  // by section number
    for (std::size_t i = 0; i < combined_.symbols.size(); ++i) {
      const Symbol& symbol = combined_.symbols[i];
      if (symbol.section <= 0 ||
          owner_[static_cast<std::size_t>(symbol.section)] != static_cast<int>(member_)) {
        continue;
      }
      if (isSectionSymbol(combined_, symbol)) {
        sectionSymbols[static_cast<std::size_t>(symbol.section)].push_back(
            static_cast<std::uint32_t>(i));
        continue;
      }
      if (needs_.contains(symbol.name)) {
        return where() + " needs '" + symbol.name + "', which it defines itself";
      }
      kept_[static_cast<std::uint32_t>(i)] = static_cast<std::uint32_t>(out.symbols.size());
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
  const std::vector<std::vector<std::uint32_t>>& publics_;  // by section number
  const std::size_t member_;
  const std::set<std::string> needs_;
  std::vector<std::string> extraNeeds_;
  std::map<std::uint32_t, std::uint32_t> kept_;  // combined symbol index -> member's index
  std::map<std::string, std::uint32_t> externals_;
};

}  // namespace

Result<std::vector<ObjectFile>> cutObject(const ObjectFile& combined,
                                          const std::vector<MemberPlan>& plan) {
  const std::size_t sectionCount = combined.sections.size();
  std::vector<int> owner(sectionCount + 1, -1);
  std::vector<std::uint32_t> newNumber(sectionCount + 1, 0);
  for (std::size_t m = 0; m < plan.size(); ++m) {
    for (std::size_t s = 0; s < plan[m].sections.size(); ++s) {
      const std::uint32_t number = plan[m].sections[s];
      if (number == 0 || number > sectionCount) {
        return Error{"the plan of member " + std::to_string(m + 1) + " names section " +
                     std::to_string(number) + ", which the object does not have"};
      }
      if (owner[number] >= 0) {
        return Error{"section " + std::to_string(number) + " stands in the plans of members " +
                     std::to_string(owner[number] + 1) + " and " + std::to_string(m + 1)};
      }
      owner[number] = static_cast<int>(m);
      newNumber[number] = static_cast<std::uint32_t>(s + 1);
    }
  }
  // The symbols that other members may name, by section.
  std::vector<std::vector<std::uint32_t>> publics(sectionCount + 1);
  for (std::size_t i = 0; i < combined.symbols.size(); ++i) {
    const Symbol& symbol = combined.symbols[i];
    if (symbol.section > 0 && static_cast<std::size_t>(symbol.section) <= sectionCount &&
        symbol.storageClass == kClassExternal) {
      publics[static_cast<std::size_t>(symbol.section)].push_back(static_cast<std::uint32_t>(i));
    }
  }
  std::vector<ObjectFile> members;
  for (std::size_t m = 0; m < plan.size(); ++m) {
    auto member = MemberCutter(combined, plan, owner, newNumber, publics, m).cut();
    if (!member) return Error{member.error()};
    members.push_back(std::move(member.value()));
  }
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
