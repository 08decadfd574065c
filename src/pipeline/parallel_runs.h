// Keeping up to a number of tool runs going at once, on the caller's thread: the caller starts
// runs, waits for some to end and takes the ended ones back in the order they were started, so
// that it can report them as if one had run after another. The scheduler reports nothing
// itself.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/program_runner.h"

namespace brisko::pipeline {

// How one run went, once it has ended.
struct RunResult {
  bool startFailed = false;  // the program could not be started
  int exitCode = 0;
  std::string errorText;  // what it wrote to standard error

  bool failed() const { return startFailed || exitCode != 0; }
};

class ParallelRuns {
 public:
  // Starts run i: the program, or nothing when it could not be started.
  using Start = std::function<std::unique_ptr<RunningProgram>(std::size_t i)>;

  // count runs, numbered 0 to count - 1, with up to jobs (at least 1) going at once.
  ParallelRuns(ProgramRunner& runner, std::size_t count, int jobs);

  // Starts the next runs in order while a slot is free, runs remain and no run is known to
  // have failed. A run that cannot be started counts as ended and failed.
  void startRuns(const Start& start);
  // The next run in order that has ended, when every run before it has been taken back and
  // none of them failed; the first failed run is never handed back here (see firstFailure).
  std::optional<std::size_t> nextInOrder();
  bool anyRunning() const { return !running_.empty(); }
  // Waits up to timeoutMilliseconds for a running program to end (returns at once when one
  // has); the runs that ended, their results collected and their programs closed.
  std::vector<std::size_t> waitForEnded(int timeoutMilliseconds);

  const RunResult& result(std::size_t i) const { return runs_[i].result; }
  // The earliest run known to have failed.
  std::optional<std::size_t> firstFailure() const;
  // How many runs were started (or tried): runs from here on never were.
  std::size_t started() const { return next_; }

 private:
  struct Run {
    std::unique_ptr<RunningProgram> program;
    bool ended = false;
    RunResult result;
  };

  ProgramRunner& runner_;
  std::vector<Run> runs_;
  const std::size_t slots_;
  std::size_t next_ = 0;        // the next run to start
  std::size_t firstFailure_;    // the earliest run known to have failed, or runs_.size()
  std::size_t handedBack_ = 0;  // runs taken back by nextInOrder
  std::vector<std::size_t> running_;
};

}  // namespace brisko::pipeline
