// IDE tool registration on arbitrary tools-file bytes, with the IDE not running. Either the
// program is found registered and the file stays as it was, or the file afterwards holds a
// ToolCount one above the number of tool groups it had and ends with the program's tool.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/feedback.h"
#include "language/preferences.h"
#include "language/text_ids.h"
#include "memory_file_system.h"
#include "platform/ide_probe.h"
#include "toolchain/ide_registration.h"

namespace {

using brisko::language::Preferences;

constexpr const char* kToolsFile = "/pb/Tools.prefs";
constexpr const char* kProgram = "/opt/br\xC3\xAFsko/brisko";

class SilentFeedback : public brisko::app::Feedback {
 protected:
  void showStatus(std::string_view) override {}
  void showStatusDetail(std::string_view) override {}
  void showMessage(std::string_view, std::string_view, brisko::app::MessageIcon) override {}
};

class IdeClosed : public brisko::platform::IdeProbe {
 public:
  bool ideRunning(const std::string&) const override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  brisko::platform::MemoryFileSystem files;
  files.addFile(kToolsFile, bytes);
  SilentFeedback feedback;
  const IdeClosed ide;
  const brisko::app::Outcome result =
      brisko::toolchain::registerIdeTool(files, feedback, ide, {kToolsFile, "/pb/IDE"}, kProgram);

  const std::string after = files.readFile(kToolsFile).value_or("");
  if (result == brisko::app::failed(brisko::language::TextId::alreadyRegistered)) {
    if (after != bytes) std::abort();
    return 0;
  }
  if (!result.succeeded()) std::abort();

  const Preferences before = Preferences::parse(bytes);
  const Preferences tools = Preferences::parse(after);
  // A rewritten ANSI file may begin with a byte-order mark by chance (a first key "ÿþ"); the
  // tool is then appended in the encoding that mark names, as the file now reads.
  if (tools.encoding() != before.encoding()) return 0;
  int toolCount = 0;
  for (const auto* group : before.namedGroups()) {
    if (group->name.find("Tool_") != std::string::npos) ++toolCount;
  }
  const auto groups = tools.namedGroups();
  const auto* info = tools.findGroup("ToolsInfo");
  if (groups.empty() || info == nullptr) std::abort();
  if (info->find("ToolCount") != std::to_string(toolCount + 1)) std::abort();
  if (groups.back()->name != "Tool_" + std::to_string(toolCount)) std::abort();
  if (groups.back()->find("Command") != kProgram) std::abort();
  return 0;
}
