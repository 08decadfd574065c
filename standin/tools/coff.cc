#include "coff.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace brisko::standin {
namespace {

constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSymbolSize = 18;
constexpr std::uint8_t kClassExternal = 2;
constexpr std::uint8_t kClassStatic = 3;
constexpr std::uint8_t kClassWeakExternal = 105;

std::uint16_t le16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

std::uint32_t le32(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8) |
         (static_cast<std::uint32_t>(d[at + 2]) << 16) |
         (static_cast<std::uint32_t>(d[at + 3]) << 24);
}

void put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void put32(Bytes& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

void put32be(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
  }
}

void putText(Bytes& out, std::string_view text) {
  for (char c : text) out.push_back(static_cast<std::uint8_t>(c));
}

std::string hex16(std::uint16_t v) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%04X", v);
  return buffer;
}

std::string machineName(std::uint16_t machine) {
  return machine == kMachineAmd64 ? "AMD64" : machine == kMachineI386 ? "i386" : hex16(machine);
}

}  // namespace

std::uint16_t objectMachine(std::span<const std::uint8_t> data) {
  return data.size() < 2 ? std::uint16_t{0} : le16(data, 0);
}

ObjectSymbols readObjectSymbols(std::span<const std::uint8_t> data, std::uint16_t expected) {
  ObjectSymbols result;
  if (data.size() < kFileHeaderSize) {
    result.error = "not a COFF object (file too short)";
    return result;
  }
  const std::uint16_t machine = le16(data, 0);
  const std::uint16_t sectionCount = le16(data, 2);
  if (machine == 0 && sectionCount == 0xFFFF) {
    result.error = "not a plain COFF object (import or extended object)";
    return result;
  }
  if (machine != expected) {
    result.error =
        "not an " + machineName(expected) + " COFF object (machine " + hex16(machine) + ")";
    return result;
  }
  const std::uint32_t symbolTable = le32(data, 8);
  const std::uint32_t symbolCount = le32(data, 12);
  const std::uint16_t optionalSize = le16(data, 16);
  if (kFileHeaderSize + optionalSize + std::size_t{sectionCount} * kSectionHeaderSize >
      data.size()) {
    result.error = "corrupt COFF object (section table past the end)";
    return result;
  }
  if (symbolCount == 0) return result;
  const std::size_t symbolsEnd = std::size_t{symbolTable} + std::size_t{symbolCount} * kSymbolSize;
  if (symbolTable < kFileHeaderSize || symbolsEnd > data.size()) {
    result.error = "corrupt COFF object (symbol table past the end)";
    return result;
  }
  std::span<const std::uint8_t> strings;
  if (symbolsEnd + 4 <= data.size()) {
    const std::uint32_t stringsSize = le32(data, symbolsEnd);
    if (stringsSize < 4 || symbolsEnd + stringsSize > data.size()) {
      result.error = "corrupt COFF object (string table past the end)";
      return result;
    }
    strings = data.subspan(symbolsEnd, stringsSize);
  }

  for (std::size_t i = 0; i < symbolCount; ++i) {
    const std::size_t at = symbolTable + i * kSymbolSize;
    const auto section = static_cast<std::int16_t>(le16(data, at + 12));
    const std::uint32_t value = le32(data, at + 8);
    const std::uint8_t storageClass = data[at + 16];
    const std::uint8_t auxCount = data[at + 17];
    if (section > static_cast<std::int32_t>(sectionCount)) {
      result.error = "corrupt COFF object (symbol in a section that does not exist)";
      return result;
    }
    const bool definedHere =
        (storageClass == kClassExternal && (section > 0 || (section == 0 && value != 0))) ||
        storageClass == kClassWeakExternal;
    if (definedHere) {
      std::string name;
      if (le32(data, at) == 0) {
        const std::uint32_t offset = le32(data, at + 4);
        if (offset < 4 || offset >= strings.size()) {
          result.error = "corrupt COFF object (symbol name outside the string table)";
          return result;
        }
        const auto* begin = strings.data() + offset;
        const auto* end = std::find(begin, strings.data() + strings.size(), std::uint8_t{0});
        name.assign(begin, end);
      } else {
        const auto* begin = data.data() + at;
        name.assign(begin, std::find(begin, begin + 8, std::uint8_t{0}));
      }
      result.publicSymbols.push_back(std::move(name));
    }
    i += auxCount;
  }
  return result;
}

Bytes writeObject(const std::vector<CoffFunction>& functions) {
  Bytes text;
  std::vector<std::uint32_t> offsets;
  for (const CoffFunction& f : functions) {
    while (text.size() % 16 != 0) text.push_back(0xCC);  // int3 between functions
    offsets.push_back(static_cast<std::uint32_t>(text.size()));
    text.insert(text.end(), f.code.begin(), f.code.end());
  }

  Bytes strings(4, 0);  // size, filled in below
  auto putName = [&strings](Bytes& out, const std::string& name) {
    if (name.size() <= 8) {
      putText(out, name);
      out.insert(out.end(), 8 - name.size(), 0);
    } else {
      put32(out, 0);
      put32(out, static_cast<std::uint32_t>(strings.size()));
      putText(strings, name);
      strings.push_back(0);
    }
  };

  const auto symbolTable =
      static_cast<std::uint32_t>(kFileHeaderSize + kSectionHeaderSize + text.size());
  Bytes symbols;
  // The section symbol and its auxiliary record.
  putName(symbols, ".text");
  put32(symbols, 0);
  put16(symbols, 1);
  put16(symbols, 0);
  symbols.push_back(kClassStatic);
  symbols.push_back(1);
  put32(symbols, static_cast<std::uint32_t>(text.size()));
  put16(symbols, 0);
  put16(symbols, 0);
  put32(symbols, 0);
  put16(symbols, 0);
  symbols.insert(symbols.end(), 4, 0);
  // No exception handlers: safe for /SAFESEH links.
  putName(symbols, "@feat.00");
  put32(symbols, 1);
  put16(symbols, 0xFFFF);  // absolute
  put16(symbols, 0);
  symbols.push_back(kClassStatic);
  symbols.push_back(0);
  for (std::size_t i = 0; i < functions.size(); ++i) {
    putName(symbols, functions[i].symbol);
    put32(symbols, offsets[i]);
    put16(symbols, 1);
    put16(symbols, 0x20);  // function
    symbols.push_back(kClassExternal);
    symbols.push_back(0);
  }
  const auto symbolCount = static_cast<std::uint32_t>(symbols.size() / kSymbolSize);
  const auto stringsSize = static_cast<std::uint32_t>(strings.size());
  strings[0] = static_cast<std::uint8_t>(stringsSize & 0xFF);
  strings[1] = static_cast<std::uint8_t>((stringsSize >> 8) & 0xFF);
  strings[2] = static_cast<std::uint8_t>((stringsSize >> 16) & 0xFF);
  strings[3] = static_cast<std::uint8_t>((stringsSize >> 24) & 0xFF);

  Bytes out;
  put16(out, kMachineI386);
  put16(out, 1);  // one section
  put32(out, 0);  // time stamp: none, so that builds are reproducible
  put32(out, symbolTable);
  put32(out, symbolCount);
  put16(out, 0);  // no optional header
  put16(out, 0);
  putText(out, ".text");
  out.insert(out.end(), 3, 0);
  put32(out, 0);  // virtual size
  put32(out, 0);  // virtual address
  put32(out, static_cast<std::uint32_t>(text.size()));
  put32(out, static_cast<std::uint32_t>(kFileHeaderSize + kSectionHeaderSize));
  put32(out, 0);  // relocations
  put32(out, 0);  // line numbers
  put16(out, 0);
  put16(out, 0);
  put32(out, 0x60500020);  // code, 16-byte aligned, execute, read
  out.insert(out.end(), text.begin(), text.end());
  out.insert(out.end(), symbols.begin(), symbols.end());
  out.insert(out.end(), strings.begin(), strings.end());
  return out;
}

namespace {

// Appends a 60-byte member header. Numeric fields are decimal (mode octal), padded with blanks.
void putMemberHeader(Bytes& out, std::string_view name, std::size_t size, std::string_view mode) {
  auto field = [&out](std::string_view text, std::size_t width) {
    putText(out, text.substr(0, width));
    out.insert(out.end(), width - std::min(width, text.size()), ' ');
  };
  field(name, 16);
  field("0", 12);  // date
  field("0", 6);   // user
  field("0", 6);   // group
  field(mode, 8);
  field(std::to_string(size), 10);
  putText(out, "`\n");
}

std::size_t padded(std::size_t size) {
  return size + (size & 1);
}

}  // namespace

Bytes writeArchive(const std::vector<ArchiveMember>& members) {
  struct Symbol {
    std::string_view name;
    std::size_t member;
  };
  std::vector<Symbol> symbols;
  std::size_t namesSize = 0;
  for (std::size_t m = 0; m < members.size(); ++m) {
    for (const std::string& s : members[m].symbols) {
      symbols.push_back({s, m});
      namesSize += s.size() + 1;
    }
  }

  // Names longer than 15 characters go to the long-names member; the header then says "/offset".
  Bytes longNames;
  std::vector<std::string> headerNames;
  for (const ArchiveMember& m : members) {
    if (m.name.size() <= 15) {
      headerNames.push_back(m.name + "/");
    } else {
      std::string name = "/";
      name += std::to_string(longNames.size());
      headerNames.push_back(std::move(name));
      putText(longNames, m.name);
      longNames.push_back(0);
    }
  }

  const std::size_t firstSize = 4 + 4 * symbols.size() + namesSize;
  const std::size_t secondSize = 4 + 4 * members.size() + 4 + 2 * symbols.size() + namesSize;
  std::size_t offset =
      8 + 60 + padded(firstSize) + 60 + padded(secondSize) + 60 + padded(longNames.size());
  std::vector<std::uint32_t> memberOffsets;
  for (const ArchiveMember& m : members) {
    memberOffsets.push_back(static_cast<std::uint32_t>(offset));
    offset += 60 + padded(m.data.size());
  }

  Bytes out;
  putText(out, "!<arch>\n");

  // First linker member: big-endian offsets, symbols in member order.
  putMemberHeader(out, "/", firstSize, "0");
  put32be(out, static_cast<std::uint32_t>(symbols.size()));
  for (const Symbol& s : symbols) put32be(out, memberOffsets[s.member]);
  for (const Symbol& s : symbols) {
    putText(out, s.name);
    out.push_back(0);
  }
  if (firstSize & 1) out.push_back('\n');

  // Second linker member: little-endian, symbols sorted by name, 1-based member indices.
  std::vector<Symbol> sorted = symbols;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Symbol& a, const Symbol& b) { return a.name < b.name; });
  putMemberHeader(out, "/", secondSize, "0");
  put32(out, static_cast<std::uint32_t>(members.size()));
  for (std::uint32_t o : memberOffsets) put32(out, o);
  put32(out, static_cast<std::uint32_t>(sorted.size()));
  for (const Symbol& s : sorted) put16(out, static_cast<std::uint32_t>(s.member + 1));
  for (const Symbol& s : sorted) {
    putText(out, s.name);
    out.push_back(0);
  }
  if (secondSize & 1) out.push_back('\n');

  putMemberHeader(out, "//", longNames.size(), "0");
  out.insert(out.end(), longNames.begin(), longNames.end());
  if (longNames.size() & 1) out.push_back('\n');

  for (std::size_t m = 0; m < members.size(); ++m) {
    putMemberHeader(out, headerNames[m], members[m].data.size(), "100666");
    out.insert(out.end(), members[m].data.begin(), members[m].data.end());
    if (members[m].data.size() & 1) out.push_back('\n');
  }
  return out;
}

}  // namespace brisko::standin
