#include "run_x64.h"

#include <cstdint>
#include <cstring>

#include "link_steps.h"

namespace brisko::testsupport {
namespace fs = std::filesystem;
using detail::readValue;
namespace {

// Converts one COFF object to ELF and carries its addends over into the relocations.
bool convertObject(const fs::path& coff, const fs::path& elf, std::string& log) {
  const CommandResult converted =
      runCommand("objcopy -I pe-x86-64 -O elf64-x86-64 " + shellQuote(coff.string()) + " " +
                 shellQuote(elf.string()));
  if (converted.exitCode != 0) {
    log = "objcopy failed for " + coff.string() + ":\n" + converted.output;
    return false;
  }
  if (!moveAddendsIntoRelocations(elf)) {
    log =
        "not an ELF64 object with the relocations of FASM code after conversion: " + elf.string() +
        " (from " + coff.string() + ")";
    return false;
  }
  return true;
}

}  // namespace

bool moveAddendsIntoRelocations(const fs::path& elfObject) {
  std::string data = detail::readFile(elfObject);
  if (data.size() < 64 ||
      data.compare(0, 4,
                   "\x7f"
                   "ELF") != 0 ||
      data[4] != 2)
    return false;
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
  return detail::writeText(elfObject, data);
}

X86Run linkAndRun64(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                    const fs::path& workFolder) {
  X86Run run;
  const fs::path folder = workFolder / "elf64";
  fs::create_directories(folder);
  std::vector<fs::path> converted;
  if (!detail::convertInputs(inputs, folder, convertObject, converted, run.log)) return run;
  // Not position independent: FASM's code may use 32-bit absolute addresses, which a static
  // program linked at ld.lld's default base reaches.
  const detail::ProgramRecipe recipe{
      "clang --target=x86_64-linux-gnu -ffreestanding -nostdlib -fno-pic -fno-stack-protector "
      "-fno-builtin -O1",
      "x64_stubs.c", ".o", "ld.lld -m elf_x86_64 -static -e harness_entry -o ", "program"};
  if (!detail::buildProgram(recipe, harnessSource, folder, converted, run.log)) return run;
  run.linked = true;
  detail::runLinkedProgram("", folder, run);
  return run;
}

LinkCheck linkForWindows64(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                           const fs::path& workFolder) {
  const detail::ProgramRecipe recipe{
      "clang --target=x86_64-pc-windows-msvc -ffreestanding -fno-builtin -fno-stack-protector -O1",
      "x64_stubs.c", ".obj",
      "lld-link /nologo /machine:x64 /entry:harness_entry /subsystem:console /nodefaultlib /out:",
      "program.exe"};
  return detail::checkLink(recipe, harnessSource, workFolder / "win64", inputs);
}

LinkCheck linkWithMinGW64(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                          const fs::path& workFolder) {
  // 64-bit Windows names carry no leading underscore.
  const detail::ProgramRecipe recipe{
      "x86_64-w64-mingw32-gcc -ffreestanding -fno-builtin -fno-stack-protector -O1",
      "x64_stubs.c",
      ".o",
      "x86_64-w64-mingw32-ld -nostdlib --subsystem console -e harness_entry -o ",
      "program.exe",
      true};
  return detail::checkLink(recipe, harnessSource, workFolder / "mingw64", inputs);
}

}  // namespace brisko::testsupport
