// MS-COFF objects of the i386 and AMD64 machines as plain records: reading one from its bytes,
// with every structure checked against the size of the file, and writing one back in the layout
// that FASM gives its "format MS COFF" and "format MS64 COFF" output. Bytes in, bytes or records
// out: nothing here touches a file or starts a process.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "coff/result.h"

namespace brisko::coff {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

// Section numbers of symbols that stand in no section.
inline constexpr std::int16_t kUndefinedSection = 0;
inline constexpr std::int16_t kAbsoluteSection = -1;
inline constexpr std::int16_t kDebugSection = -2;

inline constexpr std::uint8_t kClassExternal = 2;
inline constexpr std::uint8_t kClassStatic = 3;
inline constexpr std::uint8_t kClassWeakExternal = 105;

// Section characteristics the layer looks at.
inline constexpr std::uint32_t kSectionUninitializedData = 0x00000080;
inline constexpr std::uint32_t kSectionRelocationsOverflow = 0x01000000;

// Relocation types. FASM writes DIR32, DIR32NB and REL32 for i386 code and ADDR64, ADDR32 and
// REL32 for AMD64 code; the others are known so that objects of other producers can be checked.
inline constexpr std::uint16_t kRelI386Absolute = 0x00;
inline constexpr std::uint16_t kRelI386Dir32 = 0x06;
inline constexpr std::uint16_t kRelI386Dir32Nb = 0x07;
inline constexpr std::uint16_t kRelI386Section = 0x0A;
inline constexpr std::uint16_t kRelI386SecRel = 0x0B;
inline constexpr std::uint16_t kRelI386Rel32 = 0x14;
inline constexpr std::uint16_t kRelAmd64Absolute = 0x00;
inline constexpr std::uint16_t kRelAmd64Addr64 = 0x01;
inline constexpr std::uint16_t kRelAmd64Addr32 = 0x02;
inline constexpr std::uint16_t kRelAmd64Addr32Nb = 0x03;
inline constexpr std::uint16_t kRelAmd64Rel32 = 0x04;
inline constexpr std::uint16_t kRelAmd64Rel32_5 = 0x09;  // REL32_1 to REL32_5 are 0x05 to 0x09
inline constexpr std::uint16_t kRelAmd64Section = 0x0A;
inline constexpr std::uint16_t kRelAmd64SecRel = 0x0B;

struct Relocation {
  std::uint32_t offset = 0;  // of the patched field, from the start of the section
  std::uint32_t symbol = 0;  // index into ObjectFile::symbols (not counting auxiliary records)
  std::uint16_t type = 0;

  bool operator==(const Relocation&) const = default;
};

struct Section {
  std::string name;
  std::uint32_t characteristics = 0;
  Bytes data;  // the section's bytes as the file holds them
  // The size of a section whose bytes the file does not hold (uninitialized data; data is then
  // empty). FASM writes such a section when it holds nothing but reserved space.
  std::uint32_t uninitializedSize = 0;
  std::vector<Relocation> relocations;

  std::uint32_t size() const {
    return data.empty() ? uninitializedSize : static_cast<std::uint32_t>(data.size());
  }
  bool operator==(const Section&) const = default;
};

struct Symbol {
  std::string name;
  std::uint32_t value = 0;
  std::int16_t section = kUndefinedSection;  // 1-based, or one of the numbers above
  std::uint16_t type = 0;
  std::uint8_t storageClass = 0;
  Bytes aux;  // the auxiliary records that follow the symbol, 18 bytes each, kept as they are

  bool operator==(const Symbol&) const = default;
};

struct ObjectFile {
  std::uint16_t machine = kMachineI386;
  std::uint32_t timestamp = 0;
  std::uint16_t characteristics = 0;
  std::vector<Section> sections;
  std::vector<Symbol> symbols;

  bool operator==(const ObjectFile&) const = default;
};

// Reads an object, checking that it is whole: the headers, each section's data and relocations,
// the symbol table with its auxiliary records and the string table lie inside the data; symbol
// indexes and section numbers are in range; every relocated field lies inside its section.
// Line numbers are checked for their place in the file and then dropped.
Result<ObjectFile> readObject(std::span<const std::uint8_t> data);

// Writes the object as FASM lays out its output: file header, section headers, the data of all
// sections one after the other, their relocations, the symbol table and the string table (long
// names in the order they are met, section names first). A section of 65535 relocations or
// more gets the overflow form.
Bytes writeObject(const ObjectFile& object);

// How a relocation type's field leads to its target.
enum class FieldKind {
  kNone,          // a relocation that patches nothing (ABSOLUTE)
  kAddress,       // the field holds the target's offset from the symbol (absolute, image- or
                  // section-relative, i386 REL32 and the AMD64 REL32_1 to REL32_5)
  kRipRelative,   // AMD64 REL32: the target's offset less the bytes of the instruction that
                  // follow the field (an immediate operand), as FASM writes it
  kSectionIndex,  // the 16-bit number of the symbol's section
  kUnknown,
};

struct RelocationField {
  FieldKind kind = FieldKind::kUnknown;
  std::uint32_t width = 0;  // bytes
};

RelocationField relocationField(std::uint16_t machine, std::uint16_t type);

// The value stored in a relocation's field, sign-extended from its width; 0 for a field of no
// known width. The reader has checked that the field lies inside the section's data.
std::int64_t fieldValue(const Section& section, const Relocation& relocation,
                        std::uint16_t machine);

// Whether the symbol is the one that stands for its section: a static symbol of value 0 named
// after the section, as FASM writes one for every section.
bool isSectionSymbol(const ObjectFile& object, const Symbol& symbol);

}  // namespace brisko::coff
