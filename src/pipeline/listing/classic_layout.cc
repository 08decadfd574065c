#include "pipeline/listing/classic_layout.h"

#include "platform/text.h"

namespace brisko::pipeline {

bool ClassicLayoutReader::findProgramStart(ListingHeader&) {
  return readUntil("; :");
}

// Source lines are the compiler's comments "; text"; the program runs up to the first
// "section" line.
bool ClassicLayoutReader::nextProgramLine(ProgramLine& line) {
  if (!pending_ && !read()) return false;
  pending_ = false;
  if (isSectionLine(line_)) {
    dataStart_ = lineStart_;
    return false;
  }
  line.text = platform::trimSpaces(line_);
  if (inProcedure_ && line.text == "}") inProcedure_ = false;
  line.inProcedure = inProcedure_;
  line.source =
      line_.starts_with("; ") ? platform::trimSpaces(line_.substr(2)) : std::string_view();
  line.mainLabel = {};
  return true;
}

// A procedure's code opens with a "macro MP" line right after its source line, followed by the
// line with its label.
bool ClassicLayoutReader::procedureLabel(std::string_view& label) {
  if (!read()) return false;
  if (!line_.starts_with("macro MP")) {
    pending_ = true;
    return false;
  }
  if (!read()) return false;
  label = platform::withoutLastCharacter(platform::trimSpaces(line_));
  inProcedure_ = true;
  macroProcedure_ = true;
  return true;
}

// Only a procedure's statics carry values of their own among the data.
bool ClassicLayoutReader::isValueDefinition(std::string_view name) const {
  return plainLabel(name).starts_with("so_");
}

}  // namespace brisko::pipeline
