#include "run_x86.h"

#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef BRISKO_TEST_SUPPORT_DIR
#error "BRISKO_TEST_SUPPORT_DIR must name the folder of the harness files"
#endif

namespace brisko::testsupport {
namespace fs = std::filesystem;
namespace {

const char* const kSupportDir = BRISKO_TEST_SUPPORT_DIR;

bool writeText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool isArchive(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[8] = {};
  in.read(magic, 8);
  return in && std::memcmp(magic, "!<arch>\n", 8) == 0;
}

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

// Converts every input into ELF in the folder: objects one by one, archives member by member
// into an ELF archive, so that the linker still takes from it only the members it needs.
bool convertInputs(const std::vector<fs::path>& inputs, const fs::path& folder,
                   std::vector<fs::path>& converted, std::string& log) {
  int counter = 0;
  for (const fs::path& input : inputs) {
    const std::string stem = std::to_string(++counter) + "_" + input.stem().string();
    if (!isArchive(input)) {
      const fs::path elf = folder / (stem + ".o");
      if (!convertObject(input, elf, log)) return false;
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
      if (!convertObject(entry.path(), elf, log)) return false;
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

template <typename T>
T readValue(const std::string& data, std::size_t offset) {
  T value{};
  std::memcpy(&value, data.data() + offset, sizeof(T));
  return value;
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

// Compiles the harness source and the stubs with the compile command (which ends in "-c ")
// into folder/harness<extension> and folder/stubs<extension>.
static bool compileHarness(const std::string& compile, const std::string& harnessSource,
                           const fs::path& folder, const std::string& extension, std::string& log) {
  const fs::path harness = folder / "harness.c";
  writeText(harness, harnessSource);
  for (const auto& [source, object] :
       {std::pair{harness, folder / ("harness" + extension)},
        std::pair{fs::path(kSupportDir) / "x86_stubs.c", folder / ("stubs" + extension)}}) {
    const CommandResult compiled =
        runCommand(compile + shellQuote(source.string()) + " -o " + shellQuote(object.string()));
    if (compiled.exitCode != 0) {
      log = "compiling failed for " + source.string() + ":\n" + compiled.output;
      return false;
    }
  }
  return true;
}

X86Run linkAndRun(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                  const fs::path& workFolder) {
  X86Run run;
  const fs::path folder = workFolder / "elf";
  fs::create_directories(folder);
  std::vector<fs::path> converted;
  if (!convertInputs(inputs, folder, converted, run.log)) return run;

  const std::string compile =
      "clang -m32 -ffreestanding -nostdlib -fno-pic -fno-stack-protector "
      "-fno-builtin -O1 -I" +
      shellQuote(kSupportDir) + " -c ";
  if (!compileHarness(compile, harnessSource, folder, ".o", run.log)) return run;
  std::string link = "ld.lld -m elf_i386 -static -e harness_entry -o " +
                     shellQuote((folder / "program").string()) + " " +
                     shellQuote((folder / "harness.o").string());
  for (const fs::path& object : converted) link += " " + shellQuote(object.string());
  link += " " + shellQuote((folder / "stubs.o").string());
  const CommandResult linked = runCommand(link);
  if (linked.exitCode != 0) {
    run.log = "ld.lld failed:\n" + linked.output;
    return run;
  }
  run.linked = true;
  const fs::path stdoutFile = folder / "stdout.txt";
  const CommandResult ran =
      runCommand("timeout 20 qemu-i386 " + shellQuote((folder / "program").string()) + " > " +
                 shellQuote(stdoutFile.string()));
  run.exitCode = ran.exitCode;
  run.log = ran.output;
  run.output = readFile(stdoutFile);
  return run;
}

LinkCheck linkForWindows(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                         const fs::path& workFolder) {
  LinkCheck check;
  const fs::path folder = workFolder / "win32";
  fs::create_directories(folder);
  const std::string compile =
      "clang --target=i686-pc-windows-msvc -ffreestanding -fno-builtin "
      "-fno-stack-protector -O1 -I" +
      shellQuote(kSupportDir) + " -c ";
  if (!compileHarness(compile, harnessSource, folder, ".obj", check.log)) return check;
  std::string link =
      "lld-link /nologo /machine:x86 /safeseh:no /entry:harness_entry "
      "/subsystem:console /nodefaultlib /out:" +
      shellQuote((folder / "program.exe").string()) + " " +
      shellQuote((folder / "harness.obj").string());
  for (const fs::path& input : inputs) link += " " + shellQuote(input.string());
  link += " " + shellQuote((folder / "stubs.obj").string());
  const CommandResult linked = runCommand(link);
  check.log = linked.output;
  check.linked = linked.exitCode == 0 && fs::exists(folder / "program.exe");
  return check;
}

LinkCheck linkWithMinGW(const std::vector<fs::path>& inputs, const std::string& harnessSource,
                        const fs::path& workFolder) {
  LinkCheck check;
  const fs::path folder = workFolder / "mingw";
  fs::create_directories(folder);
  const std::string compile =
      "i686-w64-mingw32-gcc -ffreestanding -fno-builtin -fno-stack-protector -O1 -I" +
      shellQuote(kSupportDir) + " -c ";
  if (!compileHarness(compile, harnessSource, folder, ".o", check.log)) return check;
  // C names carry a leading underscore on 32-bit Windows, the entry point's too.
  std::string link = "i686-w64-mingw32-ld -nostdlib --subsystem console -e _harness_entry -o " +
                     shellQuote((folder / "program.exe").string()) + " " +
                     shellQuote((folder / "harness.o").string());
  for (const fs::path& input : inputs) link += " " + shellQuote(input.string());
  link += " " + shellQuote((folder / "stubs.o").string());
  const CommandResult linked = runCommand(link);
  check.log = linked.output;
  check.linked =
      linked.exitCode == 0 && linked.output.empty() && fs::exists(folder / "program.exe");
  return check;
}

}  // namespace brisko::testsupport
