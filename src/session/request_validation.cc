#include "session/request_validation.h"

#include "language/text_ids.h"

namespace brisko::session {

namespace {

// The tools' command lines put paths in double quotes, so a path holding one would cut them in
// the wrong place. (Windows refuses such names anyway; other systems allow them.)
bool holdsQuote(const std::string& path) {
  return path.find('"') != std::string::npos;
}

}  // namespace

app::Outcome validateSourcePath(app::Feedback& feedback, const platform::FileSystem& files,
                                const std::string& path) {
  if (holdsQuote(path)) {
    return feedback.reportError(language::TextId::invalidFile, false, app::pathDetail(path));
  }
  if (files.isFolder(path)) {
    return feedback.reportError(language::TextId::invalidFile, false, app::pathDetail(path));
  }
  if (!files.exists(path)) {
    return feedback.reportError(language::TextId::fileNotFound, false, app::pathDetail(path));
  }
  return app::ok();
}

app::Outcome validateDestinationPath(app::Feedback& feedback, const std::string& path) {
  if (holdsQuote(path)) {
    return feedback.reportError(language::TextId::invalidFile, false, app::pathDetail(path));
  }
  return app::ok();
}

}  // namespace brisko::session
