// Links 64-bit x86 (AMD64) object code produced from FASM listings and runs it, for end-to-end
// tests; the counterpart of run_x86.h, whose result types and process helpers it shares.
//
// Running: the MS-COFF objects (or the members of a .lib) are converted to ELF with objcopy,
// linked with a freestanding harness (x64_harness.h, x64_stubs.c, runtime_stubs.inc) by ld.lld and
// run natively. The code under test keeps the Windows x64 calling convention: the harness declares
// its functions HARNESS_MSABI and the stubs are defined with it. The Windows link checks link the
// same inputs as a 64-bit Windows console program, with lld-link or with MinGW's GNU linker.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "run_x86.h"

namespace brisko::testsupport {

// Links the inputs (AMD64 .obj files and .lib archives of them) with the harness source and
// runs the program. The harness source includes "x64_harness.h" and defines harness_main; its
// return value is the exit code unless the code under test exits first (ExitProcess).
X86Run linkAndRun64(const std::vector<std::filesystem::path>& inputs,
                    const std::string& harnessSource, const std::filesystem::path& workFolder);

// Links the inputs with the harness as a 64-bit Windows console program (lld-link).
LinkCheck linkForWindows64(const std::vector<std::filesystem::path>& inputs,
                           const std::string& harnessSource,
                           const std::filesystem::path& workFolder);

// The same with x86_64-w64-mingw32-gcc and x86_64-w64-mingw32-ld; any warning fails the link.
LinkCheck linkWithMinGW64(const std::vector<std::filesystem::path>& inputs,
                          const std::string& harnessSource,
                          const std::filesystem::path& workFolder);

// COFF keeps the addend of a relocation in the field it patches; objcopy copies the field but
// writes ELF64 relocations with an addend of 0, and ELF64 linkers take the addend from the
// relocation alone. Moves every field's value into its relocation's addend (less 4 for
// R_X86_64_PC32: COFF counts from the end of the field, ELF from its start) and clears the
// field, in place. Returns false when the file is no ELF64 object or holds a relocation type
// that FASM's COFF output does not produce.
bool moveAddendsIntoRelocations(const std::filesystem::path& elfObject);

}  // namespace brisko::testsupport
