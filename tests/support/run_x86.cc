#include "run_x86.h"

#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "link_steps.h"

namespace brisko::testsupport {
namespace fs = std::filesystem;
using detail::readFile;
using detail::readValue;
using detail::writeText;
namespace {

// Converts one COFF object to ELF and repairs its PC-relative addends.
bool convertObject(const fs::path& coff, const fs::path& elf, std::string& log) {
  const CommandResult converted =
      runCommand("objcopy -I pe-i386 -O elf32-i386 " + shellQuote(coff.string()) + " " +
                 shellQuote(elf.string()));
  if (converted.exitCode != 0) {
    log = "objcopy failed for " + coff.string() + ":\n" + converted.output;
    return false;
  }
  if (!fixPcRelativeAddends(elf)) {
    log = "not an ELF32 object after conversion: " + elf.string();
    return false;
  }
  return true;
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

bool assembleFasm(const fs::path& source, const fs::path& object, std::string* log) {
  const CommandResult result = runCommand(
      "cd " + shellQuote(source.parent_path().string()) + " && qemu-i386 /usr/bin/fasm " +
      shellQuote(source.string()) + " " + shellQuote(object.string()));
  if (log != nullptr) *log = result.output;
  return result.exitCode == 0 && fs::exists(object);
}

bool fixPcRelativeAddends(const fs::path& elfObject) {
  std::string data = readFile(elfObject);
  if (data.size() < 52 ||
      data.compare(0, 4,
                   "\x7f"
                   "ELF") != 0 ||
      data[4] != 1)
    return false;
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

X86Run linkAndRun(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                  const fs::path& workFolder) {
  X86Run run;
  const fs::path folder = workFolder / "elf";
  fs::create_directories(folder);
  std::vector<fs::path> converted;
  if (!detail::convertInputs(inputs, folder, convertObject, converted, run.log)) return run;
  const detail::ProgramRecipe recipe{
      "clang -m32 -ffreestanding -nostdlib -fno-pic -fno-stack-protector -fno-builtin -O1",
      "x86_stubs.c", ".o", "ld.lld -m elf_i386 -static -e harness_entry -o ", "program"};
  if (!detail::buildProgram(recipe, harnessSource, folder, converted, run.log)) return run;
  run.linked = true;
  detail::runLinkedProgram("qemu-i386 ", folder, run);
  return run;
}

LinkCheck linkForWindows(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                         const fs::path& workFolder) {
  const detail::ProgramRecipe recipe{
      "clang --target=i686-pc-windows-msvc -ffreestanding -fno-builtin -fno-stack-protector -O1",
      "x86_stubs.c", ".obj",
      "lld-link /nologo /machine:x86 /safeseh:no /entry:harness_entry /subsystem:console "
      "/nodefaultlib /out:",
      "program.exe"};
  return detail::checkLink(recipe, harnessSource, workFolder / "win32", inputs);
}

LinkCheck linkWithMinGW(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                        const fs::path& workFolder) {
  // C names carry a leading underscore on 32-bit Windows, the entry point's too.
  const detail::ProgramRecipe recipe{
      "i686-w64-mingw32-gcc -ffreestanding -fno-builtin -fno-stack-protector -O1",
      "x86_stubs.c",
      ".o",
      "i686-w64-mingw32-ld -nostdlib --subsystem console -e _harness_entry -o ",
      "program.exe",
      true};
  return detail::checkLink(recipe, harnessSource, workFolder / "mingw", inputs);
}

}  // namespace brisko::testsupport
