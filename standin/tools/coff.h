// MS-COFF pieces shared by the stand-in librarian and the library-file generator: reading the
// public symbols of an i386 or AMD64 object, writing a minimal i386 object, and writing a static
// library (an "!<arch>" archive with the two linker members and the long-names member).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace brisko::standin {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

// The machine field of an object's file header; 0 when the data is too short to hold one.
std::uint16_t objectMachine(std::span<const std::uint8_t> data);

// The result of looking into an object file. `error` is empty when the object was usable.
struct ObjectSymbols {
  std::string error;
  std::vector<std::string> publicSymbols;  // in symbol-table order
};

// Checks that `data` is a COFF object for the machine (i386 or AMD64, whose symbol tables have
// the same form) and lists the symbols it defines for other objects (external symbols with a
// section, common symbols and weak externals).
ObjectSymbols readObjectSymbols(std::span<const std::uint8_t> data,
                                std::uint16_t machine = kMachineI386);

// One public function of a generated object: its symbol name and its machine code.
struct CoffFunction {
  std::string symbol;
  Bytes code;
};

// Writes an i386 object with one ".text" section holding the functions one after the other
// (each starting on a 16-byte boundary) and an "@feat.00" symbol marking it SAFESEH-clean.
Bytes writeObject(const std::vector<CoffFunction>& functions);

struct ArchiveMember {
  std::string name;  // stored name, without folders
  Bytes data;
  std::vector<std::string> symbols;  // the public symbols the linker members point at
};

// Writes a static library holding the members in the given order.
Bytes writeArchive(const std::vector<ArchiveMember>& members);

}  // namespace brisko::standin
