// Synthetic compiler listings in the layout of the commented listing PureBasic writes, for the
// unit tests of the conversion stages, the benchmark (bench/) and the fuzz seeds (tests/fuzz/).
#pragma once

#include <string>
#include <vector>

namespace brisko::testing {

using Lines = std::vector<std::string>;

// The lines, each ended with CR LF.
std::string joinLines(const Lines& lines);

inline void append(Lines& lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

// A commented listing in the compiler's layout. The header names the libraries, the import
// libraries and the externals; the program part and the three sections are given line by
// line.
struct ListingText {
  std::string title = "test";            // the end of the header's "generated code" line
  Lines libraries = {"String"};          // the PureBasic libraries, before "; :System"
  Lines systemLibraries = {"KERNEL32"};  // after "; :System"
  Lines imports;                         // after "; :Import"
  Lines externs;  // "extrn " is put in front; an entry "; " stands for a group separator
  Lines program;  // the lines after "; :"
  Lines data = {"_SYS_StaticStringStart:", "align 4"};
  Lines bss = {"PB_DataPointer rd 1"};
  Lines finalData;

  // The header up to and including the "; :" that opens the program part.
  std::string head() const;
  // From the end of the program part to the end of the listing.
  std::string tail() const;
  std::string text() const { return head() + joinLines(program) + tail(); }
};

// The listing lines of a procedure: its source line, the macro opening, its entry label,
// the body and the closing "}".
Lines procedure(const std::string& sourceLine, int number, const Lines& body);

// A listing of the real compilers' layouts: a header (import library "user.lib", the externals
// _PB_Len@4 and _ExitProcess@4, the runtime's public _PB_ExecutableType, the pb_public and pb_align
// macros, the line "define fake real", any more header lines given, the start label's public line;
// trailing blanks as real listings may have them), the code section's start-up lines and the given
// rest.
std::string compilerLayoutListing(const Lines& rest, const Lines& moreHeader = {});

// A program with exported data, an exported procedure Get that calls the internal procedure
// Helper, which calls itself, and data of every kind the data-sections source takes.
ListingText sampleListing();

// A listing as the stand-in compiler writes it for a source of `procedures` procedures that
// call earlier procedures and library and Windows functions, and use Public variables and
// arrays, Global variables, a Global list, string constants and DataSection labels. The
// source lines go into the listing as its comment lines and are kept so that the source can
// be written out and compiled with the stand-in for comparison.
struct GeneratedProgram {
  std::string listing;
  std::string source;
};
// With x64, the program as an x64 compiler of 5.4x and later lays it out (procedures after the
// main program's end code, undecorated names, 64-bit calls and cells).
GeneratedProgram generateProgram(int procedures, bool x64 = false);

}  // namespace brisko::testing
