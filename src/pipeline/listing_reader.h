// The one place that knows how the compiler's commented listing is laid out: where its header
// names the import libraries and the externals, which lines carry the program's source lines,
// where a procedure's code starts and ends, and where the data starts. The analysis and the
// splitter read the listing only through it, so another layout is taught here alone.
//
// Two families of layouts are read. The classic one marks the program's start with "; :" and
// keeps all code ahead of the data. The real compilers' layouts (4.2x to 6.x) have no marker:
// the program follows the code section's start-up lines, and procedures may stand in code
// sections after the data and bss. A procedure's code opens either with "macro MP<n>{" and its
// label, ending at a line "}", or with its label alone, ending at the next procedure or section.
//
// Every line handed out is a view of the listing's text: the listing must outlive the reader and
// what it hands out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/listing_text.h"

namespace brisko::pipeline {

// What the listing's header declares, in the listing's order.
enum class ListingLayout { classic, compiler };

struct ListingHeader {
  std::vector<std::string_view> importLibraries;  // as written, spaces kept
  std::vector<std::string_view> externals;        // the extrn names, trimmed
  ListingLayout layout = ListingLayout::classic;
  bool x64 = false;  // "format MS64 COFF": code for 64-bit Windows
  // The compilers' layouts: the names of the header's "public" lines (the runtime's items and
  // the start label, which the program that links the output defines) and its "define" lines
  // as written, trimmed.
  std::vector<std::string_view> publicNames;
  std::vector<std::string_view> defines;
};

class ListingReader {
 public:
  explicit ListingReader(const Listing& listing) : cursor_(listing) {}

  // Reads the header, from the start of the listing up to the program's first line. False
  // when the listing ends first (a marker line is missing).
  bool readHeader(ListingHeader& header);

  // The next line of the program (after readHeader): true with source set to the line's
  // PureBasic source text, trimmed, when it carries one, and empty otherwise. False once the
  // program is through: in the classic layout at its data (dataStart() then tells where it
  // starts) or at the end of the listing (ended()); in the compilers' layouts, whose code goes
  // on after the data, at the end of the listing, with ended() true only when no data came.
  // Lines of data and bss sections are never handed out.
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

  // Where the data starts: the position of the listing's first section line that is not a
  // code section, once nextProgramLine has come to it.
  std::size_t dataStart() const { return dataStart_; }
  // True once a read found the end of the listing.
  bool ended() const { return ended_; }
  // The line nextProgramLine handed out last, trimmed (a label, an instruction, a comment).
  std::string_view programLine() const;
  // True when that line stood inside a procedure's code.
  bool inProcedure() const { return inProcedure_; }
  // The runtime's items in the data and bss that nextProgramLine passed over (the compilers'
  // layouts): the names of "pb_public <name>" lines (with "_" in front as well) and the labels
  // of the runtime's cells and markers (PB_..., _PB_..., _SYS_..., I_BSS...), apart from the
  // two cells the output keeps, PB_DataPointer and PB_ExitCode.
  const std::vector<std::string>& runtimeItems() const { return runtimeItems_; }

 private:
  // The next line into line_ (with its start in lineStart_); false at the end of the listing.
  bool read();
  bool readUntil(std::string_view marker);
  // After the externals of a compiler layout's header: up to the program's first line.
  bool findProgramStart(ListingHeader& header);
  // True when line_ is the source line of a procedure whose code opens on the next line (the
  // next line is looked at, not read).
  bool atProcedureSource();
  // Records a runtime item that a data or bss line defines.
  void noteRuntimeItem(std::string_view line);

  ListingCursor cursor_;
  std::string_view line_;
  std::size_t lineStart_ = 0;
  // True when line_ was read ahead and is still to be handed out by nextProgramLine.
  bool pending_ = false;
  ListingLayout layout_ = ListingLayout::classic;
  // True inside a code section (the compilers' layouts: the program's lines are there alone).
  bool inCode_ = true;
  // How the procedure being read (or scanned by nextProgramLine) ends: at a line "}" (macro) or
  // at the next procedure or section.
  bool macroProcedure_ = true;
  bool ended_ = false;
  // Whether the line nextProgramLine handed out last stands in a procedure's code.
  bool inProcedure_ = false;
  std::size_t dataStart_ = 0;
  std::vector<std::string> runtimeItems_;
};

}  // namespace brisko::pipeline
