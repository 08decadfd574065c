#include "pipeline/symbol_table.h"

#include <functional>

namespace brisko::pipeline {

namespace {

std::size_t lengthBit(std::string_view name) {
  return name.size() < 64 ? name.size() : 63;
}

std::size_t hashOf(std::string_view name) {
  return std::hash<std::string_view>{}(name);
}

// Bits of the hash that the slot index does not use, compared before the names are.
std::uint32_t tagOf(std::size_t hash) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> 32) | 1u;
}

}  // namespace

void SymbolList::clear() {
  records_.clear();
  slots_.clear();
  indexed_ = 0;
  for (std::uint64_t& bits : lengths_) bits = 0;
}

void SymbolList::note(std::string_view name) {
  if (name.empty()) return;
  lengths_[static_cast<unsigned char>(name[0])] |= std::uint64_t{1} << lengthBit(name);
}

// The slot that holds name, or the free slot where it would go.
std::size_t SymbolList::findSlot(std::string_view name, std::size_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  const std::uint32_t tag = tagOf(hash);
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.position == 0) return i;
    if (slot.tag == tag && records_[slot.position - 1].asmName == name) return i;
  }
}

void SymbolList::grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
  for (const Slot& slot : old) {
    if (slot.position == 0) continue;
    const std::size_t hash = hashOf(records_[slot.position - 1].asmName);
    slots_[findSlot(records_[slot.position - 1].asmName, hash)] = slot;
  }
}

SymbolRecord& SymbolList::append(SymbolRecord record) {
  note(record.asmName);
  if ((indexed_ + 1) * 4 > slots_.size() * 3) grow();
  const std::size_t hash = hashOf(record.asmName);
  Slot& slot = slots_[findSlot(record.asmName, hash)];
  records_.push_back(std::move(record));
  // Only the first record of a name is ever found by a lookup.
  if (slot.position == 0) {
    slot = Slot{tagOf(hash), static_cast<std::uint32_t>(records_.size())};
    ++indexed_;
  }
  return records_.back();
}

std::size_t SymbolList::indexedPosition(std::string_view name) const {
  if (slots_.empty()) return kNone;
  const Slot& slot = slots_[findSlot(name, hashOf(name))];
  return slot.position == 0 ? kNone : slot.position - 1;
}

}  // namespace brisko::pipeline
