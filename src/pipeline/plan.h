// What a conversion writes and assembles, as the split lays it out: each generated source with
// the symbols it defines for the others and the symbols it needs from outside, and what FASM
// makes of it (the object of object output, one library member per source of a library).
// Assembling, archiving and the checks take this plan instead of looking into folders.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace brisko::pipeline {

// A symbol a source needs from outside, and what in the source names it (a procedure, a data
// item's label).
struct Need {
  std::string symbol;
  std::string referrer;
  bool operator==(const Need&) const = default;
};

struct PlannedSource {
  enum class Role { procedure, dataSections, linkSource };
  Role role = Role::procedure;
  // The file in Source/ ("<name>.asm"); a library member is the same name with ".obj".
  std::string fileName;
  // What messages call the source's contents: a procedure's output name; empty for the data.
  std::string shownName;
  // The symbols the source defines for the others, and those it needs from outside, in order,
  // as the linker names them.
  std::vector<std::string> defines;
  std::vector<Need> needs;
  // A library member's sections: how many "section" lines its source has (the member's part of
  // the combined source holds them in the same order).
  std::size_t sections = 0;

  // The object FASM makes of the source: the file name with ".obj" for ".asm".
  std::string objectName() const;
};

struct OutputPlan {
  bool library = false;
  // In Bin/: "<base>.obj" or "<base>.lib".
  std::string outputName;
  // Procedures in the listing's order, then the data-sections source, then (object output
  // only) the link source that includes them all.
  std::vector<PlannedSource> sources;

  // The sources FASM runs on: a library's members, or the link source alone.
  std::vector<const PlannedSource*> assembled() const;
};

// The number of "section" lines of an assembly source text.
std::size_t sectionLinesOf(std::string_view text);

}  // namespace brisko::pipeline
