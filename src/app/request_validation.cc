#include "app/request_validation.h"

#include "language/text_ids.h"

namespace brisko::app {

Outcome validateSourcePath(Feedback& feedback, const platform::FileSystem& files,
                           const std::string& path) {
#ifndef _WIN32
  if (path.find('"') != std::string::npos) {
    return feedback.reportError(language::TextId::invalidFile, false, pathDetail(path));
  }
#endif
  if (files.isFolder(path)) {
    return feedback.reportError(language::TextId::invalidFile, false, pathDetail(path));
  }
  if (!files.exists(path)) {
    return feedback.reportError(language::TextId::fileNotFound, false, pathDetail(path));
  }
  return ok();
}

Outcome validateDestinationPath(Feedback& feedback, const std::string& path) {
#ifndef _WIN32
  if (path.find('"') != std::string::npos) {
    return feedback.reportError(language::TextId::invalidFile, false, pathDetail(path));
  }
#else
  (void)feedback;
  (void)path;
#endif
  return ok();
}

}  // namespace brisko::app
