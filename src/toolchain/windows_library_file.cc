#include "toolchain/windows_library_file.h"

#include "platform/code_pages.h"
#include "platform/paths.h"
#include "toolchain/library_file_bytes.h"

namespace brisko::toolchain {

std::optional<language::TextId> parseWindowsLibrary(std::string_view data, const std::string& path,
                                                    LibraryCatalogue& catalogue) {
  ByteReader in(data);
  if (!in.bytesAt(0, "ERUPLLDE")) return language::TextId::functionLists;
  const LibraryRecord& library = catalogue.addLibrary(path, false);
  // The entries start after the signature and a copy of the file's own name (L bytes and two
  // more). A trailing entry is taken when its name's NUL and its count byte are inside the
  // data (the last byte is never read); a shorter rest of the file is ignored.
  if (!in.skip(platform::filePart(path).size() + 10)) return std::nullopt;
  while (!in.atEnd()) {
    const auto rawName = in.string();
    if (!rawName) break;
    const auto count = in.byte();
    if (!count) break;
    catalogue.addFunction(
        {&library, platform::ansiToUtf8(*rawName), {}, static_cast<signed char>(*count)});
    in.skip(1);
  }
  return std::nullopt;
}

std::optional<language::TextId> readWindowsLibrary(const platform::FileSystem& files,
                                                   const std::string& path,
                                                   LibraryCatalogue& catalogue) {
  std::optional<std::string> data;
  if (const auto failure = readLibraryFile(files, path, data)) return failure;
  return parseWindowsLibrary(*data, path, catalogue);
}

}  // namespace brisko::toolchain
