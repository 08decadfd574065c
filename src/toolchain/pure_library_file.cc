#include "toolchain/pure_library_file.h"

#include "platform/code_pages.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "toolchain/library_file_bytes.h"

namespace brisko::toolchain {
namespace {

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
  if (platform::endsWithIgnoringCase(name, "_END") || platform::endsWithIgnoringCase(name, "_INIT"))
    return true;
  const auto equalsPrefixed = [&](std::string_view prefix) {
    return name.size() == prefix.size() + fileName.size() &&
           platform::equalsIgnoringCase(name.substr(0, prefix.size()), prefix) &&
           platform::equalsIgnoringCase(name.substr(prefix.size()), fileName);
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

}  // namespace

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

std::optional<language::TextId> readPureLibrary(const platform::FileSystem& files,
                                                const std::string& path,
                                                LibraryCatalogue& catalogue) {
  std::optional<std::string> data;
  if (const auto failure = readLibraryFile(files, path, data)) return failure;
  parsePureLibrary(*data, path, catalogue);
  return std::nullopt;
}

}  // namespace brisko::toolchain
