// Whether the PureBasic IDE is running; its tools file is left alone while it is.
#pragma once

#include <memory>
#include <string>

namespace brisko::platform {

class IdeProbe {
 public:
  virtual ~IdeProbe() = default;
  // On Windows: some top-level window has "PureBasic" in its title and "WindowClass_" in its
  // class name (both case-sensitive); ideProgram is not consulted. On POSIX: some process
  // runs the file ideProgram names (compared as canonical paths); never when ideProgram is
  // empty or names no file.
  virtual bool ideRunning(const std::string& ideProgram) const = 0;
};

std::unique_ptr<IdeProbe> makeSystemIdeProbe();

}  // namespace brisko::platform
