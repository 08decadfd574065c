// Reading a compiler's commented listing. Each family of layouts has a reader of its own, in
// its own file, and only the readers know how a listing is laid out: where the header names the
// import libraries and the externals, which lines carry the program's source lines, where a
// procedure's code starts and ends, where the data starts, which data and bss items are the
// runtime's and which are the program's. The stages take what the readers hand out
// (listing_records.h), so a new layout, or a listing of another system, is one more reader.
//
// The family is recognised once, from the listing's own first lines (never from its version
// line or an option):
//   - classic: the program follows a marker line "; :" after the header, procedures are macros
//     ("macro MP<n>{" ... "}"), and all code stands ahead of the data;
//   - compilers: the layouts the real compilers write (4.2x to 6.x): no marker, the program
//     follows the code section's start-up lines, a procedure's code opens with a macro or with
//     its label alone (then ending at the next procedure or section), code may stand after the
//     data and bss, and the runtime keeps items of its own in the data and bss.
//
// A reader walks its listing forward; every text it hands out is a view of the listing's text,
// which must outlive the reader and what it hands out.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/listing/listing_records.h"
#include "pipeline/listing/listing_text.h"

namespace brisko::pipeline {

enum class LayoutFamily { classic, compilers };

// Thrown inside a stage's walk when the listing ends before a line it waits for.
struct ListingEndedEarly {};

class ListingReader {
 public:
  virtual ~ListingReader() = default;

  // The family of layouts the listing is written in, from its first lines.
  static LayoutFamily familyOf(const Listing& listing);
  // A reader for the listing, of its family.
  static std::unique_ptr<ListingReader> open(const Listing& listing, LayoutFamily family);

  // Reads the header, from the start of the listing up to the program's first line. False
  // when the listing ends first (a marker line is missing).
  bool readHeader(ListingHeader& header);

  // The next line of the program (after readHeader). False once the program is through: at the
  // data in the classic layout (dataStart() then tells where it starts) or at the end of the
  // listing (ended()); in the compilers' layouts, whose code goes on after the data, at the end
  // of the listing, with ended() true only when no data came. Lines of data and bss sections
  // are never handed out.
  virtual bool nextProgramLine(ProgramLine& line) = 0;
  // Right after a source line that declares a procedure: true with the label of the procedure's
  // code when the code starts there (its opening lines are read). False when it does not (the
  // next line stays for nextProgramLine) or when the listing ends first (ended()).
  virtual bool procedureLabel(std::string_view& label) = 0;

  // Moves forward to the code of the procedure with the label (the label's line is read). False
  // when the listing ends first.
  bool seekProcedure(std::string_view label);
  // The next line of that procedure's code, trimmed. False at the end of the code, or when the
  // listing ends first (ended()). A macro's code ends at a line "}"; other code at the next
  // procedure's source line or section line, which stays for the next seek.
  bool nextProcedureLine(std::string_view& line);

  // The lines of the data and bss that the data-sections source takes, from dataStart (the
  // listing's first data section line) to the end. Throws ListingEndedEarly when a section
  // line the layout must have is missing.
  std::vector<DataLine> readData(std::size_t dataStart);

  // Where the data starts: the position of the listing's first section line that is not a code
  // section, once nextProgramLine has come to it.
  std::size_t dataStart() const { return dataStart_; }
  // True once a read found the end of the listing.
  bool ended() const { return ended_; }
  // The runtime's items in the data and bss that nextProgramLine passed over: labels the program
  // linking the output defines (none in the classic layout).
  const std::vector<std::string>& runtimeItems() const { return runtimeItems_; }
  // True when procedures end the program by jumping to the main program's end code; the
  // data-sections source then provides its two labels (endOfProgramLabels) as a routine of its
  // own.
  virtual bool endsThroughMainCode() const = 0;

 protected:
  explicit ListingReader(const Listing& listing) : cursor_(listing) {}

  // The next line into line_ (with its start in lineStart_); false at the end of the listing.
  bool read();
  bool readUntil(std::string_view marker);
  // True when line_ is the source line of a procedure whose code opens on the next line (the
  // next line is looked at, not read).
  bool atProcedureSource();
  // After the header's externals: up to the program's first line.
  virtual bool findProgramStart(ListingHeader& header) = 0;

  // What the data rules of a layout add to the ones every layout shares.
  // A "name[:] d? values" line whose values the source takes: a procedure's static always.
  virtual bool isValueDefinition(std::string_view name) const = 0;
  // An item of the runtime, which stays the program's.
  virtual bool isRuntimeItem(std::string_view name) const = 0;
  // Any "name:" line of the bss is an array, any "name r? count" line a cell (else only the
  // "a_", "v_" and "t_" labels are); alignment lines of the DataSection are kept.
  virtual bool takesEveryBssItem() const = 0;
  // The listing may end in the bss: no DataSection follows.
  virtual bool mayEndInBss() const = 0;

  ListingCursor cursor_;
  std::string_view line_;
  std::size_t lineStart_ = 0;
  // True when line_ was read ahead and is still to be handed out by nextProgramLine.
  bool pending_ = false;
  bool ended_ = false;
  // Whether the line nextProgramLine handed out last stands in a procedure's code.
  bool inProcedure_ = false;
  // How the procedure being read ends: at a line "}" (macro) or at the next procedure or section.
  bool macroProcedure_ = true;
  std::size_t dataStart_ = 0;
  std::vector<std::string> runtimeItems_;

 private:
  // True while the lines read belong to a held item.
  bool holding_ = false;
  // A line that no rule took: the label of a program's item (the runtime's are never taken) is
  // handed out as held, and so are the data lines that follow a held label.
  void hold(std::vector<DataLine>& lines, std::string_view line);
  std::string_view nextDataLine();
  void readFirstData(std::vector<DataLine>& lines);
  void readBss(std::vector<DataLine>& lines);
  void readDataSection(std::vector<DataLine>& lines);
  // The next line of the bss, trimmed; the end of a listing that may end there stands for the
  // DataSection's section line.
  std::string_view nextBssLine();
};

// Shared by the readers: the text after the first n characters (whole UTF-8 sequences), the
// line opens a section, a code section, declares a procedure ("; Procedure...", "; ProcedureC",
// "; ProcedureDLL", "; ProcedureCDLL", any case), or is a procedure's label ("_Procedure<n>:").
std::string_view dropCharacters(std::string_view text, std::size_t n);
// A label as its kind is told by its prefix: the labels of a module's items carry the module's
// name and a dot in front ("sgl.v_count", "sgl.ll_proc_label"), which this drops; any other
// text is returned as it is.
std::string_view plainLabel(std::string_view name);
bool isSectionLine(std::string_view line);
bool isCodeSectionLine(std::string_view line);
bool declaresProcedure(std::string_view line);
bool isProcedureLabelLine(std::string_view line);

}  // namespace brisko::pipeline
