#include "coff/object.h"

#include <algorithm>

#include "coff/bytes.h"

namespace brisko::coff {
namespace {

using detail::hex;
using detail::le16;
using detail::le32;

constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kRelocationSize = 10;
constexpr std::size_t kLineNumberSize = 6;
constexpr std::size_t kSymbolSize = 18;
constexpr std::size_t kShortName = 8;

// Whether [offset, offset + size) lies inside data of the given size; 64-bit sums cannot wrap.
bool inside(std::uint64_t offset, std::uint64_t size, std::size_t total) {
  return offset <= total && size <= total - offset;
}

std::string sectionText(std::size_t number) {
  return "section " + std::to_string(number);
}

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> file) : file_(file) {}

  Result<ObjectFile> read() {
    if (file_.size() < kFileHeaderSize) return Error{"the file is too short for a COFF header"};
    ObjectFile object;
    object.machine = le16(file_, 0);
    const std::uint16_t sectionCount = le16(file_, 2);
    if (object.machine == 0 && sectionCount == 0xFFFF) {
      return Error{"the file is an import object or a big object, not a plain COFF object"};
    }
    if (object.machine != kMachineI386 && object.machine != kMachineAmd64) {
      return Error{"the machine " + hex(object.machine) + " is neither i386 nor AMD64"};
    }
    object.timestamp = le32(file_, 4);
    symbolTable_ = le32(file_, 8);
    symbolCount_ = le32(file_, 12);
    object.characteristics = le16(file_, 18);
    const std::size_t sectionTable = kFileHeaderSize + le16(file_, 16);
    if (!inside(sectionTable, std::uint64_t{sectionCount} * kSectionHeaderSize, file_.size())) {
      return Error{"the section table runs past the end of the file"};
    }
    if (auto error = readStringTable(); !error.empty()) return Error{error};
    for (std::size_t i = 0; i < sectionCount; ++i) {
      Section section;
      if (auto error = readSection(sectionTable + i * kSectionHeaderSize, i + 1, section);
          !error.empty()) {
        return Error{error};
      }
      object.sections.push_back(std::move(section));
    }
    if (auto error = readSymbols(object); !error.empty()) return Error{error};
    if (auto error = resolveRelocations(object); !error.empty()) return Error{error};
    return object;
  }

 private:
  // The string table follows the symbol table; a file may end right after the symbols.
  std::string readStringTable() {
    if (symbolCount_ == 0 && symbolTable_ == 0) return "";
    const std::uint64_t symbolsSize = std::uint64_t{symbolCount_} * kSymbolSize;
    if (!inside(symbolTable_, symbolsSize, file_.size())) {
      return "the symbol table runs past the end of the file";
    }
    const std::uint64_t start = symbolTable_ + symbolsSize;
    if (start == file_.size()) return "";
    if (!inside(start, 4, file_.size())) {
      return "the size of the string table runs past the end of the file";
    }
    const std::uint32_t size = le32(file_, start);
    if (size < 4) return "";  // no strings
    if (!inside(start, size, file_.size())) return "the string table runs past the end of the file";
    strings_ = file_.subspan(start, size);
    return "";
  }

  // The name at the offset of the string table, or an error text.
  std::string longName(std::uint64_t offset, std::string& name) const {
    if (offset < 4 || offset >= strings_.size()) {
      return "a name points outside the string table (offset " + std::to_string(offset) + ")";
    }
    const auto begin = strings_.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = std::find(begin, strings_.end(), std::uint8_t{0});
    if (end == strings_.end()) return "a name runs past the end of the string table";
    name.assign(begin, end);
    return "";
  }

  std::string shortName(std::size_t at) const {
    const auto begin = file_.begin() + static_cast<std::ptrdiff_t>(at);
    return std::string(begin, std::find(begin, begin + kShortName, std::uint8_t{0}));
  }

  std::string readSection(std::size_t at, std::size_t number, Section& section) {
    const std::string where = sectionText(number);
    section.name = shortName(at);
    if (!section.name.empty() && section.name[0] == '/') {
      std::uint64_t offset = 0;
      const std::string digits = section.name.substr(1);
      if (digits.empty() ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return "the name of " + where + " is neither short nor a string table reference";
      }
      for (char c : digits) offset = offset * 10 + static_cast<std::uint64_t>(c - '0');
      if (auto error = longName(offset, section.name); !error.empty()) {
        return "the name of " + where + ": " + error;
      }
    }
    const std::uint32_t rawSize = le32(file_, at + 16);
    const std::uint32_t rawData = le32(file_, at + 20);
    const std::uint32_t relocations = le32(file_, at + 24);
    const std::uint32_t lineNumbers = le32(file_, at + 28);
    std::uint32_t relocationCount = le16(file_, at + 32);
    const std::uint16_t lineNumberCount = le16(file_, at + 34);
    section.characteristics = le32(file_, at + 36);

    if (rawData == 0) {
      section.uninitializedSize = rawSize;
    } else {
      if (!inside(rawData, rawSize, file_.size())) {
        return "the data of " + where + " runs past the end of the file";
      }
      section.data.assign(file_.begin() + rawData, file_.begin() + rawData + rawSize);
    }

    std::uint64_t first = relocations;
    if ((section.characteristics & kSectionRelocationsOverflow) != 0 && relocationCount == 0xFFFF) {
      // The real count, the first entry included, stands in the first entry's offset field.
      if (!inside(relocations, kRelocationSize, file_.size())) {
        return "the relocations of " + where + " run past the end of the file";
      }
      relocationCount = le32(file_, relocations);
      if (relocationCount == 0) return "the relocation count of " + where + " is zero";
      --relocationCount;
      first += kRelocationSize;
      section.characteristics &= ~kSectionRelocationsOverflow;
    }
    if (relocationCount > 0 &&
        !inside(first, std::uint64_t{relocationCount} * kRelocationSize, file_.size())) {
      return "the relocations of " + where + " run past the end of the file";
    }
    if (lineNumberCount > 0 &&
        !inside(lineNumbers, std::uint64_t{lineNumberCount} * kLineNumberSize, file_.size())) {
      return "the line numbers of " + where + " run past the end of the file";
    }
    section.relocations.reserve(relocationCount);
    for (std::uint32_t r = 0; r < relocationCount; ++r) {
      const std::size_t entry = first + std::size_t{r} * kRelocationSize;
      // The symbol field holds the index in the file's table until resolveRelocations.
      section.relocations.push_back(
          {le32(file_, entry), le32(file_, entry + 4), le16(file_, entry + 8)});
    }
    return "";
  }

  std::string readSymbols(ObjectFile& object) {
    const auto sectionCount = static_cast<std::int32_t>(object.sections.size());
    listIndex_.assign(symbolCount_, kAuxRecord);
    for (std::uint32_t i = 0; i < symbolCount_; ++i) {
      const std::size_t at = symbolTable_ + std::size_t{i} * kSymbolSize;
      Symbol symbol;
      if (le32(file_, at) == 0) {
        if (auto error = longName(le32(file_, at + 4), symbol.name); !error.empty()) {
          return "symbol " + std::to_string(i) + ": " + error;
        }
      } else {
        symbol.name = shortName(at);
      }
      symbol.value = le32(file_, at + 8);
      symbol.section = static_cast<std::int16_t>(le16(file_, at + 12));
      symbol.type = le16(file_, at + 14);
      symbol.storageClass = file_[at + 16];
      const std::uint32_t auxCount = file_[at + 17];
      if (auxCount > symbolCount_ - i - 1) {
        return "the auxiliary records of symbol " + std::to_string(i) +
               " run past the end of the symbol table";
      }
      if (symbol.section > sectionCount || symbol.section < kDebugSection) {
        return "symbol " + std::to_string(i) + " ('" + symbol.name + "') stands in section " +
               std::to_string(symbol.section) + ", which does not exist";
      }
      symbol.aux.assign(file_.begin() + at + kSymbolSize,
                        file_.begin() + at + kSymbolSize + auxCount * kSymbolSize);
      listIndex_[i] = static_cast<std::uint32_t>(object.symbols.size());
      object.symbols.push_back(std::move(symbol));
      i += auxCount;
    }
    return "";
  }

  std::string resolveRelocations(ObjectFile& object) {
    for (std::size_t s = 0; s < object.sections.size(); ++s) {
      Section& section = object.sections[s];
      const std::string where = sectionText(s + 1);
      if (!section.relocations.empty() && section.data.empty()) {
        return where + " has relocations but no data";
      }
      for (std::size_t r = 0; r < section.relocations.size(); ++r) {
        Relocation& relocation = section.relocations[r];
        const std::string which = "relocation " + std::to_string(r) + " of " + where;
        if (relocation.symbol >= symbolCount_) {
          return which + " refers to symbol " + std::to_string(relocation.symbol) +
                 ", past the end of the symbol table";
        }
        if (listIndex_[relocation.symbol] == kAuxRecord) {
          return which + " refers to an auxiliary record";
        }
        relocation.symbol = listIndex_[relocation.symbol];
        const RelocationField field = relocationField(object.machine, relocation.type);
        if (!inside(relocation.offset, field.width, section.data.size())) {
          return which + " patches bytes past the end of the section";
        }
      }
    }
    return "";
  }

  static constexpr std::uint32_t kAuxRecord = 0xFFFFFFFF;

  std::span<const std::uint8_t> file_;
  std::span<const std::uint8_t> strings_;
  std::uint32_t symbolTable_ = 0;
  std::uint32_t symbolCount_ = 0;
  std::vector<std::uint32_t> listIndex_;  // file index of a symbol -> index in the list
};

// Collects long names for the string table.
class StringTable {
 public:
  StringTable() : bytes_(4, 0) {}

  std::uint32_t add(const std::string& name) {
    const auto offset = static_cast<std::uint32_t>(bytes_.size());
    detail::putText(bytes_, name);
    bytes_.push_back(0);
    return offset;
  }

  Bytes finish() {
    detail::writeLittle(bytes_, 0, 4, bytes_.size());
    return std::move(bytes_);
  }

 private:
  Bytes bytes_;
};

void putShortName(Bytes& out, const std::string& name) {
  detail::putText(out, name);
  out.insert(out.end(), kShortName - name.size(), 0);
}

}  // namespace

Result<ObjectFile> readObject(std::span<const std::uint8_t> data) {
  return Reader(data).read();
}

Bytes writeObject(const ObjectFile& object) {
  using detail::put;
  StringTable strings;
  std::vector<std::string> sectionNames;
  for (const Section& section : object.sections) {
    // A short name that starts with '/' would read as a string table reference.
    const bool inTable = section.name.size() > kShortName || section.name.starts_with('/');
    sectionNames.push_back(inTable ? "/" + std::to_string(strings.add(section.name))
                                   : section.name);
  }

  // Positions: the data of all sections, then their relocations, then the symbol table.
  std::size_t position = kFileHeaderSize + object.sections.size() * kSectionHeaderSize;
  std::vector<std::size_t> dataAt, relocationsAt;
  for (const Section& section : object.sections) {
    dataAt.push_back(section.data.empty() && section.uninitializedSize > 0 ? 0 : position);
    position += section.data.size();
  }
  auto overflows = [](const Section& section) { return section.relocations.size() >= 0xFFFF; };
  for (const Section& section : object.sections) {
    relocationsAt.push_back(section.relocations.empty() ? 0 : position);
    position += (section.relocations.size() + (overflows(section) ? 1 : 0)) * kRelocationSize;
  }
  std::vector<std::uint32_t> fileIndex;  // of each symbol, counting auxiliary records
  std::uint32_t symbolCount = 0;
  for (const Symbol& symbol : object.symbols) {
    fileIndex.push_back(symbolCount);
    symbolCount +=
        static_cast<std::uint32_t>(1 + (symbol.aux.size() + kSymbolSize - 1) / kSymbolSize);
  }

  Bytes out;
  put(out, 2, object.machine);
  put(out, 2, object.sections.size());
  put(out, 4, object.timestamp);
  put(out, 4, position);
  put(out, 4, symbolCount);
  put(out, 2, 0);  // no optional header
  put(out, 2, object.characteristics);
  for (std::size_t i = 0; i < object.sections.size(); ++i) {
    const Section& section = object.sections[i];
    putShortName(out, sectionNames[i]);
    put(out, 4, 0);  // virtual size
    put(out, 4, 0);  // virtual address
    put(out, 4, section.size());
    put(out, 4, dataAt[i]);
    put(out, 4, relocationsAt[i]);
    put(out, 4, 0);  // line numbers
    put(out, 2, overflows(section) ? 0xFFFF : section.relocations.size());
    put(out, 2, 0);
    put(out, 4, section.characteristics | (overflows(section) ? kSectionRelocationsOverflow : 0));
  }
  for (const Section& section : object.sections) {
    out.insert(out.end(), section.data.begin(), section.data.end());
  }
  for (const Section& section : object.sections) {
    if (overflows(section)) {
      put(out, 4, section.relocations.size() + 1);
      put(out, 6, 0);
    }
    for (const Relocation& relocation : section.relocations) {
      put(out, 4, relocation.offset);
      put(out, 4,
          relocation.symbol < fileIndex.size() ? fileIndex[relocation.symbol] : relocation.symbol);
      put(out, 2, relocation.type);
    }
  }
  for (const Symbol& symbol : object.symbols) {
    // An empty name would read as a string table reference: it goes there too.
    if (!symbol.name.empty() && symbol.name.size() <= kShortName) {
      putShortName(out, symbol.name);
    } else {
      put(out, 4, 0);
      put(out, 4, strings.add(symbol.name));
    }
    put(out, 4, symbol.value);
    put(out, 2, static_cast<std::uint16_t>(symbol.section));
    put(out, 2, symbol.type);
    out.push_back(symbol.storageClass);
    const std::size_t auxCount = (symbol.aux.size() + kSymbolSize - 1) / kSymbolSize;
    out.push_back(static_cast<std::uint8_t>(auxCount));
    out.insert(out.end(), symbol.aux.begin(), symbol.aux.end());
    out.insert(out.end(), auxCount * kSymbolSize - symbol.aux.size(), 0);
  }
  const Bytes table = strings.finish();
  out.insert(out.end(), table.begin(), table.end());
  return out;
}

RelocationField relocationField(std::uint16_t machine, std::uint16_t type) {
  if (machine == kMachineAmd64) {
    switch (type) {
      case kRelAmd64Absolute:
        return {FieldKind::kNone, 0};
      case kRelAmd64Addr64:
        return {FieldKind::kAddress, 8};
      case kRelAmd64Addr32:
      case kRelAmd64Addr32Nb:
      case kRelAmd64SecRel:
        return {FieldKind::kAddress, 4};
      case kRelAmd64Rel32:
        return {FieldKind::kRipRelative, 4};
      case kRelAmd64Section:
        return {FieldKind::kSectionIndex, 2};
      default:
        if (type > kRelAmd64Rel32 && type <= kRelAmd64Rel32_5) return {FieldKind::kAddress, 4};
        return {};
    }
  }
  switch (type) {
    case kRelI386Absolute:
      return {FieldKind::kNone, 0};
    case kRelI386Dir32:
    case kRelI386Dir32Nb:
    case kRelI386SecRel:
    case kRelI386Rel32:  // only branches are PC-relative in 32-bit code: nothing follows
      return {FieldKind::kAddress, 4};
    case kRelI386Section:
      return {FieldKind::kSectionIndex, 2};
    default:
      return {};
  }
}

std::int64_t fieldValue(const Section& section, const Relocation& relocation,
                        std::uint16_t machine) {
  const std::uint32_t width = relocationField(machine, relocation.type).width;
  if (width == 0) return 0;
  const std::uint64_t raw = detail::readLittle(section.data, relocation.offset, width);
  if (width == 8) return static_cast<std::int64_t>(raw);
  const std::uint64_t sign = std::uint64_t{1} << (8 * width - 1);
  return static_cast<std::int64_t>(raw ^ sign) - static_cast<std::int64_t>(sign);
}

bool isSectionSymbol(const ObjectFile& object, const Symbol& symbol) {
  return symbol.storageClass == kClassStatic && symbol.value == 0 && symbol.section > 0 &&
         static_cast<std::size_t>(symbol.section) <= object.sections.size() &&
         object.sections[static_cast<std::size_t>(symbol.section) - 1].name == symbol.name;
}

}  // namespace brisko::coff
