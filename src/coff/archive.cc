#include "coff/archive.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "coff/bytes.h"

namespace brisko::coff {
namespace {

using detail::putText;

constexpr std::string_view kMagic = "!<arch>\n";
constexpr std::size_t kHeaderSize = 60;
constexpr std::size_t kShortNameLength = 15;  // the header's 16 bytes hold "name/"
constexpr std::size_t kMaxMembers = 0xFFFF;   // the second linker member's indexes are 16-bit

std::size_t padded(std::size_t size) {
  return size + (size & 1);
}

// A 60-byte member header as lib writes it: decimal numbers (the mode octal) left-aligned in
// blank-padded fields, no user or group.
void putHeader(Bytes& out, std::string_view name, std::size_t size, std::string_view mode) {
  auto field = [&out](std::string_view text, std::size_t width) {
    putText(out, text);
    out.insert(out.end(), width - text.size(), ' ');
  };
  field(name, 16);
  field(std::to_string(kArchiveTimestamp), 12);
  field("", 6);
  field("", 6);
  field(mode, 8);
  field(std::to_string(size), 10);
  putText(out, "`\n");
}

void putPadding(Bytes& out) {
  if (out.size() & 1) out.push_back('\n');
}

std::string checkNames(const std::vector<ArchiveMember>& members) {
  if (members.size() > kMaxMembers) {
    return "a library holds at most " + std::to_string(kMaxMembers) + " members";
  }
  for (const ArchiveMember& member : members) {
    if (member.name.empty() ||
        member.name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
      return "the member name '" + member.name + "' is empty or holds '/' or a NUL byte";
    }
    if (member.data.size() > 9'999'999'999ULL) {
      return "the member '" + member.name + "' is too large for its header";
    }
    for (const std::string& symbol : member.symbols) {
      if (symbol.empty() || symbol.find('\0') != std::string::npos) {
        return "the member '" + member.name + "' lists an empty symbol or one holding a NUL byte";
      }
    }
  }
  return "";
}

}  // namespace

Result<Bytes> writeArchive(const std::vector<ArchiveMember>& members) {
  Bytes out;
  const Result<std::uint64_t> size =
      writeArchive(members, [&](std::span<const std::uint8_t> piece) {
        out.insert(out.end(), piece.begin(), piece.end());
        return true;
      });
  if (!size.ok()) return Error{size.error()};
  return out;
}

Result<std::uint64_t> writeArchive(
    const std::vector<ArchiveMember>& members,
    const std::function<bool(std::span<const std::uint8_t>)>& store) {
  if (auto error = checkNames(members); !error.empty()) return Error{error};
  struct Entry {
    std::string_view name;
    std::size_t member;
  };
  std::vector<Entry> symbols;
  std::size_t namesSize = 0;
  for (std::size_t m = 0; m < members.size(); ++m) {
    for (const std::string& symbol : members[m].symbols) {
      symbols.push_back({symbol, m});
      namesSize += symbol.size() + 1;
    }
  }

  Bytes longNames;
  std::vector<std::string> headerNames;
  for (const ArchiveMember& member : members) {
    if (member.name.size() <= kShortNameLength) {
      headerNames.push_back(member.name + "/");
    } else {
      headerNames.push_back("/" + std::to_string(longNames.size()));
      putText(longNames, member.name);
      longNames.push_back(0);
    }
  }

  const std::size_t firstSize = 4 + 4 * symbols.size() + namesSize;
  const std::size_t secondSize = 4 + 4 * members.size() + 4 + 2 * symbols.size() + namesSize;
  std::size_t offset = kMagic.size() + kHeaderSize + padded(firstSize) + kHeaderSize +
                       padded(secondSize) + kHeaderSize + padded(longNames.size());
  std::vector<std::uint32_t> memberOffsets;
  for (const ArchiveMember& member : members) {
    if (offset > 0xFFFFFFFF) return Error{"the library grows past 4 GiB"};
    memberOffsets.push_back(static_cast<std::uint32_t>(offset));
    offset += kHeaderSize + padded(member.data.size());
  }

  const std::uint64_t total = offset;
  Bytes out;
  putText(out, kMagic);
  putHeader(out, "/", firstSize, "0");
  detail::putBig32(out, static_cast<std::uint32_t>(symbols.size()));
  for (const Entry& symbol : symbols) detail::putBig32(out, memberOffsets[symbol.member]);
  for (const Entry& symbol : symbols) {
    putText(out, symbol.name);
    out.push_back(0);
  }
  putPadding(out);

  std::vector<Entry> sorted = symbols;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Entry& a, const Entry& b) { return a.name < b.name; });
  putHeader(out, "/", secondSize, "0");
  detail::put(out, 4, members.size());
  for (std::uint32_t at : memberOffsets) detail::put(out, 4, at);
  detail::put(out, 4, sorted.size());
  for (const Entry& symbol : sorted) detail::put(out, 2, symbol.member + 1);
  for (const Entry& symbol : sorted) {
    putText(out, symbol.name);
    out.push_back(0);
  }
  putPadding(out);

  putHeader(out, "//", longNames.size(), "0");
  out.insert(out.end(), longNames.begin(), longNames.end());
  putPadding(out);

  const Error failed{"the library could not be stored"};
  if (!store(out)) return failed;
  for (std::size_t m = 0; m < members.size(); ++m) {
    out.clear();
    putHeader(out, headerNames[m], members[m].data.size(), "100666");
    if (!store(out) || !store(members[m].data)) return failed;
    if (members[m].data.size() % 2 != 0 && !store(Bytes{'\n'})) return failed;
  }
  return total;
}

std::vector<std::string> publicSymbolsOf(const ObjectFile& object) {
  std::vector<std::string> names;
  for (const Symbol& symbol : object.symbols) {
    const bool external = symbol.storageClass == kClassExternal &&
                          (symbol.section > 0 || symbol.section == kAbsoluteSection ||
                           (symbol.section == kUndefinedSection && symbol.value != 0));
    if (external || symbol.storageClass == kClassWeakExternal) names.push_back(symbol.name);
  }
  return names;
}

namespace {

class ArchiveReader {
 public:
  ArchiveReader(std::span<const std::uint8_t> data, bool withData)
      : data_(data), withData_(withData) {}

  Result<Archive> read() {
    if (data_.size() < kMagic.size() || !std::equal(kMagic.begin(), kMagic.end(), data_.begin())) {
      return Error{"the data is no archive (it does not start with !<arch>)"};
    }
    std::size_t at = kMagic.size();
    while (at < data_.size()) {
      if (auto error = readMember(at); !error.empty()) return Error{error};
    }
    if (auto error = readFirstIndex(); !error.empty()) return Error{error};
    if (auto error = readSecondIndex(); !error.empty()) return Error{error};
    return std::move(archive_);
  }

 private:
  std::string readMember(std::size_t& at) {
    if (data_.size() - at < kHeaderSize) return "a member header runs past the end of the archive";
    const auto header = data_.subspan(at, kHeaderSize);
    if (header[58] != '`' || header[59] != '\n') return "a member header does not end in `\\n";
    std::string name(header.begin(), header.begin() + 16);
    name.erase(name.find_last_not_of(' ') + 1);
    std::uint64_t size = 0;
    std::size_t digits = 0;
    for (; digits < 10 && header[48 + digits] >= '0' && header[48 + digits] <= '9'; ++digits) {
      size = size * 10 + static_cast<std::uint64_t>(header[48 + digits] - '0');
    }
    if (digits == 0) return "the member '" + name + "' has no size";
    const std::size_t headerAt = at;
    const std::size_t start = at + kHeaderSize;
    if (size > data_.size() - start)
      return "the member '" + name + "' runs past the end of the archive";
    const auto body = data_.subspan(start, size);
    at = std::min(data_.size(), start + padded(size));

    if (name == "/") {
      if (!sawFirst_) {
        firstLinker_ = body;
        sawFirst_ = true;
      } else if (!sawSecond_) {
        secondLinker_ = body;
        sawSecond_ = true;
      } else {
        return "the archive holds more than two linker members";
      }
      return "";
    }
    if (name == "//") {
      longNames_ = body;
      return "";
    }
    if (name.size() > 1 && name[0] == '/' &&
        std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      const std::size_t offset = std::stoull(name.substr(1));
      if (offset >= longNames_.size())
        return "the long name of a member lies outside the long-names member";
      const auto begin = longNames_.begin() + static_cast<std::ptrdiff_t>(offset);
      auto end =
          std::find_if(begin, longNames_.end(), [](std::uint8_t c) { return c == 0 || c == '\n'; });
      name.assign(begin, end);
      if (!name.empty() && name.back() == '/') name.pop_back();
    } else if (name.size() > 1 && name.back() == '/') {
      name.pop_back();
    }
    offsets_[headerAt] = archive_.members.size();
    archive_.members.push_back({name, withData_ ? Bytes(body.begin(), body.end()) : Bytes(), {}});
    return "";
  }

  // NUL-terminated names from the position on, as many as wanted.
  std::string readNames(std::span<const std::uint8_t> body, std::size_t at, std::size_t count,
                        std::vector<ArchiveSymbol>& index) {
    for (std::size_t i = 0; i < count; ++i) {
      const auto begin = body.begin() + static_cast<std::ptrdiff_t>(std::min(at, body.size()));
      const auto end = std::find(begin, body.end(), std::uint8_t{0});
      if (end == body.end()) return "a linker member's names run past its end";
      index[i].name.assign(begin, end);
      at += index[i].name.size() + 1;
    }
    return "";
  }

  std::string memberAt(std::uint32_t offset, std::size_t& member) const {
    const auto found = offsets_.find(offset);
    if (found == offsets_.end()) {
      return "a linker member points at offset " + std::to_string(offset) +
             ", where no member starts";
    }
    member = found->second;
    return "";
  }

  std::string readFirstIndex() {
    if (!sawFirst_) return "";
    const auto body = firstLinker_;
    if (body.size() < 4) return "the first linker member is too short";
    const std::uint32_t count = detail::be32(body, 0);
    if (count > (body.size() - 4) / 4) return "the first linker member's offsets run past its end";
    archive_.firstIndex.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      if (auto error = memberAt(detail::be32(body, 4 + 4 * i), archive_.firstIndex[i].member);
          !error.empty()) {
        return error;
      }
    }
    return readNames(body, 4 + 4 * std::size_t{count}, count, archive_.firstIndex);
  }

  std::string readSecondIndex() {
    if (!sawSecond_) return "";
    const auto body = secondLinker_;
    if (body.size() < 8) return "the second linker member is too short";
    const std::uint32_t memberCount = detail::le32(body, 0);
    if (memberCount > (body.size() - 8) / 4)
      return "the second linker member's offsets run past its end";
    const std::size_t countAt = 4 + 4 * std::size_t{memberCount};
    const std::uint32_t count = detail::le32(body, countAt);
    if (count > (body.size() - countAt - 4) / 2)
      return "the second linker member's indexes run past its end";
    archive_.secondIndex.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint16_t index = detail::le16(body, countAt + 4 + 2 * i);
      if (index == 0 || index > memberCount)
        return "the second linker member holds a member index out of range";
      if (auto error =
              memberAt(detail::le32(body, 4 * std::size_t{index}), archive_.secondIndex[i].member);
          !error.empty()) {
        return error;
      }
    }
    return readNames(body, countAt + 4 + 2 * std::size_t{count}, count, archive_.secondIndex);
  }

  std::span<const std::uint8_t> data_;
  bool withData_;
  std::span<const std::uint8_t> firstLinker_, secondLinker_, longNames_;
  bool sawFirst_ = false, sawSecond_ = false;
  std::map<std::size_t, std::size_t> offsets_;  // of a member's header -> its index
  Archive archive_;
};

}  // namespace

Result<Archive> readArchive(std::span<const std::uint8_t> data, bool withData) {
  return ArchiveReader(data, withData).read();
}

}  // namespace brisko::coff
