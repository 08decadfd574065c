// Running the built brisko from end-to-end tests, pointed at the stand-in installation.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "run_program.h"
#include "run_x86.h"

namespace brisko::e2e {

// The BRISKO_PB_COMMAND value for the stand-in installation of this build.
inline std::string installationCommand() {
  std::string command =
      testsupport::readFileText(std::string(BRISKO_INSTALLATION) + "/brisko_pb_command.txt");
  while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
  return command;
}

// The symbols an object or library defines and makes visible to other objects.
inline std::set<std::string> definedSymbols(const std::filesystem::path& file) {
  const testsupport::CommandResult listed =
      testsupport::runCommand("llvm-nm --defined-only --extern-only --just-symbol-name " +
                              testsupport::shellQuote(file.string()));
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  std::set<std::string> symbols;
  std::istringstream lines(listed.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() != ':') symbols.insert(line);  // skip member headings
  }
  return symbols;
}

inline std::vector<std::string> archiveMembers(const std::filesystem::path& library) {
  const testsupport::CommandResult listed =
      testsupport::runCommand("llvm-ar t " + testsupport::shellQuote(library.string()));
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  std::vector<std::string> members;
  std::istringstream lines(listed.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) members.push_back(line);
  }
  std::sort(members.begin(), members.end());
  return members;
}

inline std::vector<std::string> folderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  if (!std::filesystem::is_directory(folder)) return names;
  for (const std::filesystem::directory_entry& entry :
       std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The members of a library with their bytes, FASM's time stamp in each COFF header blanked.
inline std::map<std::string, std::string> memberBytes(const std::filesystem::path& library,
                                                      const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const testsupport::CommandResult extracted =
      testsupport::runCommand("cd " + testsupport::shellQuote(folder.string()) + " && llvm-ar x " +
                              testsupport::shellQuote(library.string()));
  EXPECT_EQ(extracted.exitCode, 0) << extracted.output;
  std::map<std::string, std::string> members;
  for (const std::filesystem::directory_entry& entry :
       std::filesystem::directory_iterator(folder)) {
    std::string bytes = testsupport::readFileText(entry.path().string());
    if (bytes.size() >= 8) bytes.replace(4, 4, 4, '\0');
    members[entry.path().filename().string()] = bytes;
  }
  return members;
}

// Runs brisko in a scratch folder with a private temporary folder.
class BriskoTest : public ::testing::Test {
 protected:
  testsupport::ProgramResult brisko(const std::vector<std::string>& arguments,
                                    std::map<std::string, std::string> environment = {}) {
    environment.emplace("BRISKO_PB_COMMAND", installationCommand());
    environment.emplace("TMPDIR", temp.path());
    return testsupport::runProgram(BRISKO_EXE, arguments, work.path(), environment);
  }

  // A copy of the stand-in installation, its files linked rather than copied, in which the
  // program compilers/<program> is replaced by a shell script.
  std::string installationWith(const std::string& program, const std::string& script) {
    const std::filesystem::path copy = installationCopy("pb-" + program);
    const std::filesystem::path replaced = copy / "compilers" / program;
    std::filesystem::remove(replaced);
    std::ofstream(replaced, std::ios::binary) << "#!/bin/sh\n" << script << "\n";
    std::filesystem::permissions(replaced, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
    return copy.string();
  }

  // A copy of the stand-in installation whose compiler writes the listing layout named
  // ("macros", "after-bss", "after-end-code"; "classic" is the installation itself), or, for
  // "x64", x64 listings (of the after-end-code layout).
  std::string installationWithLayout(const std::string& layout) {
    if (layout == "classic") return BRISKO_INSTALLATION;
    const std::filesystem::path copy = installationCopy("pb-" + layout);
    // The compiler finds its setting beside its own file, which a link would resolve to the
    // original installation's folder.
    const std::filesystem::path compiler = copy / "compilers" / "PBcompiler.exe";
    std::filesystem::remove(compiler);
    std::filesystem::copy_file(std::string(BRISKO_INSTALLATION) + "/compilers/PBcompiler.exe",
                               compiler);
    std::ofstream(copy / "compilers" / (layout == "x64" ? "target.txt" : "listing-layout.txt"),
                  std::ios::binary)
        << layout << "\r\n";
    return copy.string();
  }

 private:
  std::filesystem::path installationCopy(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path original(BRISKO_INSTALLATION);
    const fs::path copy = work.file(name);
    fs::remove_all(copy);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(original)) {
      const fs::path target = copy / fs::relative(entry.path(), original);
      if (entry.is_directory()) {
        fs::create_directories(target);
      } else {
        fs::create_symlink(entry.path(), target);
      }
    }
    return copy;
  }

 protected:
  testsupport::ScratchFolder work;
  testsupport::ScratchFolder temp;
};

}  // namespace brisko::e2e
