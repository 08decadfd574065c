// Running the built brisko program from a test, with its output captured.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace brisko::e2e {

struct ProgramResult {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

// Runs the program with the arguments in folder, with the environment variables set (an
// empty value unsets one).
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder,
                         const std::map<std::string, std::string>& environment);

// A fresh empty folder below the system's temporary folder, removed by the destructor.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }  // without trailing separator
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

std::string readFileText(const std::string& path);

}  // namespace brisko::e2e
