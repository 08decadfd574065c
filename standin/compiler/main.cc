// The stand-in PureBasic command-line compiler:
//   PBcompiler.exe "source.pb" /EXE "program.exe" [/THREAD] [/UNICODE] [/INLINEASM] [/COMMENTED]
// It checks and compiles the source; with /COMMENTED it writes the commented listing
// "PureBasic.asm" into the working folder. It links nothing: /EXE gets a placeholder file.
// Errors are reported on standard output as "Error: Line <n> - <message>" with exit code 1.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "compiler.h"
#include "parser.h"

namespace {

// Lines end with CR LF whatever the platform, as the compiler's callers expect.
void say(const std::string& text) {
  std::cout << text << "\r\n";
}

bool writeFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

struct CommandLine {
  std::string source;
  std::string executable;
  standin::CompileOptions options;
  bool commented = false;
};

bool parseCommandLine(int argc, char** argv, CommandLine& line) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::string option = standin::lowerCase(arg);
    if (option == "/exe") {
      if (i + 1 >= argc) return false;
      line.executable = argv[++i];
    } else if (option == "/thread") {
      line.options.thread = true;
    } else if (option == "/unicode") {
      line.options.unicode = true;
    } else if (option == "/inlineasm") {
      line.options.inlineAsm = true;
    } else if (option == "/commented") {
      line.commented = true;
    } else if (line.source.empty()) {  // the first other argument (may be a POSIX path)
      line.source = arg;
    } else {
      return false;
    }
  }
  return !line.source.empty();
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  say("PureBasic 4.20 (Windows - x86) - brisko stand-in compiler");
  CommandLine line;
  if (!parseCommandLine(argc, argv, line)) {
    say("Usage: PBcompiler \"source.pb\" [/EXE \"program.exe\"] [/THREAD] [/UNICODE] "
        "[/INLINEASM] [/COMMENTED]");
    return 2;
  }
  const std::filesystem::path sourcePath = line.source;
  std::ifstream in(sourcePath, std::ios::binary);
  if (!in) {
    say("Error: the source file cannot be opened (" + line.source + ").");
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  say("Compiling " + sourcePath.filename().string());

  line.options.sourceFolder = std::filesystem::absolute(sourcePath).parent_path();
  const standin::CompileResult result = standin::compileProgram(text.str(), line.options);
  if (!result.ok) {
    say("Error: Line " + std::to_string(result.errorLine) + " - " + result.message);
    return 1;
  }
  if (line.commented && !writeFile("PureBasic.asm", result.listing)) {
    say("Error: PureBasic.asm cannot be written.");
    return 1;
  }
  if (!line.executable.empty() &&
      !writeFile(line.executable, "This stand-in compiler links no programs.\r\n")) {
    say("Error: the executable cannot be written (" + line.executable + ").");
    return 1;
  }
  say("Done.");
  return 0;
}
