// The stand-in installation's library files: the readable description they are generated from
// (the line format is documented at the top of libraries.txt) and the writers of the three kinds
// of file: PureBasic library files, Windows descriptor files and the COFF archives of the
// Compilers folder.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "coff.h"

namespace brisko::standin {

struct PureFunction {
  std::string name;
  std::vector<std::uint8_t> typeCodes;
  std::array<std::uint8_t, 4> flags{};  // in file order
  std::size_t fill = 0;                 // zero bytes after the flags
  std::string help;                     // written when not empty; starts with "("
};

// What follows the function table: a code chunk ("EDOC" size "1TAD" size object), a second
// "ERUP" chunk holding the code, or nothing (the table runs to the end of the file).
enum class TableEnd { kCodeChunk, kPureChunk, kNone };

struct PureLibrary {
  std::string fileName;
  bool userLibrary = false;          // PureLibraries/UserLibraries instead of PureLibraries
  std::string title;                 // the name at offset 20
  std::uint8_t version = 1;          // the byte after the title
  std::vector<std::string> needs;    // first name list
  std::string group;                 // the name after the first list
  std::vector<std::string> imports;  // second name list
  std::vector<PureFunction> functions;
  TableEnd end = TableEnd::kCodeChunk;
  std::vector<CoffFunction> code;  // the object carried in the trailing chunk
};

struct WindowsFunction {
  std::string name;
  std::int8_t parameterCount = 0;
};

struct WindowsLibrary {
  std::string fileName;
  std::vector<WindowsFunction> functions;
};

struct ArchiveObject {
  std::string name;
  std::vector<CoffFunction> functions;
};

struct CompilerArchive {
  std::string fileName;
  std::vector<ArchiveObject> objects;
};

struct LibraryDescription {
  std::vector<PureLibrary> pureLibraries;
  std::vector<WindowsLibrary> windowsLibraries;
  std::vector<CompilerArchive> archives;
};

// Parses the description. On failure returns false and sets `error` to "line N: what".
bool parseDescription(std::string_view text, LibraryDescription& description, std::string& error);

Bytes encodePureLibrary(const PureLibrary& library);
Bytes encodeWindowsLibrary(const WindowsLibrary& library);
Bytes encodeCompilerArchive(const CompilerArchive& archive);

// The machine code the generator gives a function without explicit code: "xor eax, eax"
// followed by "ret" that removes the stdcall argument bytes named by an "@N" suffix.
Bytes defaultCode(std::string_view symbol);

}  // namespace brisko::standin
