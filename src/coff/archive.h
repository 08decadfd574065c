// Static libraries in the form that Microsoft's lib and polib write: "!<arch>\n", the first
// linker member (big-endian offsets, symbols in member order), the second linker member
// (little-endian, symbols sorted by name with 1-based member indexes), the long-names member and
// the objects, each behind a 60-byte header and padded to an even offset.
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

struct ArchiveMember {
  std::string name;  // stored name, without folders
  Bytes data;
  std::vector<std::string> symbols;  // the public symbols the linker members point at
};

// The date every member header carries, so that the same members give the same library.
inline constexpr std::uint32_t kArchiveTimestamp = 0;

// Writes a library of the members in the given order. Names of more than 15 characters go to the
// long-names member. Fails on a name that a header cannot hold (empty, or holding '/' or a NUL
// byte), a symbol name holding a NUL byte, and more members than a 16-bit index counts.
Result<Bytes> writeArchive(const std::vector<ArchiveMember>& members);
// The same, handing the library to `store` piece by piece in order (the linker and long-names
// members first, then each member behind its header), so that a large library need not be held
// twice. Fails as above, or with "the library could not be stored" when `store` returns false.
Result<std::uint64_t> writeArchive(const std::vector<ArchiveMember>& members,
                                   const std::function<bool(std::span<const std::uint8_t>)>& store);

// The symbols a linker member must list for the object: external symbols defined in a section
// or absolute, common symbols and weak externals, in symbol-table order.
std::vector<std::string> publicSymbolsOf(const ObjectFile& object);

struct ArchiveSymbol {
  std::string name;
  std::size_t member = 0;  // index into Archive::members
};

struct Archive {
  std::vector<ArchiveMember> members;      // name and data; symbols stay empty
  std::vector<ArchiveSymbol> firstIndex;   // the first linker member's symbols
  std::vector<ArchiveSymbol> secondIndex;  // the second linker member's symbols
};

// Reads a library of this form back: its members and both symbol indexes, checked against the
// size of the data and the members' places. Without `withData` the members' bytes are checked
// for their place but not copied (a check of what was stored need not hold the library twice).
Result<Archive> readArchive(std::span<const std::uint8_t> data, bool withData = true);

}  // namespace brisko::coff
