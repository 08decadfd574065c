// The feedback services on the main window: the status line in field 0 of its status bar,
// the detail in field 1, messages in message boxes (also before the window exists).
#pragma once

#include "app/feedback.h"
#include "platform/gui.h"

namespace brisko::ui {

class GuiFeedback : public app::Feedback {
 public:
  explicit GuiFeedback(platform::Gui& gui) : gui_(gui) {}

 protected:
  void showStatus(std::string_view status) override;
  void showStatusDetail(std::string_view detail) override;
  void showMessage(std::string_view title, std::string_view message,
                   app::MessageIcon icon) override;

 private:
  platform::Gui& gui_;
};

}  // namespace brisko::ui
