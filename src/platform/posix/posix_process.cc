// Child processes on POSIX: posix_spawn with one pipe, no shell. The Windows-style command
// line is split back into arguments by the C runtime's rules.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <vector>

#include "platform/process.h"
#include "platform/windows_command_line.h"

extern char** environ;

namespace brisko::platform {
namespace {

constexpr int kDrainWaitMilliseconds = 20;
// While a running child has no pipe whose closing would wake the wait for several children,
// that wait looks again after this long. It is short: a child that has just closed its pipe
// is usually about to end, and the kernel reports the end a moment after the pipe's.
constexpr int kUnwatchedWaitMilliseconds = 1;

class PosixChildProcess : public ChildProcess {
 public:
  PosixChildProcess(pid_t pid, int fd, CapturedStream captured)
      : pid_(pid), fd_(fd), captured_(captured) {}

  ~PosixChildProcess() override {
    if (fd_ >= 0) ::close(fd_);
    waitForEnd();
  }

  bool isRunning() override {
    if (captured_ == CapturedStream::standardError) {
      drainAvailable(kDrainWaitMilliseconds);
      if (checkEnded()) {
        drainToEnd();
        return false;
      }
      return true;
    }
    if (!checkEnded()) return true;
    return bytesWaiting() > 0;
  }

  std::size_t readOutput(char* buffer, std::size_t size) override {
    std::size_t total = 0;
    while (total < size && fd_ >= 0 && !endOfPipe_) {
      const ssize_t n = ::read(fd_, buffer + total, size - total);
      if (n < 0) {
        if (errno == EINTR) continue;
        endOfPipe_ = true;
        break;
      }
      if (n == 0) {
        endOfPipe_ = true;
        break;
      }
      total += static_cast<std::size_t>(n);
    }
    return total;
  }

  std::string errorBytes() override {
    if (captured_ == CapturedStream::standardError) {
      waitForEnd();
      drainToEnd();
    }
    return errorBytes_;
  }

  int exitCode() override {
    waitForEnd();
    if (WIFEXITED(status_)) return WEXITSTATUS(status_);
    if (WIFSIGNALED(status_)) return 128 + WTERMSIG(status_);
    return -1;
  }

  // Whether the process has ended, asked without waiting; standard error is taken in first.
  bool endedNow() {
    if (captured_ == CapturedStream::standardError) drainAvailable(0);
    return checkEnded();
  }

  // The pipe that becomes readable when the process writes to standard error or ends; -1
  // when there is none to watch.
  int watchedPipe() const {
    return captured_ == CapturedStream::standardError && fd_ >= 0 && !endOfPipe_ ? fd_ : -1;
  }

 private:
  bool checkEnded() {
    if (ended_) return true;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      ended_ = true;
      status_ = status;
    } else if (r < 0 && errno != EINTR) {
      ended_ = true;  // not our child any more; nothing to wait for
    }
    return ended_;
  }

  void waitForEnd() {
    while (!ended_) {
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, 0);
      if (r == pid_) {
        ended_ = true;
        status_ = status;
      } else if (r < 0 && errno != EINTR) {
        ended_ = true;
      }
    }
  }

  int bytesWaiting() const {
    if (fd_ < 0 || endOfPipe_) return 0;
    int available = 0;
    if (::ioctl(fd_, FIONREAD, &available) != 0) return 0;
    return available;
  }

  // Reads what the pipe holds, waiting up to timeout for something to arrive.
  void drainAvailable(int timeoutMilliseconds) {
    if (fd_ < 0 || endOfPipe_) return;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMilliseconds) <= 0) return;
    char buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      errorBytes_.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      endOfPipe_ = true;
    }
  }

  // After the process ended: take the rest. A descendant that keeps the pipe open does not
  // hold us up for longer than a moment of silence.
  void drainToEnd() {
    while (fd_ >= 0 && !endOfPipe_) {
      const std::size_t before = errorBytes_.size();
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) break;
      drainAvailable(0);
      if (errorBytes_.size() == before && !endOfPipe_) break;
    }
  }

  pid_t pid_;
  int fd_;
  CapturedStream captured_;
  bool ended_ = false;
  bool endOfPipe_ = false;
  int status_ = 0;
  std::string errorBytes_;
};

bool isFolderPath(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string absoluteProgramPath(const std::string& program) {
  if (program.empty() || program.front() == '/') return program;
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return program;
  return std::string(buffer.data()) + "/" + program;
}

class PosixProcessLauncher : public ProcessLauncher {
 public:
  std::unique_ptr<ChildProcess> start(const std::string& commandLine,
                                      const std::string& workingFolder,
                                      CapturedStream captured) override {
    std::vector<std::string> arguments = splitWindowsCommandLine(commandLine);
    if (arguments.empty() || arguments.front().empty()) return nullptr;
    if (!workingFolder.empty() && !isFolderPath(workingFolder)) return nullptr;
    // The program is found relative to our own folder, not the child's working folder.
    const std::string program = absoluteProgramPath(arguments.front());

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return nullptr;
    const int target = captured == CapturedStream::standardOutput ? STDOUT_FILENO : STDERR_FILENO;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], target);
    // A tool's standard output that nobody reads (FASM's banner) would mix with the console's
    // own lines, and with other runs going at once, so it goes nowhere.
    if (target == STDERR_FILENO) {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if (!workingFolder.empty()) {
      posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    }

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (error != 0) {
      ::close(fds[0]);
      return nullptr;
    }
    return std::make_unique<PosixChildProcess>(pid, fds[0], captured);
  }

  // One poll on the pipes of all children wakes on the first that writes or ends; a child
  // without a pipe to watch is looked at again every millisecond.
  std::vector<std::size_t> waitForEnded(const std::vector<ChildProcess*>& children,
                                        int timeoutMilliseconds) override {
    using SteadyClock = std::chrono::steady_clock;
    const SteadyClock::time_point deadline =
        SteadyClock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
      std::vector<std::size_t> ended;
      std::vector<pollfd> pipes;
      bool unwatched = false;
      for (std::size_t i = 0; i < children.size(); ++i) {
        auto* child = dynamic_cast<PosixChildProcess*>(children[i]);
        if (child == nullptr) {
          if (!children[i]->isRunning()) ended.push_back(i);
        } else if (child->endedNow()) {
          ended.push_back(i);
        } else if (const int fd = child->watchedPipe(); fd >= 0) {
          pipes.push_back({fd, POLLIN, 0});
        } else {
          unwatched = true;
        }
      }
      if (!ended.empty()) return ended;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
              .count();
      if (left <= 0) return ended;
      int wait = static_cast<int>(left);
      if (unwatched) wait = std::min(wait, kUnwatchedWaitMilliseconds);
      ::poll(pipes.data(), pipes.size(), wait);
    }
  }
};

}  // namespace

std::unique_ptr<ProcessLauncher> makeProcessLauncher() {
  return std::make_unique<PosixProcessLauncher>();
}

}  // namespace brisko::platform
