#include "pipeline/program_runner.h"

#include "language/text_ids.h"
#include "platform/code_pages.h"

namespace brisko::pipeline {

RunningProgram::RunningProgram(std::unique_ptr<platform::ChildProcess> process)
    : process_(std::move(process)) {}

bool RunningProgram::isRunning() {
  return process_ && process_->isRunning();
}

std::size_t RunningProgram::readOutput(char* buffer, std::size_t size) {
  return process_ ? process_->readOutput(buffer, size) : 0;
}

std::string RunningProgram::readErrorText() {
  return process_ ? platform::ansiToUtf8(process_->errorBytes()) : std::string();
}

std::string RunningProgram::collectOutput(std::vector<char>& buffer) {
  std::string output;
  while (isRunning()) {
    const std::size_t n = readOutput(buffer.data(), buffer.size());
    if (n > 0) output += platform::ansiToUtf8(std::string_view(buffer.data(), n));
  }
  return output;
}

int RunningProgram::exitCode() {
  return process_ ? process_->exitCode() : -1;
}

void RunningProgram::close() {
  process_.reset();
}

std::string ProgramRunner::commandLine(const std::string& programPath,
                                       const std::string& parameters) {
  std::string line = (!programPath.empty() && programPath.front() == '"')
                         ? programPath
                         : "\"" + programPath + "\"";
  if (!parameters.empty()) line += " " + parameters;
  return line;
}

std::unique_ptr<RunningProgram> ProgramRunner::start(const std::string& programPath,
                                                     const std::string& parameters,
                                                     const std::string& workingFolder,
                                                     platform::CapturedStream captured) {
  auto process = launcher_.start(commandLine(programPath, parameters), workingFolder, captured);
  if (!process) return nullptr;
  return std::make_unique<RunningProgram>(std::move(process));
}

std::vector<std::size_t> ProgramRunner::waitForEnded(const std::vector<RunningProgram*>& programs,
                                                     int timeoutMilliseconds) {
  std::vector<std::size_t> ended;
  std::vector<platform::ChildProcess*> children;
  std::vector<std::size_t> positions;  // of the children among the programs
  for (std::size_t i = 0; i < programs.size(); ++i) {
    if (programs[i]->process_) {
      children.push_back(programs[i]->process_.get());
      positions.push_back(i);
    } else {
      ended.push_back(i);
    }
  }
  if (!ended.empty()) return ended;
  for (std::size_t child : launcher_.waitForEnded(children, timeoutMilliseconds)) {
    ended.push_back(positions[child]);
  }
  return ended;
}

void reportToolError(app::Feedback& feedback, language::TextId failureText,
                     language::TextId unknownText, std::string_view said) {
  const std::string& title = feedback.text(language::TextId::guiTitle);
  const std::string shown = said.empty() ? feedback.text(unknownText) : std::string(said);
  feedback.messageBox(title, said.empty() ? shown : feedback.text(failureText) + "\n\n" + shown,
                      app::MessageIcon::failure);
  if (app::LogSink* log = feedback.activeLog()) log->writeLine(shown);
}

}  // namespace brisko::pipeline
