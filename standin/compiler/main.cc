// The stand-in PureBasic command-line compiler:
//   PBcompiler.exe "source.pb" /EXE "program.exe" [/THREAD] [/UNICODE] [/INLINEASM] [/COMMENTED]
// It checks and compiles the source; with /COMMENTED it writes the commented listing
// "PureBasic.asm" into the working folder. It links nothing: /EXE gets a placeholder file.
// Errors are reported on standard output as "Error: Line <n> - <message>" with exit code 1.
// The file "listing-layout.txt" beside the program, when there is one, names the listing layout
// of the compiler generation it acts as (see LISTING.md); without it the layout is "classic".
// The file "target.txt" beside it names the processor, "x86" (also without the file) or "x64";
// an x64 compiler writes the after-end-code layout only.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "compiler.h"
#include "parser.h"

// After the compiler's headers: windows.h defines "cdecl", a name the syntax tree uses.
#ifdef _WIN32
#include <windows.h>
#endif

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

// The folder of the running program, where the installation keeps the compiler's settings.
std::filesystem::path programFolder(const char* argv0) {
  std::error_code error;
#ifdef _WIN32
  wchar_t buffer[32768];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
  if (length > 0 && length < 32768) return std::filesystem::path(buffer).parent_path();
#else
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return self.parent_path();
#endif
  return std::filesystem::absolute(argv0, error).parent_path();
}

// The first line of a setting file beside the compiler; nothing when there is no such file.
std::optional<std::string> readSetting(const std::filesystem::path& setting) {
  std::ifstream in(setting, std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  return line;
}

// Reads the target and layout settings; false (with a message) when one names nothing known or
// the two do not go together.
bool readSettings(const std::filesystem::path& folder, standin::CompileOptions& options,
                  std::string& message) {
  const std::filesystem::path targetFile = folder / "target.txt";
  if (const std::optional<std::string> text = readSetting(targetFile)) {
    const std::optional<standin::Target> named = standin::targetNamed(*text);
    if (!named) {
      message = "Error: " + targetFile.string() + " names no target (\"" + *text + "\").";
      return false;
    }
    options.target = *named;
  }
  const std::filesystem::path layoutFile = folder / "listing-layout.txt";
  const std::optional<std::string> text = readSetting(layoutFile);
  if (options.target == standin::Target::x64) {
    options.layout = standin::ListingLayout::afterEndCode;
    // Without a layout file, or with a blank one, the x64 layout goes without saying.
    if (!text || text->find_first_not_of(" \t\r\n") == std::string::npos) return true;
  }
  if (!text) return true;
  const std::optional<standin::ListingLayout> named = standin::listingLayoutNamed(*text);
  if (!named) {
    message = "Error: " + layoutFile.string() + " names no listing layout (\"" + *text + "\").";
    return false;
  }
  if (options.target == standin::Target::x64 && *named != standin::ListingLayout::afterEndCode) {
    message = "Error: " + layoutFile.string() + " names the listing layout \"" + *text +
              "\", but the x64 target writes the after-end-code layout only.";
    return false;
  }
  options.layout = *named;
  return true;
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
  CommandLine line;
  std::string settingError;
  const bool settingRead = readSettings(programFolder(argv[0]), line.options, settingError);
  say("PureBasic " + standin::listingVersion(line.options.layout) + " (Windows - " +
      standin::targetName(line.options.target) + ") - brisko stand-in compiler");
  if (!settingRead) {
    say(settingError);
    return 1;
  }
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
