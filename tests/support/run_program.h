// Running a built program from a test, with its output captured, and scratch folders.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace brisko::testsupport {

struct ProgramResult {
  int exitCode = -1;  // -1 when the program did not end normally
  std::string out;
  std::string err;
};

// Runs program with the arguments in folder, standard input from /dev/null, with the
// environment variables set (an empty value removes a variable).
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder,
                         const std::map<std::string, std::string>& environment = {});

// The full path of a program found on PATH, or empty.
std::string findProgram(const std::string& name);

// A fresh folder below the temporary folder, removed with everything in it by the destructor.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }  // without a trailing separator
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file below the folder, creating the folders on its way.
  void write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

std::string readFileText(const std::string& path);
std::vector<std::uint8_t> readBytes(const std::string& path);

}  // namespace brisko::testsupport
