// Running the built brisko from end-to-end tests, pointed at the stand-in installation.
#pragma once

#include <gtest/gtest.h>

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

  testsupport::ScratchFolder work;
  testsupport::ScratchFolder temp;
};

}  // namespace brisko::e2e
