// What the scripted FASM and polib of the pipeline tests write: a COFF object made from a
// source's "section", "public" and "extrn" lines (and those of the sources it includes), and a
// library of such objects, so that the check of what FASM wrote sees the symbols the sources
// promise and a combined source can be cut into its members.
#pragma once

#include <string>
#include <vector>

#include "coff/archive.h"
#include "coff/object.h"
#include "memory_file_system.h"

namespace brisko::testing {

inline void collectSymbols(const platform::MemoryFileSystem& files, const std::string& path,
                           coff::ObjectFile& object) {
  const std::string text = files.readFile(path).value_or("");
  const std::string folder = path.substr(0, path.rfind('/') + 1);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    const auto named = [&](std::size_t from) {
      // "name", "name as 'alias'" or "'name' as label": the name the linker sees.
      std::string rest = line.substr(from);
      if (const std::size_t as = rest.find(" as "); as != std::string::npos) {
        rest = rest[0] == '\'' ? rest.substr(1, rest.find('\'', 1) - 1) : rest.substr(as + 5);
        if (!rest.empty() && rest.back() == '\'') rest.pop_back();
      }
      return rest;
    };
    std::string_view trimmed(line);
    while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
    if (line.starts_with("format MS64")) object.machine = coff::kMachineAmd64;
    // Each section line starts a section, as FASM's do; public symbols stand in the last one.
    if (trimmed.starts_with("section "))
      object.sections.push_back({".code", 0x60000020, {0xC3}, 0, {}});
    if (line.starts_with("include \"")) {
      collectSymbols(files, folder + line.substr(9, line.size() - 10), object);
    } else if (line.starts_with("public ")) {
      if (object.sections.empty()) object.sections.push_back({".code", 0x60000020, {0xC3}, 0, {}});
      object.symbols.push_back({named(7),
                                0,
                                static_cast<std::int16_t>(object.sections.size()),
                                0,
                                coff::kClassExternal,
                                {}});
    } else if (line.starts_with("extrn ")) {
      object.symbols.push_back({named(6), 0, coff::kUndefinedSection, 0, coff::kClassExternal, {}});
    }
  }
}

// The object FASM would make of the source.
inline std::string fakeObject(const platform::MemoryFileSystem& files, const std::string& source) {
  coff::ObjectFile object;
  collectSymbols(files, source, object);
  if (object.sections.empty()) object.sections.push_back({".code", 0x60000020, {0xC3}, 0, {}});
  const coff::Bytes bytes = coff::writeObject(object);
  return std::string(bytes.begin(), bytes.end());
}

// The library polib would make of the objects of the folder.
inline std::string fakeLibrary(const platform::MemoryFileSystem& files, const std::string& folder) {
  std::vector<coff::ArchiveMember> members;
  for (const auto& entry :
       files.listFolder(folder).value_or(std::vector<platform::FolderEntry>{})) {
    if (!entry.name.ends_with(".obj")) continue;
    const std::string bytes = files.readFile(folder + "/" + entry.name).value_or("");
    members.push_back({entry.name, coff::Bytes(bytes.begin(), bytes.end()), {}});
  }
  const coff::Result<coff::Bytes> archive = coff::writeArchive(members);
  return archive.ok() ? std::string(archive.value().begin(), archive.value().end()) : "";
}

}  // namespace brisko::testing
