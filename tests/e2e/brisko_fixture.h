// Running the built brisko from end-to-end tests, pointed at the stand-in installation.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "run_program.h"

namespace brisko::e2e {

// The BRISKO_PB_COMMAND value for the stand-in installation of this build.
inline std::string installationCommand() {
  std::string command =
      testsupport::readFileText(std::string(BRISKO_INSTALLATION) + "/brisko_pb_command.txt");
  while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
  return command;
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
