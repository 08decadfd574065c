#include "library_files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>

namespace brisko::standin {
namespace {

struct LineError {
  std::string message;
};

// Splits a line into words. Blanks separate words, double quotes group text with blanks (the
// quotes are dropped, so help="(a b)" is the word help=(a b)), "#" outside quotes ends the line.
std::vector<std::string> splitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : line) {
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == '"') {
      quoted = inWord = true;
    } else if (c == '#') {
      break;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quoted) throw LineError{"unterminated quoted text"};
  if (inWord) words.push_back(std::move(word));
  return words;
}

long parseNumber(const std::string& text, long lowest, long highest, std::string_view what) {
  int base = 10;
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && digits[0] == '-') {
    negative = true;
    digits.remove_prefix(1);
  }
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  long value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
    throw LineError{std::string(what) + " '" + text + "' is not a number"};
  }
  if (negative) value = -value;
  if (value < lowest || value > highest) {
    throw LineError{std::string(what) + " " + text + " is out of range " + std::to_string(lowest) +
                    ".." + std::to_string(highest)};
  }
  return value;
}

std::uint8_t hexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
  throw LineError{std::string("'") + c + "' is not a hex digit"};
}

Bytes parseHex(std::string_view text) {
  if (text.size() % 2 != 0) throw LineError{"hex bytes '" + std::string(text) + "' are odd"};
  Bytes bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(hexDigit(text[i]) << 4 | hexDigit(text[i + 1])));
  }
  return bytes;
}

void checkName(const std::string& name, std::string_view what) {
  if (name.empty()) throw LineError{std::string(what) + " is empty"};
}

void checkFileName(const std::string& name) {
  checkName(name, "file name");
  if (name.find_first_of("/\\:") != std::string::npos) {
    throw LineError{"file name '" + name + "' must not hold a folder"};
  }
}

// A function name must not be mistaken by a reader for fill, a help text or an end marker.
void checkFunctionName(const std::string& name) {
  checkName(name, "function name");
  if (name[0] == '(') throw LineError{"function name '" + name + "' starts with '('"};
  if (name.starts_with("ERUP")) throw LineError{"function name '" + name + "' starts with ERUP"};
}

std::vector<std::string> rest(const std::vector<std::string>& words, std::size_t from) {
  return {words.begin() + static_cast<std::ptrdiff_t>(from), words.end()};
}

PureFunction parseFunction(const std::vector<std::string>& words) {
  if (words.size() < 2) throw LineError{"function needs a name"};
  PureFunction f;
  f.name = words[1];
  checkFunctionName(f.name);
  for (std::size_t i = 2; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.starts_with("flags=")) {
      const Bytes flags = parseHex(w.substr(6));
      if (flags.size() != 4) throw LineError{"flags need 8 hex digits"};
      std::copy(flags.begin(), flags.end(), f.flags.begin());
    } else if (w.starts_with("fill=")) {
      f.fill = static_cast<std::size_t>(parseNumber(w.substr(5), 0, 64, "fill"));
    } else if (w.starts_with("help=")) {
      f.help = w.substr(5);
      if (!f.help.starts_with("(")) throw LineError{"help text must start with '('"};
    } else {
      f.typeCodes.push_back(static_cast<std::uint8_t>(parseNumber(w, 0, 255, "type code")));
    }
  }
  if (f.typeCodes.size() > 127) throw LineError{"more than 127 parameters"};
  return f;
}

CoffFunction parseCode(const std::vector<std::string>& words) {
  if (words.size() < 2) throw LineError{"code needs a symbol"};
  CoffFunction f{words[1], {}};
  for (std::size_t i = 2; i < words.size(); ++i) {
    const Bytes part = parseHex(words[i]);
    f.code.insert(f.code.end(), part.begin(), part.end());
  }
  if (f.code.empty()) f.code = defaultCode(f.symbol);
  return f;
}

void putText(Bytes& out, std::string_view text) {
  for (char c : text) out.push_back(static_cast<std::uint8_t>(c));
}

void putString(Bytes& out, std::string_view text) {
  putText(out, text);
  out.push_back(0);
}

void put32(Bytes& out, std::size_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
}

void putNameList(Bytes& out, const std::vector<std::string>& names) {
  out.push_back(static_cast<std::uint8_t>(names.size()));
  for (const std::string& n : names) putString(out, n);
}

}  // namespace

Bytes defaultCode(std::string_view symbol) {
  unsigned argumentBytes = 0;
  const std::size_t at = symbol.rfind('@');
  if (at != std::string_view::npos) {
    std::from_chars(symbol.data() + at + 1, symbol.data() + symbol.size(), argumentBytes);
  }
  if (argumentBytes == 0) return {0x31, 0xC0, 0xC3};
  return {0x31, 0xC0, 0xC2, static_cast<std::uint8_t>(argumentBytes & 0xFF),
          static_cast<std::uint8_t>((argumentBytes >> 8) & 0xFF)};
}

bool parseDescription(std::string_view text, LibraryDescription& description, std::string& error) {
  enum class Section { kNone, kPure, kWindows, kArchive };
  Section section = Section::kNone;
  std::set<std::string> pureNames, userNames, windowsNames, archiveNames;
  int lineNumber = 0;
  std::size_t start = 0;
  try {
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      const std::string_view line = text.substr(start, end - start);
      start = end + 1;
      ++lineNumber;
      const std::vector<std::string> words = splitWords(line);
      if (words.empty()) continue;
      const std::string& key = words[0];
      auto needArgs = [&](std::size_t count) {
        if (words.size() != count + 1) {
          throw LineError{key + " takes " + std::to_string(count) + " value(s)"};
        }
      };
      auto needSection = [&](Section wanted, std::string_view inside) {
        if (section != wanted) throw LineError{key + " belongs inside " + std::string(inside)};
      };

      if (key == "purelib" || key == "userlib") {
        needArgs(1);
        checkFileName(words[1]);
        const bool user = key == "userlib";
        if (!(user ? userNames : pureNames).insert(words[1]).second) {
          throw LineError{"library " + words[1] + " is described twice"};
        }
        PureLibrary library;
        library.fileName = library.title = words[1];
        library.userLibrary = user;
        description.pureLibraries.push_back(std::move(library));
        section = Section::kPure;
      } else if (key == "windows") {
        needArgs(1);
        checkFileName(words[1]);
        if (!windowsNames.insert(words[1]).second) {
          throw LineError{"descriptor " + words[1] + " is described twice"};
        }
        description.windowsLibraries.push_back({words[1], {}});
        section = Section::kWindows;
      } else if (key == "archive") {
        needArgs(1);
        checkFileName(words[1]);
        if (!archiveNames.insert(words[1]).second) {
          throw LineError{"archive " + words[1] + " is described twice"};
        }
        description.archives.push_back({words[1], {}});
        section = Section::kArchive;
      } else if (key == "title" || key == "group") {
        needSection(Section::kPure, "a purelib or userlib");
        needArgs(1);
        PureLibrary& library = description.pureLibraries.back();
        (key == "title" ? library.title : library.group) = words[1];
      } else if (key == "version") {
        needSection(Section::kPure, "a purelib or userlib");
        needArgs(1);
        description.pureLibraries.back().version =
            static_cast<std::uint8_t>(parseNumber(words[1], 0, 255, "version"));
      } else if (key == "needs" || key == "imports") {
        needSection(Section::kPure, "a purelib or userlib");
        PureLibrary& library = description.pureLibraries.back();
        std::vector<std::string>& list = key == "needs" ? library.needs : library.imports;
        for (std::string& name : rest(words, 1)) {
          checkName(name, "name");
          list.push_back(std::move(name));
        }
        if (list.size() > 127) throw LineError{"more than 127 names in " + key};
      } else if (key == "function") {
        needSection(Section::kPure, "a purelib or userlib");
        description.pureLibraries.back().functions.push_back(parseFunction(words));
      } else if (key == "end") {
        needSection(Section::kPure, "a purelib or userlib");
        needArgs(1);
        TableEnd& tableEnd = description.pureLibraries.back().end;
        if (words[1] == "code") {
          tableEnd = TableEnd::kCodeChunk;
        } else if (words[1] == "pure") {
          tableEnd = TableEnd::kPureChunk;
        } else if (words[1] == "none") {
          tableEnd = TableEnd::kNone;
        } else {
          throw LineError{"end is one of code, pure, none"};
        }
      } else if (key == "api") {
        needSection(Section::kWindows, "a windows descriptor");
        needArgs(2);
        checkName(words[1], "function name");
        description.windowsLibraries.back().functions.push_back(
            {words[1], static_cast<std::int8_t>(parseNumber(words[2], -128, 127, "count"))});
      } else if (key == "object") {
        needSection(Section::kArchive, "an archive");
        needArgs(1);
        checkFileName(words[1]);
        description.archives.back().objects.push_back({words[1], {}});
      } else if (key == "code") {
        if (section == Section::kPure) {
          description.pureLibraries.back().code.push_back(parseCode(words));
        } else if (section == Section::kArchive && !description.archives.back().objects.empty()) {
          description.archives.back().objects.back().functions.push_back(parseCode(words));
        } else {
          throw LineError{"code belongs inside a purelib, userlib or archive object"};
        }
      } else {
        throw LineError{"unknown keyword '" + key + "'"};
      }
    }
    for (const PureLibrary& library : description.pureLibraries) {
      if (library.end == TableEnd::kNone && !library.code.empty()) {
        lineNumber = 0;
        throw LineError{"library " + library.fileName + " has code but no chunk to hold it"};
      }
    }
  } catch (const LineError& e) {
    error = (lineNumber > 0 ? "line " + std::to_string(lineNumber) + ": " : "") + e.message;
    return false;
  }
  return true;
}

Bytes encodePureLibrary(const PureLibrary& library) {
  Bytes out;
  putText(out, "ERUP");
  put32(out, 0);  // size of the rest of the file, set below
  putText(out, "3BIL");
  put32(out, 0);  // size of the LIB3 chunk, set below
  putText(out, "LIB3");
  putString(out, library.title);
  out.push_back(library.version);
  putNameList(out, library.needs);
  if (!library.needs.empty()) out.push_back(0);
  putString(out, library.group);
  putNameList(out, library.imports);
  for (const PureFunction& f : library.functions) {
    putString(out, f.name);
    out.push_back(static_cast<std::uint8_t>(f.typeCodes.size()));
    out.insert(out.end(), f.typeCodes.begin(), f.typeCodes.end());
    out.insert(out.end(), f.flags.begin(), f.flags.end());
    out.insert(out.end(), f.fill, 0);
    if (!f.help.empty()) putString(out, f.help);
  }
  const std::size_t tableEnd = out.size();
  if (library.end != TableEnd::kNone) {
    const Bytes object = library.code.empty() ? Bytes{} : writeObject(library.code);
    putText(out, library.end == TableEnd::kPureChunk ? "ERUP" : "EDOC");
    put32(out, object.size() + 8);
    putText(out, "1TAD");
    put32(out, object.size());
    out.insert(out.end(), object.begin(), object.end());
  }
  auto set32 = [&out](std::size_t at, std::size_t value) {
    for (int i = 0; i < 4; ++i) {
      out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
  };
  set32(4, out.size() - 8);
  set32(12, tableEnd - 16);
  return out;
}

Bytes encodeWindowsLibrary(const WindowsLibrary& library) {
  Bytes out;
  putText(out, "ERUPLLDE");
  // The file's own name fills the L + 2 bytes before the first entry, so the entries start at
  // L + 10 for a file name of L characters.
  putString(out, library.fileName);
  out.push_back(0);
  for (const WindowsFunction& f : library.functions) {
    putString(out, f.name);
    out.push_back(static_cast<std::uint8_t>(f.parameterCount));
    out.push_back(0);
  }
  return out;
}

Bytes encodeCompilerArchive(const CompilerArchive& archive) {
  std::vector<ArchiveMember> members;
  for (const ArchiveObject& object : archive.objects) {
    ArchiveMember member{object.name, writeObject(object.functions), {}};
    member.symbols = readObjectSymbols(member.data).publicSymbols;
    members.push_back(std::move(member));
  }
  return writeArchive(members);
}

}  // namespace brisko::standin
