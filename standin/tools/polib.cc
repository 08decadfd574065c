// Stand-in for the PureBasic librarian. Command line:
//
//   polib [options] inputs... /out:<library>
//
// Inputs are object file names or wildcard patterns ("*" and "?" in the file part). The program
// expands patterns itself, in the folder the pattern names (the working folder when it names
// none), because it is started without a shell. As on the Windows original, matching ignores
// letter case, so "*.obj" also takes "A.OBJ". The names a pattern matches are taken in name
// order, ignoring case, so that the library does not depend on the order of the directory.
//
// Options (letter case ignored, "/" or "-"): /out:<file> (required), /machine:x86 (or i386,
// ix86), /machine:x64 (or amd64), /nologo. An argument that is not one of these is an input, so
// POSIX absolute paths work as inputs.
//
// Every input must be a COFF object for one machine: the one /machine names, else AMD64 when
// the first input is an AMD64 object and i386 otherwise. A library never mixes machines. The
// library is a COFF archive, of the same form for both machines, whose members are the inputs
// in command-line order, named by their file part. On success nothing is printed and
// the exit code is 0; otherwise one line "POLIB: fatal error: ..." goes to standard output, the
// exit code is 1 and no library is left behind.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "coff.h"

namespace fs = std::filesystem;
using brisko::standin::ArchiveMember;
using brisko::standin::Bytes;

namespace {

struct Failure {
  std::string message;
};

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string lowered(std::string text) {
  for (char& c : text) c = lower(c);
  return text;
}

// Wildcard match of a whole name, "*" any run of characters, "?" one character, case ignored.
bool matches(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool isSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

std::vector<std::string> expand(const std::string& pattern) {
  const auto cut = std::find_if(pattern.rbegin(), pattern.rend(), isSeparator);
  const std::string folder(pattern.begin(), cut.base());
  const std::string filePattern(cut.base(), pattern.end());
  if (folder.find_first_of("*?") != std::string::npos) {
    throw Failure{"wildcards are only allowed in the file name: '" + pattern + "'"};
  }
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder.empty() ? "." : folder, ec)) {
    std::error_code typeError;
    if (!entry.is_regular_file(typeError)) continue;
    std::string name = entry.path().filename().string();
    if (matches(filePattern, name)) names.push_back(std::move(name));
  }
  if (ec) throw Failure{"cannot list the folder of '" + pattern + "'"};
  if (names.empty()) throw Failure{"no file matches '" + pattern + "'"};
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = lowered(a), lb = lowered(b);
    return la != lb ? la < lb : a < b;
  });
  for (std::string& name : names) name = folder + name;
  return names;
}

std::string filePart(const std::string& path) {
  const auto cut = std::find_if(path.rbegin(), path.rend(), isSeparator);
  return std::string(cut.base(), path.end());
}

// Returns the option's value text when `arg` is option `name` ("/name:value" or "-name:value").
std::optional<std::string> option(const std::string& arg, std::string_view name) {
  if (arg.size() < name.size() + 1 || (arg[0] != '/' && arg[0] != '-')) return std::nullopt;
  const std::string head = lowered(arg.substr(1, name.size()));
  if (head != name) return std::nullopt;
  const std::string rest = arg.substr(1 + name.size());
  if (rest.empty()) return std::string();
  if (rest[0] != ':') return std::nullopt;
  return rest.substr(1);
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure{"cannot open '" + path + "'"};
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Failure{"cannot read '" + path + "'"};
  return data;
}

int run(const std::vector<std::string>& args) {
  std::string out;
  std::vector<std::string> inputs;
  std::uint16_t machine = 0;  // none given
  for (const std::string& arg : args) {
    if (auto value = option(arg, "out")) {
      if (value->empty()) throw Failure{"/out: needs a file name"};
      out = *value;
    } else if (auto requested = option(arg, "machine")) {
      const std::string m = lowered(*requested);
      if (m == "x86" || m == "i386" || m == "ix86") {
        machine = brisko::standin::kMachineI386;
      } else if (m == "x64" || m == "amd64") {
        machine = brisko::standin::kMachineAmd64;
      } else {
        throw Failure{"unsupported machine '" + *requested + "' (only x86 and x64)"};
      }
    } else if (option(arg, "nologo")) {
      // Nothing is printed anyway.
    } else if (arg.find_first_of("*?") != std::string::npos) {
      for (std::string& name : expand(arg)) inputs.push_back(std::move(name));
    } else {
      inputs.push_back(arg);
    }
  }
  if (out.empty()) throw Failure{"no output library given (/out:<file>)"};
  if (inputs.empty()) throw Failure{"no object files given"};

  std::vector<ArchiveMember> members;
  for (const std::string& input : inputs) {
    ArchiveMember member{filePart(input), readFile(input), {}};
    const std::uint16_t found = brisko::standin::objectMachine(member.data);
    if (machine == 0) {
      machine = found == brisko::standin::kMachineAmd64 ? found : brisko::standin::kMachineI386;
    }
    brisko::standin::ObjectSymbols symbols =
        brisko::standin::readObjectSymbols(member.data, machine);
    if (!symbols.error.empty()) {
      std::string message = "'" + input + "': " + symbols.error;
      if (found == brisko::standin::kMachineI386 || found == brisko::standin::kMachineAmd64) {
        message += "; one library cannot hold objects of both machines";
      }
      throw Failure{message};
    }
    member.symbols = std::move(symbols.publicSymbols);
    members.push_back(std::move(member));
  }

  const Bytes archive = brisko::standin::writeArchive(members);
  {
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    if (file)
      file.write(reinterpret_cast<const char*>(archive.data()),
                 static_cast<std::streamsize>(archive.size()));
    if (file) file.close();
    if (!file) {
      std::error_code ec;
      fs::remove(out, ec);
      throw Failure{"cannot write '" + out + "'"};
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cout
        << "usage: polib [/machine:x86|x64] [/nologo] objects-or-patterns... /out:<library>\n";
    return 1;
  }
  try {
    return run(args);
  } catch (const Failure& failure) {
    std::cout << "POLIB: fatal error: " << failure.message << ".\n";
  } catch (const std::exception& e) {
    std::cout << "POLIB: fatal error: " << e.what() << ".\n";
  }
  std::cout.flush();
  return 1;
}
