#include "app/request_validation.h"

#include "language/text_ids.h"

namespace brisko::app {

int validateSourcePath(Feedback& feedback, const platform::FileSystem& files,
                       const std::string& path) {
#ifndef _WIN32
  if (path.find('"') != std::string::npos) {
    return feedback.reportError(language::kErrorsInvalidFile, false, pathDetail(path));
  }
#endif
  if (files.isFolder(path)) {
    return feedback.reportError(language::kErrorsInvalidFile, false, pathDetail(path));
  }
  if (!files.exists(path)) {
    return feedback.reportError(language::kErrorsFileNotFound, false, pathDetail(path));
  }
  return 0;
}

int validateDestinationPath(Feedback& feedback, const std::string& path) {
#ifndef _WIN32
  if (path.find('"') != std::string::npos) {
    return feedback.reportError(language::kErrorsInvalidFile, false, pathDetail(path));
  }
#else
  (void)feedback;
  (void)path;
#endif
  return 0;
}

}  // namespace brisko::app
