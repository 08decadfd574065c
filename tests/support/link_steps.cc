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

bool buildProgram(const ProgramRecipe& recipe, const std::string& harnessSource,
                  const fs::path& folder, const std::vector<fs::path>& inputs, std::string& log) {
  const std::string compile = recipe.compile + " -I" + shellQuote(supportDir()) + " -c ";
  const fs::path harness = folder / "harness.c";
  const fs::path harnessObject = folder / ("harness" + recipe.extension);
  const fs::path stubsObject = folder / ("stubs" + recipe.extension);
  writeText(harness, harnessSource);
  for (const auto& [source, object] :
       {std::pair{harness, harnessObject},
        std::pair{fs::path(supportDir()) / recipe.stubs, stubsObject}}) {
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
  link += " " + shellQuote(stubsObject.string());
  const CommandResult linked = runCommand(link);
  log = linked.output;
  return linked.exitCode == 0 && fs::exists(program) &&
         (!recipe.quietLinker || linked.output.empty());
}

LinkCheck checkLink(const ProgramRecipe& recipe, const std::string& harnessSource,
                    const fs::path& folder, const std::vector<fs::path>& inputs) {
  LinkCheck check;
  fs::create_directories(folder);
  check.linked = buildProgram(recipe, harnessSource, folder, inputs, check.log);
  return check;
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
