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
    namespace fs = std::filesystem;
    const fs::path original(BRISKO_INSTALLATION);
    const fs::path copy = work.file("pb-" + program);
    fs::remove_all(copy);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(original)) {
      const fs::path target = copy / fs::relative(entry.path(), original);
      if (entry.is_directory()) {
        fs::create_directories(target);
      } else {
        fs::create_symlink(entry.path(), target);
      }
    }
    const fs::path replaced = copy / "compilers" / program;
    fs::remove(replaced);
    std::ofstream(replaced, std::ios::binary) << "#!/bin/sh\n" << script << "\n";
    fs::permissions(replaced, fs::perms::owner_all, fs::perm_options::add);
    return copy.string();
  }

  testsupport::ScratchFolder work;
  testsupport::ScratchFolder temp;
};

}  // namespace brisko::e2e
