// The feedback services on a terminal: status lines as they change, the status detail as a
// transient line (only on a terminal), message boxes and warnings as their title and text.
#pragma once

#include <cstdio>
#include <string>

#include "app/feedback.h"

namespace brisko::ui {

class ConsoleFeedback : public app::Feedback {
 public:
  // Information goes to out, error messages to err. interactive: out is a terminal, so a
  // transient detail line can be drawn and erased.
  ConsoleFeedback(std::FILE* out, std::FILE* err, bool interactive);
  ~ConsoleFeedback() override;

 protected:
  void showStatus(std::string_view status) override;
  void showStatusDetail(std::string_view detail) override;
  void showMessage(std::string_view title, std::string_view message,
                   app::MessageIcon icon) override;
  // On the error stream, as its title and text, like an error.
  void showWarning(std::string_view title, std::string_view message) override;

 private:
  void clearDetail();
  // The title and the text, each on its line, after the pending output.
  void print(std::FILE* stream, std::string_view title, std::string_view message);

  std::FILE* out_;
  std::FILE* err_;
  bool interactive_;
  bool detailShown_ = false;
  std::string lastStatus_;
};

}  // namespace brisko::ui
