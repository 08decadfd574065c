// The program's catalogue scan over the installation folder the build laid out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "catalogue_view.h"
#include "platform/system_file_system.h"
#include "tool_runner.h"
#include "toolchain/catalogue_scan.h"

namespace brisko::standin_test {
namespace {

using ::testing::HasSubstr;

class SilentFeedback : public app::Feedback {
 protected:
  void showStatus(std::string_view) override {}
  void showStatusDetail(std::string_view) override {}
  void showMessage(std::string_view, std::string_view, app::MessageIcon) override {}
};

TEST(InstallationCatalogueTest, ReadsTheGeneratedLibraryFiles) {
  const auto files = platform::makeSystemFileSystem();
  SilentFeedback feedback;
  app::WindowServices window;
  toolchain::LibraryCatalogue catalogue;
  ASSERT_EQ(toolchain::buildLibraryCatalogue({*files, feedback, window}, installationPath() + "/",
                                             catalogue),
            std::nullopt);

  const auto templateOf = [&](const char* name) -> std::string {
    const toolchain::LibraryFunction* f = catalogue.findLibraryFunction(name, true);
    return f ? f->parameterTemplate : "<missing>";
  };
  EXPECT_EQ(templateOf("Len"), "(a$)");
  EXPECT_EQ(templateOf("Trim"), "(a$, a$)");
  EXPECT_EQ(templateOf("FindString"), "(a$, a$, a)");
  EXPECT_EQ(templateOf("ReplaceString"), "(a$, a$, a$, a)");
  EXPECT_EQ(templateOf("SortList"), "(a(), a)");
  EXPECT_EQ(templateOf("SortArray"), "(b(), a)");
  EXPECT_EQ(templateOf("CopyMemory"), "(a, a, a)");
  EXPECT_EQ(templateOf("ProgramParameter"), "()");
  EXPECT_EQ(templateOf("DemoSum"), "(a, a)");
  for (const char* hidden : {"Memory_END", "String_Init", "InitMemory", "EndString", "string_end",
                             "MemoryHeapHandle", "BriskoDemo_End"}) {
    EXPECT_EQ(catalogue.findLibraryFunction(hidden, true), nullptr) << hidden;
  }
  const toolchain::LibraryFunction* demo = catalogue.findLibraryFunction("DemoSum", true);
  ASSERT_NE(demo, nullptr);
  EXPECT_THAT(demo->library->path, HasSubstr("UserLibraries"));

  // The Windows entries agree with the parser's view of the file alone.
  const auto kernel32 =
      readWindowsFile(readBytes(installationPath("PureLibraries/Windows/Kernel32")), "Kernel32");
  ASSERT_TRUE(kernel32);
  std::size_t listed = 0;
  for (const toolchain::LibraryFunction& f : catalogue.functions()) {
    if (!f.library->isPureLibrary && f.library->path.ends_with("Kernel32")) ++listed;
  }
  EXPECT_EQ(listed, kernel32->size());
  EXPECT_GE(listed, 9u);
  const toolchain::LibraryFunction* createFile = catalogue.findLibraryFunction("CreateFile", false);
  ASSERT_NE(createFile, nullptr);
  EXPECT_EQ(createFile->parameterCount, 7);
  EXPECT_EQ(catalogue.findLibraryFunction("CreateFile", true), nullptr);

  EXPECT_THAT(catalogue.compilerLibraryNames(), HasSubstr("PureBasicRuntime.lib,"));
  EXPECT_THAT(catalogue.compilerLibraryNames(), HasSubstr("StringManager.lib,"));
}

}  // namespace
}  // namespace brisko::standin_test
