// Starting the installation's tools: one child process, one captured stream, waited for
// synchronously.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/feedback.h"
#include "platform/process.h"

namespace brisko::pipeline {

// The size of the pieces in which a tool's standard output is read.
inline constexpr std::size_t kReadBufferSize = 1024;

class RunningProgram {
 public:
  explicit RunningProgram(std::unique_ptr<platform::ChildProcess> process);
  bool isRunning();
  std::size_t readOutput(char* buffer, std::size_t size);
  // Everything written to standard error, decoded with the ANSI code page.
  std::string readErrorText();
  // Everything written to standard output, read while the program runs in pieces of the
  // buffer's size, each piece decoded with the ANSI code page on its own.
  std::string collectOutput(std::vector<char>& buffer);
  int exitCode();
  void close();

 private:
  friend class ProgramRunner;
  std::unique_ptr<platform::ChildProcess> process_;
};

class ProgramRunner {
 public:
  explicit ProgramRunner(platform::ProcessLauncher& launcher) : launcher_(launcher) {}
  // The command line is the program path in double quotes (unless it already begins with
  // one), then, when parameters are not empty, one space and the parameters unchanged.
  static std::string commandLine(const std::string& programPath, const std::string& parameters);
  // Nothing when the process cannot be created.
  std::unique_ptr<RunningProgram> start(const std::string& programPath,
                                        const std::string& parameters,
                                        const std::string& workingFolder,
                                        platform::CapturedStream captured);
  // The positions of the programs that have ended (a closed one counts as ended); when none
  // has, waits up to timeoutMilliseconds for one to end.
  std::vector<std::size_t> waitForEnded(const std::vector<RunningProgram*>& programs,
                                        int timeoutMilliseconds);

 private:
  platform::ProcessLauncher& launcher_;
};

// A tool's complaint: shown titled with the main window's caption, as the failure text, two
// line feeds and the tool's own words (the unknown-error text alone when it said nothing), and
// those words (or that text) logged as a line.
void reportToolError(app::Feedback& feedback, language::TextId failureText,
                     language::TextId unknownText, std::string_view said);

}  // namespace brisko::pipeline
