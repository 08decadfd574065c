#include "app/feedback.h"

#include "language/text_ids.h"

namespace brisko::app {

const std::string& Feedback::text(language::TextId id) const {
  static const std::string kNone;
  return texts_ ? texts_->text(id) : kNone;
}

Outcome Feedback::reportError(language::TextId id, bool fatal, std::string_view detail) {
  std::string message = text(id);
  message += detail;
  if (fatal) {
    message += "\n\n";
    message += text(language::TextId::terminating);
  }
  showMessage(text(language::TextId::error), message, MessageIcon::error);
  if (!fatal) logMessage(id, detail);
  return failed(id);
}

void Feedback::warn(language::TextId id, std::string_view detail) {
  std::string message = text(id);
  message += detail;
  showWarning(text(language::TextId::warning), message);
  logMessage(id, detail);
}

void Feedback::logMessage(language::TextId id, std::string_view detail) {
  if (activeLog_ == nullptr) return;
  std::string line = text(id);
  for (char c : detail) line += (c == '\n') ? ' ' : c;
  activeLog_->writeLine(line);
}

std::string pathDetail(std::string_view path, std::string_view reason) {
  std::string detail = "\n(";
  detail += path;
  if (!reason.empty()) {
    detail += ": ";
    detail += reason;
  }
  detail += ")";
  return detail;
}

}  // namespace brisko::app
