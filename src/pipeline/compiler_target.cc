#include "pipeline/compiler_target.h"

#include <vector>

#include "language/text_ids.h"
#include "pipeline/compile_source.h"
#include "pipeline/listing/listing_text.h"
#include "pipeline/program_runner.h"
#include "platform/text.h"

namespace brisko::pipeline {

std::optional<Target> targetOfSource(std::string_view bytes) {
  const Listing source = Listing::fromBytes(std::string(bytes));
  ListingCursor cursor(source);
  std::string_view line;
  while (cursor.next(line)) {
    const std::string_view trimmed = platform::trimSpaces(line);
    if (trimmed.starts_with("format ")) return Target::fromFormatLine(trimmed);
    if (trimmed.starts_with("section ")) break;
  }
  return std::nullopt;
}

app::Outcome reportTargetMismatch(app::Feedback& feedback, Target expected, Target found,
                                  const std::string& folder) {
  std::string detail = "\n";
  detail +=
      feedback.text(language::TextId::installationTargetDetail, {expected.name(), found.name()});
  detail += app::pathDetail(folder);
  return feedback.reportError(language::TextId::installationTarget, false, detail);
}

std::optional<Target> compilerTarget(app::Services& services, const std::string& workFolder) {
  platform::FileSystem& files = services.files;
  const std::string probe = workFolder + "briskoTargetProbe.pb";
  const std::string executable = workFolder + "briskoTargetProbe.exe";
  if (!files.writeFile(probe, "; which processor the compiler writes code for\r\n")) {
    return std::nullopt;
  }
  ProgramRunner runner(services.processes);
  std::optional<Target> target;
  if (auto compiler = runner.start(services.paths.compilerPath,
                                   "\"" + probe + "\" /EXE \"" + executable + "\" /COMMENTED",
                                   workFolder, platform::CapturedStream::standardOutput)) {
    std::vector<char> buffer(kReadBufferSize);
    compiler->collectOutput(buffer);
    const int exitCode = compiler->exitCode();
    compiler->close();
    const std::string listing = listingPathIn(files, workFolder);
    if (const auto bytes = files.readFile(listing); bytes && exitCode == 0) {
      target = targetOfSource(*bytes);
    }
    files.deleteFile(listing);
  }
  files.deleteFile(executable);
  files.deleteFile(probe);
  return target;
}

}  // namespace brisko::pipeline
