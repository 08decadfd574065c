#include "run_x86.h"

#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "run_program.h"

#ifndef BRISKO_TEST_SUPPORT_DIR
#error "BRISKO_TEST_SUPPORT_DIR must name the folder of the harness files"
#endif

namespace brisko::testsupport {
namespace fs = std::filesystem;
namespace {

// A little-endian value at the offset of a file's data; the caller checks the bounds.
template <typename T>
T readValue(const std::string& data, std::size_t offset) {
  T value{};
  std::memcpy(&value, data.data() + offset, sizeof(T));
  return value;
}

// Whether the data starts with an ELF header of the class (1: 32-bit, 2: 64-bit) and size.
bool isElf(const std::string& data, std::size_t headerSize, char elfClass) {
  return data.size() >= headerSize && data.starts_with("\177ELF") && data[4] == elfClass;
}

// objcopy leaves the addend of converted PC-relative relocations as COFF stores it (relative
// to the end of the field); ELF counts from the start of the field. Subtracts 4 from every
// R_386_PC32 addend of an ELF32 object in place. Returns false when the file is no ELF32 object.
bool fixPcRelativeAddends(const fs::path& elfObject) {
  std::string data = readFileText(elfObject.string());
  if (!isElf(data, 52, 1)) return false;
  const auto sectionOffset = readValue<std::uint32_t>(data, 32);
  const auto entrySize = readValue<std::uint16_t>(data, 46);
  const auto sectionCount = readValue<std::uint16_t>(data, 48);
  if (sectionOffset + std::size_t{entrySize} * sectionCount > data.size()) return false;
  auto header = [&](std::size_t index) { return sectionOffset + index * entrySize; };
  constexpr std::uint32_t kRel = 9;
  constexpr std::uint8_t kPc32 = 2;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    if (readValue<std::uint32_t>(data, header(i) + 4) != kRel) continue;
    const auto relOffset = readValue<std::uint32_t>(data, header(i) + 16);
    const auto relSize = readValue<std::uint32_t>(data, header(i) + 20);
    const auto target = readValue<std::uint32_t>(data, header(i) + 28);  // sh_info
    const auto targetOffset = readValue<std::uint32_t>(data, header(target) + 16);
    for (std::uint32_t r = 0; r + 8 <= relSize; r += 8) {
      const auto where = readValue<std::uint32_t>(data, relOffset + r);
      const auto info = readValue<std::uint32_t>(data, relOffset + r + 4);
      if ((info & 0xff) != kPc32) continue;
      const std::size_t at = targetOffset + where;
      if (at + 4 > data.size()) return false;
      const std::int32_t addend = readValue<std::int32_t>(data, at) - 4;
      std::memcpy(data.data() + at, &addend, 4);
    }
  }
  return writeText(elfObject, data);
}

// COFF keeps the addend of a relocation in the field it patches; objcopy copies the field but
// writes ELF64 relocations with an addend of 0, and ELF64 linkers take the addend from the
// relocation alone. Moves every field's value into its relocation's addend (less 4 for
// R_X86_64_PC32: COFF counts from the end of the field, ELF from its start) and clears the
// field, in place. Returns false when the file is no ELF64 object or holds a relocation type
// that FASM's COFF output does not produce.
bool moveAddendsIntoRelocations(const fs::path& elfObject) {
  std::string data = readFileText(elfObject.string());
  if (!isElf(data, 64, 2)) return false;
  const auto sectionOffset = readValue<std::uint64_t>(data, 0x28);
  const auto entrySize = readValue<std::uint16_t>(data, 0x3A);
  const auto sectionCount = readValue<std::uint16_t>(data, 0x3C);
  if (entrySize < 64 || sectionOffset > data.size() ||
      std::size_t{entrySize} * sectionCount > data.size() - sectionOffset)
    return false;
  auto header = [&](std::size_t index) { return sectionOffset + index * entrySize; };
  constexpr std::uint32_t kRela = 4;
  constexpr std::uint32_t k64 = 1, kPc32 = 2, k32 = 10, k32S = 11;
  constexpr std::size_t kRelaSize = 24;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    if (readValue<std::uint32_t>(data, header(i) + 4) != kRela) continue;
    const auto relaOffset = readValue<std::uint64_t>(data, header(i) + 0x18);
    const auto relaSize = readValue<std::uint64_t>(data, header(i) + 0x20);
    const auto target = readValue<std::uint32_t>(data, header(i) + 0x2C);  // sh_info
    if (target >= sectionCount || relaOffset > data.size() || relaSize > data.size() - relaOffset)
      return false;
    const auto targetOffset = readValue<std::uint64_t>(data, header(target) + 0x18);
    for (std::uint64_t r = 0; r + kRelaSize <= relaSize; r += kRelaSize) {
      const std::size_t entry = relaOffset + r;
      const auto where = readValue<std::uint64_t>(data, entry);
      const auto type = static_cast<std::uint32_t>(readValue<std::uint64_t>(data, entry + 8));
      const std::size_t width = type == k64 ? 8 : 4;
      const std::size_t at = targetOffset + where;
      if (at + width > data.size()) return false;
      std::int64_t inPlace = 0;
      switch (type) {
        case k64:
          inPlace = readValue<std::int64_t>(data, at);
          break;
        case kPc32:
          inPlace = std::int64_t{readValue<std::int32_t>(data, at)} - 4;
          break;
        case k32:
          inPlace = std::int64_t{readValue<std::uint32_t>(data, at)};
          break;
        case k32S:
          inPlace = std::int64_t{readValue<std::int32_t>(data, at)};
          break;
        default:
          return false;
      }
      const std::int64_t addend = readValue<std::int64_t>(data, entry + 16) + inPlace;
      std::memcpy(data.data() + entry + 16, &addend, 8);
      std::memset(data.data() + at, 0, width);
    }
  }
  return writeText(elfObject, data);
}

// How a harness becomes a program of one target with one tool set.
struct ProgramRecipe {
  std::string folder;        // below the work folder
  std::string compile;       // the compiler and its options (the support folder and "-c" follow)
  std::string extension;     // of the objects the compiler writes
  std::string link;          // the linker and its options, up to the output file's name
  std::string program;       // the output file's name
  bool quietLinker = false;  // any output of the linker (a warning too) fails the link
};

// What differs between the targets: how their COFF objects become ELF objects, the stubs the
// harness is linked with, and the three ways of building the program.
struct TargetTools {
  std::string objcopyFormats;
  bool (*repairRelocations)(const fs::path& elfObject);
  std::string stubs;   // the stubs source of the support folder
  std::string runner;  // the prefix that runs the ELF program ("" runs it natively)
  ProgramRecipe elf;
  ProgramRecipe lldLink;
  ProgramRecipe minGW;
};

const TargetTools& toolsFor(Target target) {
  static const TargetTools x86{
      "-I pe-i386 -O elf32-i386",
      fixPcRelativeAddends,
      "x86_stubs.c",
      "qemu-i386 ",
      {"elf", "clang -m32 -ffreestanding -nostdlib -fno-pic -fno-stack-protector -fno-builtin -O1",
       ".o", "ld.lld -m elf_i386 -static -e harness_entry -o ", "program"},
      {"win32",
       "clang --target=i686-pc-windows-msvc -ffreestanding -fno-builtin -fno-stack-protector -O1",
       ".obj",
       "lld-link /nologo /machine:x86 /safeseh:no /entry:harness_entry /subsystem:console "
       "/nodefaultlib /out:",
       "program.exe"},
      // C names carry a leading underscore on 32-bit Windows, the entry point's too.
      {"mingw", "i686-w64-mingw32-gcc -ffreestanding -fno-builtin -fno-stack-protector -O1", ".o",
       "i686-w64-mingw32-ld -nostdlib --subsystem console -e _harness_entry -o ", "program.exe",
       true}};
  static const TargetTools x64{
      "-I pe-x86-64 -O elf64-x86-64",
      moveAddendsIntoRelocations,
      "x64_stubs.c",
      "",
      // Not position independent: FASM's code may use 32-bit absolute addresses, which a static
      // program linked at ld.lld's default base reaches.
      {"elf64",
       "clang --target=x86_64-linux-gnu -ffreestanding -nostdlib -fno-pic -fno-stack-protector "
       "-fno-builtin -O1",
       ".o", "ld.lld -m elf_x86_64 -static -e harness_entry -o ", "program"},
      {"win64",
       "clang --target=x86_64-pc-windows-msvc -ffreestanding -fno-builtin -fno-stack-protector "
       "-O1",
       ".obj",
       "lld-link /nologo /machine:x64 /entry:harness_entry /subsystem:console /nodefaultlib /out:",
       "program.exe"},
      // 64-bit Windows names carry no leading underscore.
      {"mingw64", "x86_64-w64-mingw32-gcc -ffreestanding -fno-builtin -fno-stack-protector -O1",
       ".o", "x86_64-w64-mingw32-ld -nostdlib --subsystem console -e harness_entry -o ",
       "program.exe", true}};
  return target == Target::x64 ? x64 : x86;
}

// Converts one COFF object (an input or a member extracted from one) into an ELF object whose
// relocations an ELF linker reads as the COFF ones; on failure says why in log.
bool convertObject(const TargetTools& tools, const fs::path& coff, const fs::path& elf,
                   std::string& log) {
  const CommandResult converted =
      runCommand("objcopy " + tools.objcopyFormats + " " + shellQuote(coff.string()) + " " +
                 shellQuote(elf.string()));
  if (converted.exitCode != 0) {
    log = "objcopy failed for " + coff.string() + ":\n" + converted.output;
    return false;
  }
  if (!tools.repairRelocations(elf)) {
    log = "not an ELF object with the relocations of FASM code after conversion: " + elf.string() +
          " (from " + coff.string() + ")";
    return false;
  }
  return true;
}

bool isArchive(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[8] = {};
  in.read(magic, 8);
  return in && std::memcmp(magic, "!<arch>\n", 8) == 0;
}

// Converts every input into ELF in the folder: objects one by one, archives member by member
// into an ELF archive, so that the linker still takes from it only the members it needs.
bool convertInputs(const TargetTools& tools, const std::vector<fs::path>& inputs,
                   const fs::path& folder, std::vector<fs::path>& converted, std::string& log) {
  int counter = 0;
  for (const fs::path& input : inputs) {
    const std::string stem = std::to_string(++counter) + "_" + input.stem().string();
    if (!isArchive(input)) {
      const fs::path elf = folder / (stem + ".o");
      if (!convertObject(tools, input, elf, log)) return false;
      converted.push_back(elf);
      continue;
    }
    const fs::path members = folder / (stem + "_members");
    fs::create_directories(members);
    const CommandResult extracted =
        runCommand("cd " + shellQuote(members.string()) + " && llvm-ar x " +
                   shellQuote(fs::absolute(input).string()));
    if (extracted.exitCode != 0) {
      log = "llvm-ar could not extract " + input.string() + ":\n" + extracted.output;
      return false;
    }
    std::string objects;
    for (const fs::directory_entry& entry : fs::directory_iterator(members)) {
      if (entry.path().extension() == ".o") continue;
      const fs::path elf = entry.path().string() + ".o";
      if (!convertObject(tools, entry.path(), elf, log)) return false;
      objects += " " + shellQuote(elf.string());
    }
    const fs::path archive = folder / (stem + ".a");
    const CommandResult packed =
        runCommand("llvm-ar rcs " + shellQuote(archive.string()) + objects);
    if (packed.exitCode != 0) {
      log = "llvm-ar could not pack " + archive.string() + ":\n" + packed.output;
      return false;
    }
    converted.push_back(archive);
  }
  return true;
}

// Compiles the harness source and the target's stubs into folder and links them with the inputs
// into folder/<program> (harness, inputs, stubs, in that order), with the options added. False,
// with log saying why, when a step fails; log holds the linker's output otherwise.
bool buildProgram(const TargetTools& tools, const ProgramRecipe& recipe,
                  const std::string& harnessSource, const fs::path& folder,
                  const std::vector<fs::path>& inputs, std::string& log,
                  const BuildOptions& options) {
  const std::string compile =
      recipe.compile + " " + options.compile + " -I" + shellQuote(BRISKO_TEST_SUPPORT_DIR) + " -c ";
  const fs::path harness = folder / "harness.c";
  const fs::path harnessObject = folder / ("harness" + recipe.extension);
  const fs::path stubsObject = folder / ("stubs" + recipe.extension);
  writeText(harness, harnessSource);
  for (const auto& [source, object] :
       {std::pair{harness, harnessObject},
        std::pair{fs::path(BRISKO_TEST_SUPPORT_DIR) / tools.stubs, stubsObject}}) {
    const CommandResult compiled =
        runCommand(compile + shellQuote(source.string()) + " -o " + shellQuote(object.string()));
    if (compiled.exitCode != 0) {
      log = "compiling failed for " + source.string() + ":\n" + compiled.output;
      return false;
    }
  }
  const fs::path program = folder / recipe.program;
  std::string link =
      recipe.link + shellQuote(program.string()) + " " + shellQuote(harnessObject.string());
  for (const fs::path& input : inputs) link += " " + shellQuote(input.string());
  link += " " + shellQuote(stubsObject.string()) + " " + options.link;
  const CommandResult linked = runCommand(link);
  log = linked.output;
  return linked.exitCode == 0 && fs::exists(program) &&
         (!recipe.quietLinker || linked.output.empty());
}

// Links the inputs, as they are, into a Windows program of the target: whether that succeeded,
// and the log.
LinkCheck checkLink(Target target, const ProgramRecipe TargetTools::*recipe,
                    const std::vector<fs::path>& inputs, const std::string& harnessSource,
                    const fs::path& workFolder, const BuildOptions& options) {
  const TargetTools& tools = toolsFor(target);
  const fs::path folder = workFolder / (tools.*recipe).folder;
  fs::create_directories(folder);
  LinkCheck check;
  check.linked =
      buildProgram(tools, tools.*recipe, harnessSource, folder, inputs, check.log, options);
  return check;
}

}  // namespace

CommandResult runCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(("(" + command + ") 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    result.output.append(buffer.data(), n);
  }
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

fs::path makeTempFolder(const std::string& stem) {
  static std::atomic<int> counter{0};
  const fs::path folder = fs::temp_directory_path() /
                          (stem + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

bool writeText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

bool assembleFasm(const fs::path& source, const fs::path& object, std::string* log) {
  const CommandResult result = runCommand(
      "cd " + shellQuote(source.parent_path().string()) + " && qemu-i386 /usr/bin/fasm " +
      shellQuote(source.string()) + " " + shellQuote(object.string()));
  if (log != nullptr) *log = result.output;
  return result.exitCode == 0 && fs::exists(object);
}

X86Run linkAndRun(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                  const fs::path& workFolder, Target target, const BuildOptions& options) {
  const TargetTools& tools = toolsFor(target);
  X86Run run;
  const fs::path folder = workFolder / tools.elf.folder;
  fs::create_directories(folder);
  std::vector<fs::path> converted;
  if (!convertInputs(tools, inputs, folder, converted, run.log) ||
      !buildProgram(tools, tools.elf, harnessSource, folder, converted, run.log, options)) {
    return run;
  }
  run.linked = true;
  const fs::path stdoutFile = folder / "stdout.txt";
  const CommandResult ran =
      runCommand("timeout 20 " + tools.runner + shellQuote((folder / tools.elf.program).string()) +
                 " > " + shellQuote(stdoutFile.string()));
  run.exitCode = ran.exitCode;
  run.log = ran.output;
  run.output = readFileText(stdoutFile.string());
  return run;
}

LinkCheck linkForWindows(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                         const fs::path& workFolder, Target target, const BuildOptions& options) {
  return checkLink(target, &TargetTools::lldLink, inputs, harnessSource, workFolder, options);
}

LinkCheck linkWithMinGW(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                        const fs::path& workFolder, Target target, const BuildOptions& options) {
  return checkLink(target, &TargetTools::minGW, inputs, harnessSource, workFolder, options);
}

}  // namespace brisko::testsupport
