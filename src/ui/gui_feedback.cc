#include "ui/gui_feedback.h"

#include <string>

#include "ui/main_window.h"

namespace brisko::ui {

void GuiFeedback::showStatus(std::string_view status) {
  gui_.setStatusField(kMainWindow, 0, std::string(status));
  gui_.setStatusField(kMainWindow, 1, "");
}

void GuiFeedback::showStatusDetail(std::string_view detail) {
  gui_.setStatusField(kMainWindow, 1, std::string(detail));
}

void GuiFeedback::showMessage(std::string_view title, std::string_view message,
                              app::MessageIcon icon) {
  gui_.messageBox(
      std::string(title), std::string(message),
      icon == app::MessageIcon::error ? platform::GuiIcon::error : platform::GuiIcon::information);
}

}  // namespace brisko::ui
