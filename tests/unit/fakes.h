// Test doubles shared by the unit tests.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/feedback.h"
#include "app/outcome.h"
#include "language/text_ids.h"
#include "platform/ide_probe.h"
#include "platform/installation_command.h"
#include "platform/process.h"
#include "platform/system.h"

// Failed expectations name texts by their position and outcomes by their text.
namespace brisko::language {
inline void PrintTo(TextId id, std::ostream* out) {
  *out << "TextId " << static_cast<int>(id);
}
}  // namespace brisko::language

namespace brisko::app {
inline void PrintTo(const Outcome& outcome, std::ostream* out) {
  if (outcome.succeeded()) {
    *out << "ok()";
  } else {
    *out << "failed(TextId " << static_cast<int>(outcome.reportedText()) << ")";
  }
}
}  // namespace brisko::app

namespace brisko::testing {

struct ShownMessage {
  std::string title;
  std::string text;
  app::MessageIcon icon;
};

// Records everything the program shows.
class RecordingFeedback : public app::Feedback {
 public:
  std::vector<std::string> statuses;
  std::vector<std::string> details;
  std::vector<ShownMessage> messages;

 protected:
  void showStatus(std::string_view status) override { statuses.emplace_back(status); }
  void showStatusDetail(std::string_view detail) override { details.emplace_back(detail); }
  void showMessage(std::string_view title, std::string_view text, app::MessageIcon icon) override {
    messages.push_back({std::string(title), std::string(text), icon});
  }
};

class StringLog : public app::LogSink {
 public:
  std::string content;
  void write(std::string_view text) override { content.append(text); }
};

class FixedClock : public platform::Clock {
 public:
  platform::LocalTime time{2026, 3, 4, 9, 5};
  platform::LocalTime now() const override { return time; }
  // Each reading is a step later than the one before.
  mutable std::int64_t milliseconds = 0;
  std::int64_t step = 0;
  std::int64_t steadyMilliseconds() const override { return milliseconds += step; }
};

class FakeEnvironment : public platform::Environment {
 public:
  std::string executable = "/opt/brisko/bin/brisko";
  std::map<std::string, std::string> variables;
  std::optional<std::string> variable(const std::string& name) const override {
    const auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
  }
  std::string current = "/work/";
  std::string executablePath() const override { return executable; }
  std::string currentFolder() const override { return current; }
};

class FixedTempFolder : public platform::TempFolder {
 public:
  std::string folder = "/tmp/brisko-test/";
  std::string path() override { return folder; }
};

class FakeInstallationCommand : public platform::InstallationCommandSource {
 public:
  std::optional<std::string> command;
  std::optional<std::string> ideOpenCommand() const override { return command; }
};

// Answers the IDE-running check as told and records the IDE programs it was asked about.
class FakeIdeProbe : public platform::IdeProbe {
 public:
  bool running = false;
  mutable std::vector<std::string> asked;
  bool ideRunning(const std::string& ideProgram) const override {
    asked.push_back(ideProgram);
    return running;
  }
};

// A child process that plays back a scripted output and exit code. It keeps running for the
// given number of rounds: each isRunning call, or each wait of the launcher in which no child
// ended, is one round.
class ScriptedProcess : public platform::ChildProcess {
 public:
  ScriptedProcess(std::string output, std::string errors, int exitCode, int rounds,
                  std::vector<std::size_t>* reads)
      : output_(std::move(output)),
        errors_(std::move(errors)),
        exitCode_(exitCode),
        rounds_(rounds),
        reads_(reads) {}
  bool isRunning() override {
    if (rounds_ > 0) {
      --rounds_;
      return true;
    }
    return position_ < output_.size();
  }
  bool ended() const { return rounds_ == 0; }
  void passRound() {
    if (rounds_ > 0) --rounds_;
  }
  std::size_t readOutput(char* buffer, std::size_t size) override {
    if (reads_) reads_->push_back(size);
    const std::size_t n = std::min(size, output_.size() - position_);
    output_.copy(buffer, n, position_);
    position_ += n;
    return n;
  }
  std::string errorBytes() override { return errors_; }
  int exitCode() override { return exitCode_; }

 private:
  std::string output_;
  std::string errors_;
  int exitCode_;
  int rounds_;
  std::vector<std::size_t>* reads_;
  std::size_t position_ = 0;
};

struct StartedProcess {
  std::string commandLine;
  std::string workingFolder;
  platform::CapturedStream captured;
};

// Hands out scripted processes in order and records how each was started; a missing script
// makes the start fail.
class ScriptedLauncher : public platform::ProcessLauncher {
 public:
  struct Script {
    std::string output;
    std::string errors;
    int exitCode = 0;
    bool startFails = false;
    int rounds = 0;  // waits it stays running for
  };
  std::deque<Script> scripts;
  std::vector<StartedProcess> started;
  std::vector<std::size_t> readSizes;  // the size asked for in every read, in order
  std::function<void(const StartedProcess&)> onStart;

  std::unique_ptr<platform::ChildProcess> start(const std::string& commandLine,
                                                const std::string& workingFolder,
                                                platform::CapturedStream captured) override {
    started.push_back({commandLine, workingFolder, captured});
    if (scripts.empty() || scripts.front().startFails) {
      if (!scripts.empty()) scripts.pop_front();
      return nullptr;
    }
    if (onStart) onStart(started.back());
    Script script = scripts.front();
    scripts.pop_front();
    return std::make_unique<ScriptedProcess>(script.output, script.errors, script.exitCode,
                                             script.rounds, &readSizes);
  }
  std::vector<std::size_t> waitForEnded(const std::vector<platform::ChildProcess*>& children,
                                        int) override {
    std::vector<std::size_t> ended;
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (static_cast<ScriptedProcess*>(children[i])->ended()) ended.push_back(i);
    }
    if (ended.empty()) {
      for (platform::ChildProcess* child : children) {
        static_cast<ScriptedProcess*>(child)->passRound();
      }
    }
    return ended;
  }
};

}  // namespace brisko::testing
