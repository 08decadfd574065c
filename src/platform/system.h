// Environment, clock and temporary folder of the running process.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brisko::platform {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;   // 0 to 23
  int minute = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime now() const = 0;
  // Milliseconds from a fixed moment that never moves back (not the time of day): the
  // difference of two readings is the time that passed between them.
  virtual std::int64_t steadyMilliseconds() const = 0;
};

class Environment {
 public:
  virtual ~Environment() = default;
  virtual std::optional<std::string> variable(const std::string& name) const = 0;
  // Full path of the running program's executable file.
  virtual std::string executablePath() const = 0;
  // The process's current folder, with its trailing separator; empty when unknown.
  virtual std::string currentFolder() const = 0;
};

// The user's temporary folder. On POSIX it is a folder private to this process (mode 0700),
// created on first use and removed with everything in it when the object is destroyed; a
// shared folder such as /tmp would let another user place links where the program writes.
// On Windows it is the user's own temporary folder, neither created nor removed.
class TempFolder {
 public:
  virtual ~TempFolder() = default;
  // With its trailing separator; empty when no temporary folder can be had.
  virtual std::string path() = 0;
};

// Prepares the console for the program's UTF-8 output (on Windows by switching its output
// code page); nothing to do on POSIX. Call once before anything is written.
void initialiseConsole();

// The program's arguments (after its name) as UTF-8 texts. On Windows they are taken from
// the process's wide command line, and argc and argv are not consulted.
std::vector<std::string> programArguments(int argc, char** argv);

// Hands memory the program has freed back to the system where the allocator keeps it, so that a
// large allocation after many small ones freed does not add to the process's resident size.
void returnFreedMemory();

// The number of processors the program may run on; at least 1.
int processorCount();

std::unique_ptr<Clock> makeSystemClock();
std::unique_ptr<Environment> makeSystemEnvironment();
std::unique_ptr<TempFolder> makeSystemTempFolder();

}  // namespace brisko::platform
