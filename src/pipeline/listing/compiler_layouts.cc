#include "pipeline/listing/compiler_layouts.h"

#include "platform/text.h"

namespace brisko::pipeline {
namespace {

using platform::trimSpaces;

// A label of the runtime's items in the data and bss (PB_..., _PB_..., SYS_..., _SYS_...,
// I_BSS..., pb_...), which the program linking the output defines.
bool isRuntimeItemName(std::string_view name) {
  return name.starts_with("PB_") || name.starts_with("_PB_") || name.starts_with("_SYS_") ||
         name.starts_with("SYS_") || name.starts_with("I_BSS") || name.starts_with("pb_");
}

// The label a line of the main program's code defines ("name:"; local ".name" labels and the
// end code's entry labels aside), or an empty text.
std::string_view mainLabelOf(std::string_view line) {
  if (line.size() < 2 || line.back() != ':' || line.front() == '.' || line.front() == ';') {
    return {};
  }
  const std::string_view name = line.substr(0, line.size() - 1);
  if (name.find_first_of(" \t") != std::string_view::npos) return {};
  if (name == CompilerLayoutReader::kEndWithValue || name == CompilerLayoutReader::kEndNoValue) {
    return {};
  }
  return name;
}

}  // namespace

// The header goes on with macro definitions, the runtime's and the start label's "public" lines
// and "define" lines; the program starts with the first source line (or section line) after
// the code section's line.
bool CompilerLayoutReader::findProgramStart(ListingHeader& header) {
  bool inCode = false;
  bool inMacro = false;  // the lines of a macro's definition ("{" to "}") declare nothing
  for (bool first = true;; first = false) {
    // The line that ended the externals is the first public line.
    if (!first && !read()) return false;
    const std::string_view line = trimSpaces(line_);
    if (!inCode) {
      inCode = isCodeSectionLine(line_);
      if (line == "{" || line == "}") {
        inMacro = line == "{";
      } else if (inMacro) {
        // a line of a macro's body
      } else if (line.starts_with("public ")) {
        header.publicNames.push_back(trimSpaces(line.substr(7)));
      } else if (line.starts_with("define ")) {
        header.defines.push_back(line);
      }
    } else if (isSectionLine(line_) || (line.starts_with("; ") && line.size() > 2)) {
      pending_ = true;
      return true;
    }
  }
}

// The code goes on after the data and bss; their lines are passed over, noting the runtime's
// items.
bool CompilerLayoutReader::nextProgramLine(ProgramLine& line) {
  for (;;) {
    if (!pending_ && !read()) {
      ended_ = dataStart_ == 0;
      return false;
    }
    pending_ = false;
    if (isSectionLine(line_)) {
      inCode_ = isCodeSectionLine(line_);
      inProcedure_ = false;
      if (!inCode_ && dataStart_ == 0) dataStart_ = lineStart_;
      continue;
    }
    if (inCode_) break;
    noteRuntimeItem(trimSpaces(line_));
  }
  line.text = trimSpaces(line_);
  // A macro's code ends at a line "}"; other code runs on to the next procedure or section.
  if (inProcedure_ && macroProcedure_ && line.text == "}") inProcedure_ = false;
  line.inProcedure = inProcedure_;
  line.source = line_.starts_with("; ") ? trimSpaces(line_.substr(2)) : std::string_view();
  line.mainLabel =
      !inProcedure_ && line.source.empty() ? mainLabelOf(line.text) : std::string_view();
  return true;
}

// A procedure's code opens with its label line, or with a "macro MP" line and then the label.
bool CompilerLayoutReader::procedureLabel(std::string_view& label) {
  if (!read()) return false;
  if (isProcedureLabelLine(line_)) {
    label = platform::withoutLastCharacter(trimSpaces(line_));
    inProcedure_ = true;
    macroProcedure_ = false;
    return true;
  }
  if (!line_.starts_with("macro MP")) {
    pending_ = true;
    return false;
  }
  if (!read()) return false;
  label = platform::withoutLastCharacter(trimSpaces(line_));
  inProcedure_ = true;
  macroProcedure_ = true;
  return true;
}

void CompilerLayoutReader::noteRuntimeItem(std::string_view line) {
  if (line.starts_with("pb_public ")) {
    const std::string_view name = trimSpaces(line.substr(10));
    runtimeItems_.emplace_back(name);
    runtimeItems_.push_back("_" + std::string(name));
    return;
  }
  const std::string_view name = line.substr(0, std::min(line.find_first_of(": "), line.size()));
  if (name == "PB_DataPointer" || name == "PB_ExitCode" || name.size() == line.size()) return;
  if (isRuntimeItemName(name)) runtimeItems_.emplace_back(name);
}

// Any item but the runtime's and the string table's carries values of its own.
bool CompilerLayoutReader::isValueDefinition(std::string_view name) const {
  return plainLabel(name).starts_with("so_") ||
         (!isRuntimeItemName(name) && !name.starts_with("_S"));
}

bool CompilerLayoutReader::isRuntimeItem(std::string_view name) const {
  return isRuntimeItemName(name);
}

}  // namespace brisko::pipeline
