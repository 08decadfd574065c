// The services through which every stage speaks to the user. A front end (window or console)
// realises the three show* operations; the composition of messages is shared.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "app/outcome.h"
#include "language/language_table.h"

namespace brisko::app {

// Text output of a conversion log: UTF-8, lines ended by CR LF.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void write(std::string_view text) = 0;
  void writeLine(std::string_view text) {
    write(text);
    write("\r\n");
  }
};

// error: a failure reported by the program itself; failure: a tool's complaint (shown with the
// information icon in the window, as its own words rather than the program's); information:
// a verdict that is no failure.
enum class MessageIcon { error, failure, information };

// One thing a feedback showed, as its texts, so that another feedback can show it later: a
// build that runs beside others reports through a feedback of its own, and the front end's
// shows what it said once the builds before it are through.
struct ShownFeedback {
  enum class Kind { status, detail, message, warning };
  Kind kind = Kind::status;
  std::string title;  // of a message or warning
  std::string text;
  MessageIcon icon = MessageIcon::information;  // of a message
};

class Feedback {
 public:
  virtual ~Feedback() = default;

  // The language texts become known during start-up; until then only fixed texts are shown.
  void attachTexts(const language::LanguageTable* texts) { texts_ = texts; }
  const language::LanguageTable* attachedTexts() const { return texts_; }
  const std::string& text(language::TextId id) const;
  // The text with its markers "%1", "%2", ... replaced by the values (language::fillIn).
  std::string text(language::TextId id, std::initializer_list<std::string_view> values) const {
    return language::fillIn(text(id), values);
  }

  // The log that is open while a conversion with logging runs; nullptr otherwise.
  void setActiveLog(LogSink* log) { activeLog_ = log; }
  LogSink* activeLog() const { return activeLog_; }

  // Shows the text as the status line and empties the status detail.
  void setStatus(language::TextId id) { showStatus(text(id)); }
  // The same with the text's markers filled in.
  void setStatus(language::TextId id, std::initializer_list<std::string_view> values) {
    showStatus(text(id, values));
  }
  // Shows a free text as the status detail.
  void setStatusDetail(std::string_view detail) { showStatusDetail(detail); }
  void messageBox(std::string_view title, std::string_view message, MessageIcon icon) {
    showMessage(title, message, icon);
  }
  // Shows what another feedback showed, as it showed it (nothing is logged).
  void show(const ShownFeedback& shown);

  // Shows "Error!" with the text + detail (fatal: then two line feeds and "Terminating
  // brisko."); a non-fatal report also appends one log line, with line feeds of the detail
  // turned into spaces, while a log is open. Returns the failure as reported.
  Outcome reportError(language::TextId id, bool fatal, std::string_view detail = {});
  // Shows "Warning!" with the text + detail, for what went through but may not work as the
  // user expects; appends one log line (line feeds of the detail turned into spaces) while a
  // log is open.
  void warn(language::TextId id, std::string_view detail = {});

 protected:
  // A front end that has no place for a warning beside its status shows none: the log keeps
  // it. The console prints it on standard error.
  virtual void showWarning(std::string_view /*title*/, std::string_view /*message*/) {}
  virtual void showStatus(std::string_view status) = 0;
  virtual void showStatusDetail(std::string_view detail) = 0;
  virtual void showMessage(std::string_view title, std::string_view message, MessageIcon icon) = 0;

 private:
  // One log line of a message while a log is open: the text, then the detail with its line
  // feeds turned into spaces.
  void logMessage(language::TextId id, std::string_view detail);

  const language::LanguageTable* texts_ = nullptr;
  LogSink* activeLog_ = nullptr;
};

// A feedback that hands everything it shows to a receiver instead of a screen; it has a log of
// its own (setActiveLog) and shares the language texts it is given.
class ForwardingFeedback : public Feedback {
 public:
  explicit ForwardingFeedback(std::function<void(ShownFeedback)> receiver)
      : receiver_(std::move(receiver)) {}

 protected:
  void showWarning(std::string_view title, std::string_view message) override;
  void showStatus(std::string_view status) override;
  void showStatusDetail(std::string_view detail) override;
  void showMessage(std::string_view title, std::string_view message, MessageIcon icon) override;

 private:
  std::function<void(ShownFeedback)> receiver_;
};

// The detail text convention: a line feed followed by "(", the path and ")"; with the system's
// reason for a failure on that path, "(path: reason)".
std::string pathDetail(std::string_view path, std::string_view reason = {});

// What a long run (a conversion, the catalogue scan) asks of the front end while it works: one
// look at the window's events per step, so a locked window still repaints. A front end
// without a window does nothing. Locking the window around a run is the window's own business.
class WindowServices {
 public:
  virtual ~WindowServices() = default;
  virtual void pollEvents() {}
};

}  // namespace brisko::app
