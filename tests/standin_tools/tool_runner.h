// Running the stand-in installation's programs from the tests, with their output captured, and
// scratch folders for their files.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace brisko::standin_test {

struct ToolResult {
  int exitCode = -1;  // -1 when the program did not end normally
  std::string out;
  std::string err;
};

// Runs `program` with `arguments` in `folder`, with the extra environment variables set.
ToolResult runTool(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder,
                   const std::map<std::string, std::string>& environment = {});

// The full path of a program found on PATH, or empty.
std::string findProgram(const std::string& name);

// The installation folder laid out by the build, and a path below it.
std::string installationPath(const std::string& relative = "");

// A fresh folder below the temporary folder, removed with everything in it by the destructor.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

std::vector<std::uint8_t> readBytes(const std::string& path);

}  // namespace brisko::standin_test
