// The installation folder as a whole, and the open-command value that points brisko at it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tool_runner.h"

namespace brisko::standin_test {
namespace {

namespace fs = std::filesystem;

// Field n of the value cut at every double quote, as the installation discovery numbers them.
std::string field(const std::string& value, std::size_t n) {
  std::size_t start = 0;
  for (std::size_t i = 1; i < n; ++i) {
    start = value.find('"', start);
    if (start == std::string::npos) return "";
    ++start;
  }
  const std::size_t end = value.find('"', start);
  return value.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST(InstallationLayoutTest, HoldsTheProgramsAndLibraryFolders) {
  for (const char* program :
       {"compilers/fasm.exe", "compilers/polib.exe", "compilers/PBcompiler.exe"}) {
    EXPECT_EQ(access(installationPath(program).c_str(), X_OK), 0) << program;
  }
  for (const char* folder : {"PureLibraries", "PureLibraries/UserLibraries",
                             "PureLibraries/Windows", "Compilers", "Preferences"}) {
    EXPECT_TRUE(fs::is_directory(installationPath(folder))) << folder;
  }
}

TEST(InstallationLayoutTest, CommandValueNamesTheIdeAndTheToolsFile) {
  std::ifstream in(installationPath("brisko_pb_command.txt"));
  std::string value;
  ASSERT_TRUE(std::getline(in, value));
  const std::string ide = field(value, 2);
  const std::string tools = field(value, 10);
  EXPECT_EQ(fs::path(ide).parent_path(), fs::path(installationPath()));
  EXPECT_TRUE(fs::is_regular_file(ide)) << ide;
  EXPECT_EQ(tools, installationPath("Preferences/Tools.prefs"));
  EXPECT_EQ(field(value, 4), "%1");
  EXPECT_EQ(field(value, 6), "");
  EXPECT_EQ(field(value, 8), "");
  EXPECT_EQ(field(value, 11), "");  // nothing after the fifth quoted item
}

}  // namespace
}  // namespace brisko::standin_test
