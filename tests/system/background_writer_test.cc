// Files stored on the writer's thread (real disk) and on the caller's thread (in memory): the
// same outcomes, in the order the files were handed over.
#include "platform/background_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "memory_file_system.h"
#include "platform/system_file_system.h"
#include "run_program.h"

namespace brisko::platform {
namespace {

namespace fs = std::filesystem;

// Hands over 40 files, the 25th into a folder that does not exist, with four in flight at
// most; returns the outcomes as collected.
std::vector<bool> storeForty(FileSystem& files, const std::string& folder) {
  BackgroundWriter writer(files, 4);
  std::vector<bool> outcomes;
  for (int i = 0; i < 40; ++i) {
    if (writer.full()) outcomes.push_back(writer.collectOldest());
    std::string bytes = writer.takeBuffer();
    bytes.assign(static_cast<std::size_t>(1000 + i), static_cast<char>('a' + i % 26));
    const std::string name = i == 24 ? "missing/f24" : "f" + std::to_string(i);
    writer.store(folder + name, std::move(bytes));
  }
  while (writer.inFlight() > 0) outcomes.push_back(writer.collectOldest());
  return outcomes;
}

TEST(BackgroundWriter, StoresInOrderAndReportsEachOutcome) {
  const testsupport::ScratchFolder scratch;
  const fs::path folder = scratch.path();
  auto disk = makeSystemFileSystem();
  MemoryFileSystem memory;
  memory.addFolder("/m");
  std::vector<bool> expected(40, true);
  expected[24] = false;
  EXPECT_EQ(storeForty(*disk, folder.string() + "/"), expected);
  EXPECT_EQ(storeForty(memory, "/m/"), expected);
  EXPECT_EQ(fs::file_size(folder / "f39"), 1039u);
  EXPECT_EQ(memory.readFile("/m/f7"), std::string(1007, 'h'));

  // Files after a failure can be taken back: the ones in flight are deleted once stored.
  BackgroundWriter writer(*disk, 8);
  writer.store((folder / "missing" / "x").string(), "x");
  for (int i = 0; i < 5; ++i) writer.store((folder / ("later" + std::to_string(i))).string(), "y");
  EXPECT_FALSE(writer.collectOldest());
  writer.discardAll();
  EXPECT_EQ(writer.inFlight(), 0u);
  EXPECT_FALSE(fs::exists(folder / "later4"));
}

}  // namespace
}  // namespace brisko::platform
