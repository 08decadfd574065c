// The one place that knows how the compiler's commented listing is laid out: where its header
// names the import libraries and the externals, which lines carry the program's source lines,
// where a procedure's code starts and ends, and where the data starts. The analysis and the
// splitter read the listing only through it, so another layout is taught here alone.
//
// Every line handed out is a view of the listing's text: the listing must outlive the reader and
// what it hands out.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "pipeline/listing_text.h"

namespace brisko::pipeline {

// What the listing's header declares, in the listing's order.
struct ListingHeader {
  std::vector<std::string_view> importLibraries;  // as written, spaces kept
  std::vector<std::string_view> externals;        // the extrn names, trimmed
};

class ListingReader {
 public:
  explicit ListingReader(const Listing& listing) : cursor_(listing) {}

  // Reads the header, from the start of the listing up to the program's first line. False
  // when the listing ends first (a marker line is missing).
  bool readHeader(ListingHeader& header);

  // The next line of the program (after readHeader): true with source set to the line's
  // PureBasic source text, trimmed, when it carries one, and empty otherwise. False once the
  // program is through: at its data (dataStart() then tells where it starts) or at the end of
  // the listing (ended()).
  bool nextProgramLine(std::string_view& source);
  // Right after a source line that declares a procedure: true with the label of the procedure's
  // code when the code starts there (the code's opening lines are read). False when it does not
  // (the next line stays for nextProgramLine) or when the listing ends first (ended()).
  bool procedureLabel(std::string_view& label);

  // Moves forward to the code of the procedure with the label (the label's line is read). False
  // when the listing ends first.
  bool seekProcedure(std::string_view label);
  // The next line of that procedure's code, trimmed. False at the end of the code, or when the
  // listing ends first (ended()).
  bool nextProcedureLine(std::string_view& line);

  // Where the data starts: the position of the listing's first "section" line, once
  // nextProgramLine has come to it.
  std::size_t dataStart() const { return dataStart_; }
  // True once a read found the end of the listing.
  bool ended() const { return ended_; }

 private:
  // The next line into line_ (with its start in lineStart_); false at the end of the listing.
  bool read();
  bool readUntil(std::string_view marker);

  ListingCursor cursor_;
  std::string_view line_;
  std::size_t lineStart_ = 0;
  // True when line_ was read ahead and is still to be handed out by nextProgramLine.
  bool pending_ = false;
  bool ended_ = false;
  std::size_t dataStart_ = 0;
};

}  // namespace brisko::pipeline
