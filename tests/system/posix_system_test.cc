// The POSIX temporary folder and environment.
#ifndef _WIN32
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/system.h"
#include "run_program.h"

namespace brisko::platform {
namespace {

namespace fs = std::filesystem;

class ScopedTmpDir {
 public:
  explicit ScopedTmpDir(const std::string& value) {
    const char* old = std::getenv("TMPDIR");
    if (old != nullptr) old_ = old;
    ::setenv("TMPDIR", value.c_str(), 1);
  }
  ~ScopedTmpDir() {
    if (old_.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", old_.c_str(), 1);
    }
  }

 private:
  std::string old_;
};

TEST(PosixTempFolder, IsPrivateToTheProcessAndRemovedWithItsContent) {
  const testsupport::ScratchFolder scratch;
  const fs::path base = scratch.path();
  ScopedTmpDir tmpdir(base.string());

  std::string path;
  {
    auto temp = makeSystemTempFolder();
    path = temp->path();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.back(), '/');
    EXPECT_EQ(path.rfind(base.string() + "/brisko-", 0), 0u) << path;
    EXPECT_EQ(temp->path(), path);  // created once
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A link left in the folder is removed, not followed.
    std::ofstream(base / "outside.txt") << "keep";
    fs::create_symlink(base / "outside.txt", path + "English.lan");
    fs::create_directories(path + "sub");
    std::ofstream(path + "sub/file") << "x";
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::exists(base / "outside.txt"));
}

TEST(PosixEnvironment, CurrentFolderAndExecutable) {
  auto environment = makeSystemEnvironment();
  EXPECT_EQ(environment->currentFolder(), fs::current_path().string() + "/");
  EXPECT_TRUE(fs::exists(environment->executablePath()));
  EXPECT_EQ(environment->variable("BRISKO_SURELY_UNSET_VARIABLE"), std::nullopt);
}

}  // namespace
}  // namespace brisko::platform
#endif
