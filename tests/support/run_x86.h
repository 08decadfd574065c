// Links 32-bit x86 object code produced from FASM listings and runs it, for end-to-end tests.
//
// Running: the MS-COFF objects (or the members of a .lib) are converted to ELF with objcopy,
// linked with a freestanding harness (x86_harness.h, x86_stubs.c, runtime_stubs.inc) by ld.lld and
// run under qemu-i386. The Windows link checks link the same inputs, without running them, as a
// Windows program would be linked: with lld-link, or with MinGW's GNU linker and a harness compiled
// by MinGW's GCC.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace brisko::testsupport {

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs a shell command and captures its output.
CommandResult runCommand(const std::string& command);

// The text in single quotes for the shell.
std::string shellQuote(const std::string& text);

// A fresh empty folder below the system's temporary folder.
std::filesystem::path makeTempFolder(const std::string& stem);

// Assembles a FASM source into an MS-COFF object with /usr/bin/fasm under qemu-i386.
// Returns true on success; the assembler's output goes to log.
bool assembleFasm(const std::filesystem::path& source, const std::filesystem::path& object,
                  std::string* log = nullptr);

struct X86Run {
  bool linked = false;  // false when a conversion, compilation or link step failed
  std::string log;      // the output of the failed step
  int exitCode = -1;
  std::string output;  // what the program wrote to standard output
};

// Links the inputs (.obj files and .lib archives) with the harness source and runs the program.
// The harness source includes "x86_harness.h" and defines harness_main; its return value is
// the exit code unless the code under test exits first (ExitProcess).
X86Run linkAndRun(const std::vector<std::filesystem::path>& inputs,
                  const std::string& harnessSource, const std::filesystem::path& workFolder);

struct LinkCheck {
  bool linked = false;
  std::string log;
};

// Links the inputs with the harness as a 32-bit Windows console program (lld-link).
LinkCheck linkForWindows(const std::vector<std::filesystem::path>& inputs,
                         const std::string& harnessSource, const std::filesystem::path& workFolder);

// The same with i686-w64-mingw32-gcc and i686-w64-mingw32-ld. The link fails on any warning too
// (a missing entry point is only a warning to ld).
LinkCheck linkWithMinGW(const std::vector<std::filesystem::path>& inputs,
                        const std::string& harnessSource, const std::filesystem::path& workFolder);

// objcopy leaves the addend of converted PC-relative relocations as COFF stores it (relative
// to the end of the field); ELF counts from the start of the field. Subtracts 4 from every
// R_386_PC32 addend of an ELF32 object in place. Returns false when the file is no ELF32 object.
bool fixPcRelativeAddends(const std::filesystem::path& elfObject);

}  // namespace brisko::testsupport
