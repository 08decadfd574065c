// Links x86 object code produced from FASM listings, 32-bit or 64-bit (AMD64), and runs it, for
// end-to-end tests.
//
// Running: the MS-COFF objects (or the members of a .lib) are converted to ELF with objcopy,
// linked with a freestanding harness (x86_harness.h or x64_harness.h, the target's stubs and
// runtime_stubs.inc) by ld.lld and run, 32-bit code under qemu-i386 and 64-bit code natively.
// 64-bit code keeps the Windows x64 calling convention: the harness declares its functions
// HARNESS_MSABI and the stubs are defined with it. The Windows link checks link the same inputs,
// without running them, as a Windows console program of the target would be linked: with
// lld-link, or with MinGW's GNU linker and a harness compiled by MinGW's GCC.
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

// Writes the file's bytes; false when that fails.
bool writeText(const std::filesystem::path& path, const std::string& text);

// Assembles a FASM source into an MS-COFF object with /usr/bin/fasm under qemu-i386.
// Returns true on success; the assembler's output goes to log.
bool assembleFasm(const std::filesystem::path& source, const std::filesystem::path& object,
                  std::string* log = nullptr);

// The code's target: what the inputs hold and what the harness is written for.
enum class Target { x86, x64 };

// What a test adds to the commands that build a harness program: compiler options after the
// recipe's own (warnings, include folders), linker options after the inputs.
struct BuildOptions {
  std::string compile;
  std::string link;
};

struct X86Run {
  bool linked = false;  // false when a conversion, compilation or link step failed
  std::string log;      // the output of the failed step
  int exitCode = -1;
  std::string output;  // what the program wrote to standard output
};

// Links the inputs (.obj files and .lib archives) with the harness source and runs the program.
// The harness source includes the target's harness header and defines harness_main; its return
// value is the exit code unless the code under test exits first (ExitProcess).
X86Run linkAndRun(const std::vector<std::filesystem::path>& inputs,
                  const std::string& harnessSource, const std::filesystem::path& workFolder,
                  Target target = Target::x86, const BuildOptions& options = {});

struct LinkCheck {
  bool linked = false;
  std::string log;
};

// Links the inputs with the harness as a Windows console program of the target (lld-link).
LinkCheck linkForWindows(const std::vector<std::filesystem::path>& inputs,
                         const std::string& harnessSource, const std::filesystem::path& workFolder,
                         Target target = Target::x86, const BuildOptions& options = {});

// The same with MinGW's GCC and GNU linker of the target. The link fails on any warning too (a
// missing entry point is only a warning to ld).
LinkCheck linkWithMinGW(const std::vector<std::filesystem::path>& inputs,
                        const std::string& harnessSource, const std::filesystem::path& workFolder,
                        Target target = Target::x86, const BuildOptions& options = {});

}  // namespace brisko::testsupport
