// The listing stages on arbitrary listings: the analysis with its data-sections source and,
// when the analysis accepts the listing, the split into procedure sources. Everything runs on
// an in-memory file system.
//
// Input: one selector byte, then the listing's bytes. Bit 0 of the selector picks library
// output (else object output); bits 1 to 4 add the options that change what the stages
// write: exported globals, Unicode, thread safety and the wrapper declarations.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/configuration.h"
#include "app/feedback.h"
#include "app/services.h"
#include "memory_file_system.h"
#include "pipeline/conversion.h"
#include "pipeline/run_conversion.h"
#include "platform/process.h"
#include "platform/system.h"

namespace {

using namespace brisko;

class SilentFeedback : public app::Feedback {
 protected:
  void showStatus(std::string_view) override {}
  void showStatusDetail(std::string_view) override {}
  void showMessage(std::string_view, std::string_view, app::MessageIcon) override {}
};

class NoProcesses : public platform::ProcessLauncher {
 public:
  std::unique_ptr<platform::ChildProcess> start(const std::string&, const std::string&,
                                                platform::CapturedStream) override {
    return nullptr;
  }
  std::vector<std::size_t> waitForEnded(const std::vector<platform::ChildProcess*>&, int) override {
    return {};
  }
};

class FixedClock : public platform::Clock {
 public:
  platform::LocalTime now() const override { return {2024, 2, 29, 23, 59}; }
  std::int64_t steadyMilliseconds() const override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t selector = data[0];
  const std::string_view listing(reinterpret_cast<const char*>(data) + 1, size - 1);

  platform::MemoryFileSystem files;
  files.addFile("/work/PureBasic.asm", std::string(listing));
  files.addFolder("/out/Source/");
  NoProcesses processes;
  FixedClock clock;
  SilentFeedback feedback;
  app::WindowServices window;
  const app::ToolchainPaths paths;
  app::Services services{files, processes, clock, feedback, window, paths};

  app::ConversionOptions options;
  options.outputFormat =
      (selector & 1) ? app::OutputFormat::staticLibrary : app::OutputFormat::objectFile;
  if (selector & 2) options.flags |= app::kExportGlobals;
  if (selector & 4) options.flags |= app::kUnicode;
  if (selector & 8) options.flags |= app::kThreadsafe;
  if (selector & 16) options.flags |= app::kPbWrapper;

  pipeline::Conversion conversion(services, {"/work/fuzz.pb", options},
                                  pipeline::OutputLayout("/out/", "fuzz"));
  conversion.listingPath = "/work/PureBasic.asm";
  pipeline::convertListing(conversion);
  return 0;
}
