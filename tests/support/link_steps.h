// Steps shared by the 32-bit and the 64-bit link helpers (run_x86.cc, run_x64.cc): converting
// COFF inputs to ELF, compiling the harness with its stubs, linking and running the program.
#pragma once

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "run_x86.h"

namespace brisko::testsupport::detail {

// The folder of the harness headers and stub sources.
const char* supportDir();

bool writeText(const std::filesystem::path& path, const std::string& text);
std::string readFile(const std::filesystem::path& path);

// A little-endian value at the offset of a file's data; the caller checks the bounds.
template <typename T>
T readValue(const std::string& data, std::size_t offset) {
  T value{};
  std::memcpy(&value, data.data() + offset, sizeof(T));
  return value;
}

// Converts one COFF object (an input or a member extracted from one) into an ELF object; on
// failure says why in log.
using ObjectConverter = std::function<bool(const std::filesystem::path& coff,
                                           const std::filesystem::path& elf, std::string& log)>;

// Converts every input into ELF in the folder: objects one by one, archives member by member
// into an ELF archive, so that the linker still takes from it only the members it needs.
bool convertInputs(const std::vector<std::filesystem::path>& inputs,
                   const std::filesystem::path& folder, const ObjectConverter& convert,
                   std::vector<std::filesystem::path>& converted, std::string& log);

// How a harness becomes a program on one target.
struct ProgramRecipe {
  std::string compile;       // the compiler and its options (the support folder and "-c" follow)
  std::string stubs;         // the stubs source of the support folder
  std::string extension;     // of the objects the compiler writes
  std::string link;          // the linker and its options, up to the output file's name
  std::string program;       // the output file's name
  bool quietLinker = false;  // any output of the linker (a warning too) fails the link
};

// Compiles the harness source and the stubs into folder and links them with the inputs into
// folder/<program> (harness, inputs, stubs, in that order). False, with log saying why, when a
// step fails; log holds the linker's output otherwise.
bool buildProgram(const ProgramRecipe& recipe, const std::string& harnessSource,
                  const std::filesystem::path& folder,
                  const std::vector<std::filesystem::path>& inputs, std::string& log);

// buildProgram into the folder (made first), as a link check: whether the program linked, and
// the log.
LinkCheck checkLink(const ProgramRecipe& recipe, const std::string& harnessSource,
                    const std::filesystem::path& folder,
                    const std::vector<std::filesystem::path>& inputs);

// Runs folder/program, behind the runner prefix ("" runs it natively), with a time limit and
// fills in the exit code and the output.
void runLinkedProgram(const std::string& runner, const std::filesystem::path& folder, X86Run& run);

}  // namespace brisko::testsupport::detail
