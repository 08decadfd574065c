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

}  // namespace brisko::pipeline
