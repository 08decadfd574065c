#include "pipeline/parallel_runs.h"

#include <algorithm>

namespace brisko::pipeline {

ParallelRuns::ParallelRuns(ProgramRunner& runner, std::size_t count, int jobs)
    : runner_(runner),
      runs_(count),
      slots_(jobs > 1 ? static_cast<std::size_t>(jobs) : 1),
      firstFailure_(count) {}

void ParallelRuns::startRuns(const Start& start) {
  const std::size_t total = runs_.size();
  while (running_.size() < slots_ && next_ < total && firstFailure_ == total) {
    Run& run = runs_[next_];
    run.program = start(next_);
    if (!run.program) {
      run.ended = run.result.startFailed = true;
      firstFailure_ = next_;
    } else {
      running_.push_back(next_);
    }
    ++next_;
  }
}

std::optional<std::size_t> ParallelRuns::nextInOrder() {
  if (handedBack_ >= firstFailure_ || !runs_[handedBack_].ended) return std::nullopt;
  return handedBack_++;
}

std::vector<std::size_t> ParallelRuns::waitForEnded(int timeoutMilliseconds) {
  std::vector<RunningProgram*> programs;
  for (std::size_t i : running_) programs.push_back(runs_[i].program.get());
  const std::vector<std::size_t> positions = runner_.waitForEnded(programs, timeoutMilliseconds);
  std::vector<bool> done(running_.size(), false);
  std::vector<std::size_t> ended;
  for (std::size_t position : positions) {
    done[position] = true;
    const std::size_t i = running_[position];
    Run& run = runs_[i];
    run.result.errorText = run.program->readErrorText();
    run.result.exitCode = run.program->exitCode();
    run.program->close();
    run.ended = true;
    if (run.result.exitCode != 0) firstFailure_ = std::min(firstFailure_, i);
    ended.push_back(i);
  }
  std::vector<std::size_t> stillRunning;
  for (std::size_t position = 0; position < running_.size(); ++position) {
    if (!done[position]) stillRunning.push_back(running_[position]);
  }
  running_.swap(stillRunning);
  return ended;
}

std::optional<std::size_t> ParallelRuns::firstFailure() const {
  if (firstFailure_ == runs_.size()) return std::nullopt;
  return firstFailure_;
}

}  // namespace brisko::pipeline
