#include "app/feedback.h"

#include "language/text_ids.h"

namespace brisko::app {

const std::string& Feedback::text(int index) const {
  static const std::string kNone;
  return texts_ ? texts_->text(index) : kNone;
}

int Feedback::reportError(int code, bool fatal, std::string_view detail) {
  if (code == 0) return 0;
  std::string message = text(code);
  message += detail;
  if (fatal) {
    message += "\n\n";
    message += text(language::kErrorsTerminating);
  }
  showMessage(text(language::kErrorsError), message, MessageIcon::error);
  if (!fatal && activeLog_ != nullptr) {
    std::string line = text(code);
    for (char c : detail) line += (c == '\n') ? ' ' : c;
    activeLog_->writeLine(line);
  }
  return code;
}

std::string pathDetail(std::string_view path) {
  std::string detail = "\n(";
  detail += path;
  detail += ')';
  return detail;
}

}  // namespace brisko::app
