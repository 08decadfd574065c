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

void Feedback::show(const ShownFeedback& shown) {
  switch (shown.kind) {
    case ShownFeedback::Kind::status:
      showStatus(shown.text);
      break;
    case ShownFeedback::Kind::detail:
      showStatusDetail(shown.text);
      break;
    case ShownFeedback::Kind::message:
      showMessage(shown.title, shown.text, shown.icon);
      break;
    case ShownFeedback::Kind::warning:
      showWarning(shown.title, shown.text);
      break;
  }
}

void ForwardingFeedback::showWarning(std::string_view title, std::string_view message) {
  receiver_({ShownFeedback::Kind::warning, std::string(title), std::string(message)});
}

void ForwardingFeedback::showStatus(std::string_view status) {
  receiver_({ShownFeedback::Kind::status, {}, std::string(status)});
}

void ForwardingFeedback::showStatusDetail(std::string_view detail) {
  receiver_({ShownFeedback::Kind::detail, {}, std::string(detail)});
}

void ForwardingFeedback::showMessage(std::string_view title, std::string_view message,
                                     MessageIcon icon) {
  receiver_({ShownFeedback::Kind::message, std::string(title), std::string(message), icon});
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
