#include "pipeline/plan.h"

#include "platform/paths.h"

namespace brisko::pipeline {

std::string PlannedSource::objectName() const {
  return std::string(platform::withoutExtension(fileName)) + ".obj";
}

std::vector<const PlannedSource*> OutputPlan::assembled() const {
  std::vector<const PlannedSource*> assembled;
  for (const PlannedSource& source : sources) {
    if ((source.role == PlannedSource::Role::linkSource) != library) assembled.push_back(&source);
  }
  return assembled;
}

std::size_t sectionLinesOf(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (line.starts_with("section ")) ++count;
    start = end + 1;
  }
  return count;
}

}  // namespace brisko::pipeline
