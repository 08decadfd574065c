#include "link_steps.h"

#include <cstring>
#include <fstream>
#include <sstream>

#ifndef BRISKO_TEST_SUPPORT_DIR
#error "BRISKO_TEST_SUPPORT_DIR must name the folder of the harness files"
#endif

namespace brisko::testsupport::detail {
namespace fs = std::filesystem;
namespace {

bool isArchive(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[8] = {};
  in.read(magic, 8);
  return in && std::memcmp(magic, "!<arch>\n", 8) == 0;
}

}  // namespace

const char* supportDir() {
  return BRISKO_TEST_SUPPORT_DIR;
}

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

bool convertInputs(const std::vector<fs::path>& inputs, const fs::path& folder,
                   const ObjectConverter& convert, std::vector<fs::path>& converted,
                   std::string& log) {
  int counter = 0;
  for (const fs::path& input : inputs) {
    const std::string stem = std::to_string(++counter) + "_" + input.stem().string();
    if (!isArchive(input)) {
      const fs::path elf = folder / (stem + ".o");
      if (!convert(input, elf, log)) return false;
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
      if (!convert(entry.path(), elf, log)) return false;
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

bool compileHarness(const std::string& compile, const std::string& harnessSource,
                    const std::string& stubsFile, const fs::path& folder,
                    const std::string& extension, std::string& log) {
  const fs::path harness = folder / "harness.c";
  writeText(harness, harnessSource);
  for (const auto& [source, object] :
       {std::pair{harness, folder / ("harness" + extension)},
        std::pair{fs::path(supportDir()) / stubsFile, folder / ("stubs" + extension)}}) {
    const CommandResult compiled =
        runCommand(compile + shellQuote(source.string()) + " -o " + shellQuote(object.string()));
    if (compiled.exitCode != 0) {
      log = "compiling failed for " + source.string() + ":\n" + compiled.output;
      return false;
    }
  }
  return true;
}

CommandResult linkProgram(const std::string& command, const fs::path& folder,
                          const std::string& extension, const std::vector<fs::path>& inputs) {
  std::string link = command + " " + shellQuote((folder / ("harness" + extension)).string());
  for (const fs::path& input : inputs) link += " " + shellQuote(input.string());
  link += " " + shellQuote((folder / ("stubs" + extension)).string());
  return runCommand(link);
}

void runLinkedProgram(const std::string& runner, const fs::path& folder, X86Run& run) {
  const fs::path stdoutFile = folder / "stdout.txt";
  const CommandResult ran =
      runCommand("timeout 20 " + runner + shellQuote((folder / "program").string()) + " > " +
                 shellQuote(stdoutFile.string()));
  run.exitCode = ran.exitCode;
  run.log = ran.output;
  run.output = readFile(stdoutFile);
}

}  // namespace brisko::testsupport::detail
