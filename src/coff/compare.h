// Whether two objects amount to the same thing for a linker, so that a test can show that a
// member cut from a combined object equals the member assembled from its own source.
#pragma once

#include <string>
#include <vector>

#include "coff/object.h"

namespace brisko::coff {

// The differences between the objects, one English line each; empty when they are equivalent.
// Compared: the machine; the sections in order (name, characteristics, size, the data outside
// relocated fields); each section's relocations in offset order (offset, type, the target named
// by its symbol's name, or as "section N" for a section symbol, and the addend in the field);
// the symbols each defines (name, section, value) and needs (undefined externals), as sets.
std::vector<std::string> compareObjects(const ObjectFile& a, const ObjectFile& b);

}  // namespace brisko::coff
