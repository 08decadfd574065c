#include "ui/console_feedback.h"

namespace brisko::ui {
namespace {

void put(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

ConsoleFeedback::ConsoleFeedback(std::FILE* out, std::FILE* err, bool interactive)
    : out_(out), err_(err), interactive_(interactive) {}

ConsoleFeedback::~ConsoleFeedback() {
  clearDetail();
}

void ConsoleFeedback::clearDetail() {
  if (!detailShown_) return;
  put(out_, "\r\x1b[K");
  std::fflush(out_);
  detailShown_ = false;
}

void ConsoleFeedback::showStatus(std::string_view status) {
  clearDetail();
  if (status == lastStatus_) return;
  lastStatus_ = status;
  put(out_, status);
  put(out_, "\n");
  std::fflush(out_);
}

void ConsoleFeedback::showStatusDetail(std::string_view detail) {
  if (!interactive_) return;
  put(out_, "\r\x1b[K");
  put(out_, detail);
  std::fflush(out_);
  detailShown_ = !detail.empty();
}

void ConsoleFeedback::showMessage(std::string_view title, std::string_view message,
                                  app::MessageIcon icon) {
  print(icon == app::MessageIcon::information ? out_ : err_, title, message);
}

void ConsoleFeedback::showWarning(std::string_view title, std::string_view message) {
  print(err_, title, message);
}

void ConsoleFeedback::print(std::FILE* stream, std::string_view title, std::string_view message) {
  clearDetail();
  std::fflush(out_);
  put(stream, title);
  put(stream, "\n");
  put(stream, message);
  put(stream, "\n");
  std::fflush(stream);
}

}  // namespace brisko::ui
