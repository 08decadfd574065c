// Cutting one FASM object into library members. The combined source that FASM assembled gives
// every future member sections of its own (FASM starts a new section at each "section"
// directive, even of a name used before), so a member is a set of section numbers. FASM writes a
// reference to a label of the same object as a relocation against the section symbol of the
// label's section, with the label's offset in the field; a reference that crosses into another
// member becomes here a relocation against the public symbol standing there, so that each member
// looks as if its own source had been assembled alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "coff/object.h"
#include "coff/result.h"

namespace brisko::coff {

struct MemberPlan {
  // The combined object's sections (1-based numbers) that the member holds, in its order.
  std::vector<std::uint32_t> sections;
  // The names the member takes from outside, as the "extrn" lines of its own source would
  // declare them, in their order: public symbols of other members and truly external symbols.
  std::vector<std::string> needs;
};

// Cuts the combined object into one object per plan. Each member gets its sections (names,
// characteristics, data), a symbol table as FASM writes it for the member's own source (its
// public symbols in the combined object's order, an external for each needed name, then one
// section symbol per section) and its relocations:
//  - against a section of the same member: the same field, against that section's symbol;
//  - against a section of another member: against the public symbol that stands at the field's
//    target there (one the plan needs first, then the nearest one below the target, so that
//    "[table+4]" stays an addend inside "table"), the field less the symbol's value;
//  - against an external symbol: against the member's external of that name.
// A name a relocation comes to need that the plan does not list is added after the listed ones.
// Where the plan needs one symbol exactly at the target and another below it ("b" and "a+4"),
// the exact one is named: both give the linker the same address.
// Fails when a plan names a section twice or one the object lacks, when a relocation leads to a
// section that no plan holds, or when a reference into another member has no public symbol to
// name.
Result<std::vector<ObjectFile>> cutObject(const ObjectFile& combined,
                                          const std::vector<MemberPlan>& plan);
// The same, handing each member to `take` (with its plan's position) as soon as it is cut, so
// that a caller that stores members need not hold them all at once; the combined object's
// section bytes and relocations are let go member by member. Empty when every member was cut,
// else the failure's text; members before the failure have been taken.
std::string cutObjectEach(ObjectFile&& combined, const std::vector<MemberPlan>& plan,
                          const std::function<void(std::size_t, ObjectFile&&)>& take);

// The sizes the immediate operand may have that follows an AMD64 RIP-relative displacement at
// `field` of the code, most likely first (FASM writes REL32 relocations of such instructions
// with the target's offset less these bytes). Read backwards from the field: the ModRM byte, the
// opcode and its escape or VEX bytes, the operand-size prefix. {0} for a branch's displacement.
std::vector<std::uint32_t> immediateSizesAfter(std::span<const std::uint8_t> code,
                                               std::size_t field);

}  // namespace brisko::coff
