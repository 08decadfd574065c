#include "ui/console_feedback.h"

#include <gtest/gtest.h>

#include "language/language_table.h"

namespace brisko::ui {
namespace {

std::string contentOf(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

class ConsoleFeedbackTest : public ::testing::Test {
 protected:
  ConsoleFeedbackTest() : out(std::tmpfile()), err(std::tmpfile()) {}
  ~ConsoleFeedbackTest() override {
    std::fclose(out);
    std::fclose(err);
  }
  std::FILE* out;
  std::FILE* err;
  language::LanguageTable texts{{"Error!", "no errors!", "Terminating brisko.", "Cannot locate."}};
};

TEST_F(ConsoleFeedbackTest, StatusLinesAsTheyChangeAndMessagesByIcon) {
  {
    ConsoleFeedback feedback(out, err, false);
    feedback.attachTexts(&texts);
    feedback.setStatus(language::TextId::noErrors);
    feedback.setStatus(language::TextId::noErrors);
    feedback.setStatusDetail("Scanning String");  // no terminal: not shown
    feedback.setStatus(language::TextId::error);
    feedback.messageBox("brisko", "All done.", app::MessageIcon::information);
    feedback.reportError(language::TextId::noCompiler, true);
  }
  EXPECT_EQ(contentOf(out), "no errors!\nError!\nbrisko\nAll done.\n");
  EXPECT_EQ(contentOf(err), "Error!\nCannot locate.\n\nTerminating brisko.\n");
}

TEST_F(ConsoleFeedbackTest, DetailIsATransientLineOnATerminal) {
  {
    ConsoleFeedback feedback(out, err, true);
    feedback.attachTexts(&texts);
    feedback.setStatusDetail("Scanning String");
    feedback.setStatus(language::TextId::noErrors);
    feedback.setStatusDetail("Scanning Memory");
  }
  EXPECT_EQ(contentOf(out),
            "\r\x1b[KScanning String\r\x1b[Kno errors!\n\r\x1b[KScanning Memory\r\x1b[K");
}

}  // namespace
}  // namespace brisko::ui
