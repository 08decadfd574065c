#include "pipeline/target.h"

#include "platform/text.h"

namespace brisko::pipeline {

Target Target::fromFormatLine(std::string_view line) {
  return platform::trimSpaces(line) == "format MS64 COFF" ? x64() : x86();
}

std::string Target::sectionLine(std::string_view line) const {
  if (x64_ && line.find(" align ") == std::string_view::npos) {
    return std::string(platform::trimSpaces(line)) + " align 8";
  }
  return std::string(line);
}

std::vector<std::string> Target::endRoutine(std::string_view noValue, std::string_view withValue,
                                            std::string_view exitCodeCell,
                                            std::string_view exitProcess) const {
  std::vector<std::string> lines;
  lines.push_back(std::string(noValue) + ":");
  if (x64_) {
    lines.push_back(std::string(withValue) + ":");
    lines.push_back(exitCodeCell.empty() ? "  XOR ecx,ecx"
                                         : "  MOV rcx,qword [" + std::string(exitCodeCell) + "]");
    lines.push_back("  AND rsp,-16");
    lines.push_back("  SUB rsp,32");
  } else {
    if (exitCodeCell.empty()) lines.push_back("  PUSH dword 0");
    lines.push_back(std::string(withValue) + ":");
    if (!exitCodeCell.empty()) {
      lines.push_back("  PUSH dword [" + std::string(exitCodeCell) + "]");
    }
  }
  lines.push_back("  CALL " + std::string(exitProcess));
  return lines;
}

}  // namespace brisko::pipeline
