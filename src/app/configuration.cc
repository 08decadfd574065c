#include "app/configuration.h"

#include "platform/paths.h"

namespace brisko::app {

ToolchainPaths toolchainPathsFor(const std::string& pbFolder, const std::string& tempFolder) {
  const std::string compilers = std::string("compilers") + platform::kPathSeparator;
  ToolchainPaths paths;
  paths.pbFolder = pbFolder;
  paths.compilerPath = pbFolder + compilers + "PBcompiler.exe";
  paths.fasmPath = pbFolder + compilers + "fasm.exe";
  paths.polibPath = pbFolder + compilers + "polib.exe";
  paths.tempFolder = tempFolder;
  return paths;
}

}  // namespace brisko::app
