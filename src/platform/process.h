// Starting a tool with one captured output stream, the way the program runs the compiler,
// FASM and polib.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace brisko::platform {

enum class CapturedStream { standardOutput, standardError };

// One started child process. Destroying it releases the process and its pipe (waiting for
// the process to end).
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  // True while the process has not ended; with standard output captured also while unread
  // bytes remain in the pipe. With standard error captured, calling it also drains the pipe,
  // so that a child that writes a lot never stalls.
  virtual bool isRunning() = 0;
  // Reads captured standard output; blocks until size bytes have arrived or the pipe is
  // closed. Returns the number of bytes read (0 at the end).
  virtual std::size_t readOutput(char* buffer, std::size_t size) = 0;
  // Everything the process wrote to standard error, as raw bytes (call after it ended).
  virtual std::string errorBytes() = 0;
  // The exit code; meaningful once the process has ended.
  virtual int exitCode() = 0;
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts a program from a Windows-style command line (program path first). An empty
  // working folder means the caller's current folder; a working folder that does not exist
  // makes the start fail. When standard error is captured, standard output goes to the null
  // device; the child's other standard handles are the caller's own. Returns nothing when the
  // process cannot be created.
  virtual std::unique_ptr<ChildProcess> start(const std::string& commandLine,
                                              const std::string& workingFolder,
                                              CapturedStream captured) = 0;
  // Several children at once, all started by this launcher: the positions of those that have
  // ended, in the order given (their captured standard error is taken in meanwhile, so that
  // none stalls on a full pipe). When none has ended, waits until one ends, but no longer
  // than timeoutMilliseconds, and returns nothing if none did.
  virtual std::vector<std::size_t> waitForEnded(const std::vector<ChildProcess*>& children,
                                                int timeoutMilliseconds) = 0;
};

// The launcher of the platform the program was built for.
std::unique_ptr<ProcessLauncher> makeProcessLauncher();

}  // namespace brisko::platform
