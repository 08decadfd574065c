#include "session/request_validation.h"

#include "language/text_ids.h"

namespace brisko::session {

app::Outcome validateSourcePath(app::Feedback& feedback, const platform::FileSystem& files,
                                const std::string& path) {
#ifndef _WIN32
  if (path.find('"') != std::string::npos) {
    return feedback.reportError(language::TextId::invalidFile, false, app::pathDetail(path));
  }
#endif
  if (files.isFolder(path)) {
    return feedback.reportError(language::TextId::invalidFile, false, app::pathDetail(path));
  }
  if (!files.exists(path)) {
    return feedback.reportError(language::TextId::fileNotFound, false, app::pathDetail(path));
  }
  return app::ok();
}

app::Outcome validateDestinationPath(app::Feedback& feedback, const std::string& path) {
#ifndef _WIN32
  if (path.find('"') != std::string::npos) {
    return feedback.reportError(language::TextId::invalidFile, false, app::pathDetail(path));
  }
#else
  (void)feedback;
  (void)path;
#endif
  return app::ok();
}

}  // namespace brisko::session
