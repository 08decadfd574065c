#include "toolchain/library_catalogue.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "language/text_ids.h"
#include "platform/ascii.h"
#include "platform/code_pages.h"
#include "platform/paths.h"

namespace brisko::toolchain {
namespace {

unsigned char foldCase(char c) {
  return static_cast<unsigned char>(platform::asciiLower(c));
}

bool lessIgnoringCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return foldCase(x) < foldCase(y); });
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return foldCase(x) == foldCase(y);
         });
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equalIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// A bounds-checked cursor over the bytes of one library file. Every read that would leave the
// data fails instead, so a damaged file can end a walk early but never read past its end.
class ByteReader {
 public:
  explicit ByteReader(std::string_view data) : data_(data) {}

  std::size_t position() const { return position_; }
  bool atEnd() const { return position_ >= data_.size(); }

  bool bytesAt(std::size_t at, std::string_view expected) const {
    return at <= data_.size() && data_.size() - at >= expected.size() &&
           data_.compare(at, expected.size(), expected) == 0;
  }
  // The byte at a position; 0 beyond the end of the data.
  unsigned char byteAt(std::size_t at) const {
    return at < data_.size() ? static_cast<unsigned char>(data_[at]) : 0;
  }

  // The NUL-terminated string at the cursor, which moves past its NUL; nothing (cursor
  // unchanged) when the data ends before a NUL.
  std::optional<std::string_view> string() {
    if (atEnd()) return std::nullopt;
    const std::size_t nul = data_.find('\0', position_);
    if (nul == std::string_view::npos) return std::nullopt;
    const std::string_view text = data_.substr(position_, nul - position_);
    position_ = nul + 1;
    return text;
  }
  bool skipStrings(int count) {
    for (int i = 0; i < count; ++i) {
      if (!string()) return false;
    }
    return true;
  }
  // Moves the cursor forward; the cursor may come to rest at (but not beyond) the end.
  bool skip(std::size_t count) {
    if (count > data_.size() - std::min(position_, data_.size())) return false;
    position_ += count;
    return true;
  }
  std::optional<unsigned char> byte() {
    if (atEnd()) return std::nullopt;
    return static_cast<unsigned char>(data_[position_++]);
  }
  void skipZeros() {
    while (!atEnd() && data_[position_] == '\0') ++position_;
  }

 private:
  std::string_view data_;
  std::size_t position_ = 0;
};

// The token a parameter type code contributes to a template; nullptr for an unlisted code,
// which repeats the token of the parameter before it.
const char* tokenFor(unsigned char code) {
  switch (code) {
    case 0x01:
    case 0x02:
    case 0x04:
    case 0x41:
    case 0x43:
    case 0x44:
      return "a";
    case 0x08:
      return "a()";
    case 0x20:
      return "b()";
    case 0x40:
      return "a$";
    default:
      return nullptr;
  }
}

// A library's start and end hooks are not functions a program calls.
bool isHook(std::string_view name, std::string_view fileName) {
  if (endsWithIgnoringCase(name, "_END") || endsWithIgnoringCase(name, "_INIT")) return true;
  const auto equalsPrefixed = [&](std::string_view prefix) {
    return name.size() == prefix.size() + fileName.size() &&
           equalIgnoringCase(name.substr(0, prefix.size()), prefix) &&
           equalIgnoringCase(name.substr(prefix.size()), fileName);
  };
  return equalsPrefixed("INIT") || equalsPrefixed("END");
}

// Walks the header up to the function table. False when the file ends before the table, in
// which case the library has no functions.
bool skipPureHeader(ByteReader& in) {
  if (!in.skip(20) || !in.string() || !in.skip(1) || in.atEnd()) return false;
  // The counts are signed: a negative one names no libraries, but like any nonzero count it
  // is followed by the byte that an empty list lacks.
  const auto first = static_cast<signed char>(*in.byte());
  if (!in.skipStrings(first)) return false;
  if (first != 0 && !in.skip(1)) return false;
  if (!in.string() || in.atEnd()) return false;
  const auto second = static_cast<signed char>(*in.byte());
  return in.skipStrings(second) && !in.atEnd();
}

// The function table runs up to the next chunk of the file: a second "ERUP" chunk, or one
// whose size field is followed by "1TAD".
bool atTableEnd(const ByteReader& in) {
  return in.atEnd() || in.bytesAt(in.position(), "ERUP") || in.bytesAt(in.position() + 8, "1TAD");
}

int readLibraryFile(const platform::FileSystem& files, const std::string& path,
                    std::optional<std::string>& data) {
  data = files.readFile(path);
  return (!data || data->empty()) ? language::kErrorsFunctionLists : 0;
}

// Scans the files of one folder with a reader; a folder that cannot be listed is skipped.
int scanFolder(const CatalogueScan& scan, const std::string& folder, LibraryCatalogue& catalogue,
               int (*read)(const platform::FileSystem&, const std::string&, LibraryCatalogue&)) {
  const auto entries = scan.files.listFolder(folder);
  if (!entries) return 0;
  for (const platform::FolderEntry& entry : *entries) {
    scan.window.pollEvents();
    if (entry.isFolder) continue;
    scan.feedback.setStatusDetail("Scanning " + entry.name);
    if (const int result = read(scan.files, folder + entry.name, catalogue)) return result;
  }
  return 0;
}

}  // namespace

LibraryRecord& LibraryCatalogue::addLibrary(std::string path, bool isPureLibrary) {
  libraries_.push_back({std::move(path), isPureLibrary});
  return libraries_.back();
}

void LibraryCatalogue::addFunction(LibraryFunction function) {
  functions_.push_back(std::move(function));
  indexFunction(functions_.size() - 1);
}

void LibraryCatalogue::addCompilerLibrary(std::string_view name) {
  compilerLibraryNames_.append(name);
  compilerLibraryNames_ += ',';
}

void LibraryCatalogue::sortFunctions() {
  std::stable_sort(functions_.begin(), functions_.end(),
                   [](const LibraryFunction& a, const LibraryFunction& b) {
                     return lessIgnoringCase(a.name, b.name);
                   });
  rebuildIndex();
}

void LibraryCatalogue::rebuildIndex() {
  index_.clear();
  for (std::size_t i = 0; i < functions_.size(); ++i) indexFunction(i);
}

void LibraryCatalogue::indexFunction(std::size_t at) {
  const LibraryFunction& function = functions_[at];
  FirstMatches& first = index_[function.name];
  std::size_t& slot =
      (function.library && function.library->isPureLibrary) ? first.pure : first.windows;
  if (slot == kNone) slot = at;
}

const LibraryFunction* LibraryCatalogue::findLibraryFunction(std::string_view name,
                                                             bool isPureLibrary) const {
  const auto found = index_.find(name);
  if (found == index_.end()) return nullptr;
  const std::size_t at = isPureLibrary ? found->second.pure : found->second.windows;
  return at == kNone ? nullptr : &functions_[at];
}

void parsePureLibrary(std::string_view data, const std::string& path, LibraryCatalogue& catalogue) {
  ByteReader in(data);
  if (!in.bytesAt(0, "ERUP") || !in.bytesAt(8, "3BIL") || !in.bytesAt(16, "LIB3")) return;
  const LibraryRecord& library = catalogue.addLibrary(path, true);
  if (!skipPureHeader(in)) return;

  const std::string fileName = platform::filePart(path);
  // The token of the last parameter read from this file, carried across entries (the type
  // codes of entries that are not catalogued are not read).
  std::string previousToken;
  // An entry whose name or fixed part (count, type codes, flags) runs past the end of the data
  // is not catalogued and ends the table; a help text without its NUL ends the table after its
  // entry has been taken.
  while (!atTableEnd(in)) {
    const auto rawName = in.string();
    if (!rawName) break;
    const std::size_t countAt = in.position();
    const auto k = in.byte();  // read unsigned: a count cannot move the cursor backwards
    if (!k) break;
    const std::size_t codesAt = in.position();
    if (!in.skip(*k) || !in.skip(4)) break;
    in.skipZeros();
    const bool helpIntact = !in.bytesAt(in.position(), "(") || in.string().has_value();

    const std::string name = platform::ansiToUtf8(*rawName);
    const bool catalogued = !isHook(name, fileName) &&
                            (*k != 0 || in.byteAt(countAt + 3) != 0 || in.byteAt(countAt + 5) != 0);
    if (catalogued) {
      std::string parameterTemplate = "(";
      for (std::size_t i = 0; i < *k; ++i) {
        if (const char* token = tokenFor(in.byteAt(codesAt + i))) previousToken = token;
        if (i != 0) parameterTemplate += ", ";
        parameterTemplate += previousToken;
      }
      parameterTemplate += ')';
      catalogue.addFunction({&library, name, std::move(parameterTemplate), 0});
    }
    if (!helpIntact) break;
  }
}

int parseWindowsLibrary(std::string_view data, const std::string& path,
                        LibraryCatalogue& catalogue) {
  ByteReader in(data);
  if (!in.bytesAt(0, "ERUPLLDE")) return language::kErrorsFunctionLists;
  const LibraryRecord& library = catalogue.addLibrary(path, false);
  // The entries start after the signature and a copy of the file's own name (L bytes and two
  // more). A trailing entry is taken when its name's NUL and its count byte are inside the
  // data (the last byte is never read); a shorter rest of the file is ignored.
  if (!in.skip(platform::filePart(path).size() + 10)) return 0;
  while (!in.atEnd()) {
    const auto rawName = in.string();
    if (!rawName) break;
    const auto count = in.byte();
    if (!count) break;
    catalogue.addFunction(
        {&library, platform::ansiToUtf8(*rawName), {}, static_cast<signed char>(*count)});
    in.skip(1);
  }
  return 0;
}

int readPureLibrary(const platform::FileSystem& files, const std::string& path,
                    LibraryCatalogue& catalogue) {
  std::optional<std::string> data;
  if (const int result = readLibraryFile(files, path, data)) return result;
  parsePureLibrary(*data, path, catalogue);
  return 0;
}

int readWindowsLibrary(const platform::FileSystem& files, const std::string& path,
                       LibraryCatalogue& catalogue) {
  std::optional<std::string> data;
  if (const int result = readLibraryFile(files, path, data)) return result;
  return parseWindowsLibrary(*data, path, catalogue);
}

int buildLibraryCatalogue(const CatalogueScan& scan, const std::string& pbFolder,
                          LibraryCatalogue& catalogue) {
  constexpr char sep = platform::kPathSeparator;
  const std::string pureFolder = pbFolder + "PureLibraries" + sep;
  for (const std::string& folder : {pureFolder, pureFolder + "UserLibraries" + sep}) {
    if (const int result = scanFolder(scan, folder, catalogue, readPureLibrary)) return result;
  }
  if (const int result =
          scanFolder(scan, pureFolder + "Windows" + sep, catalogue, readWindowsLibrary)) {
    return result;
  }
  catalogue.sortFunctions();

  if (const auto entries = scan.files.listFolder(pbFolder + "Compilers" + sep)) {
    for (const platform::FolderEntry& entry : *entries) {
      scan.window.pollEvents();
      if (!entry.isFolder && platform::extensionOf(entry.name) == "lib") {
        catalogue.addCompilerLibrary(entry.name);
      }
    }
  }
  return 0;
}

}  // namespace brisko::toolchain
