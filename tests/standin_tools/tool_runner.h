// Running the stand-in installation's programs from the tests.
#pragma once

#include <string>

#include "run_program.h"

namespace brisko::standin_test {

using testsupport::findProgram;
using testsupport::readBytes;
using testsupport::ScratchFolder;
using ToolResult = testsupport::ProgramResult;

inline ToolResult runTool(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& folder,
                          const std::map<std::string, std::string>& environment = {}) {
  return testsupport::runProgram(program, arguments, folder, environment);
}

// The installation folder laid out by the build, and a path below it.
inline std::string installationPath(const std::string& relative = "") {
  return relative.empty() ? STANDIN_INSTALLATION : STANDIN_INSTALLATION "/" + relative;
}

}  // namespace brisko::standin_test
