// The state of one conversion, handed to every stage: the request, the names the driver
// settles, the symbol list the analysis builds and the later stages read, and the log.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/configuration.h"
#include "app/services.h"
#include "pipeline/listing_text.h"
#include "toolchain/library_catalogue.h"

namespace brisko::pipeline {

// What a record of the symbol list stands for.
enum class SymbolKind : std::uint8_t {
  external,       // an extrn of the listing
  procedureDll,   // ProcedureDLL: exported, stdcall
  procedureCDll,  // ProcedureCDLL: exported, cdecl
  procedure,      // Procedure / ProcedureC: internal, named base + "_" + name
  localData,      // library output: a data label given a file-unique name
  array,          // Dim in a Public/Global declaration
  list,           // NewList in a Public/Global declaration
  variable,       // variable in a Public/Global declaration
  alias,          // a "define <alias> <text>" line of the header; outputName holds the text
  mainLabel,      // a label of the main program's code, which no output holds
};

// What the wrapper's Import line of an item is formed from (wrapper_declarations.h), as the
// analysis found it on the item's source line.
struct DeclarationParts {
  // The ".type" the line gives: a procedure's return type, a variable's type; empty when none.
  std::string type;
  // The default type suffix in force at the line (".l" until a "Define.type" line).
  std::string defaultType;
  // Procedures: the tokens after the name, up to a comment.
  std::vector<std::string> parameters;
};

struct SymbolRecord {
  std::string asmName;     // the symbol as the listing writes it
  std::string outputName;  // its name in the generated sources; empty for externals
  SymbolKind kind = SymbolKind::external;
  // Exported data always, procedures when a wrapper is wanted; none for the rest.
  std::optional<DeclarationParts> declaration;
  std::uint8_t referenced = 0;  // externals: set once a procedure or data line uses it
};

inline bool isProcedureKind(SymbolKind kind) {
  return kind == SymbolKind::procedureDll || kind == SymbolKind::procedureCDll ||
         kind == SymbolKind::procedure;
}

// Data that the data-sections source defines and declares public: the local data labels and
// the exported arrays, lists and variables.
inline bool isDataKind(SymbolKind kind) {
  return kind == SymbolKind::localData || kind == SymbolKind::array || kind == SymbolKind::list ||
         kind == SymbolKind::variable;
}

// The conversion's symbols in the order they were found. Records are only appended, so
// references to them stay valid; a lookup by asmName finds the first record with that name
// through an index instead of walking the list.
class SymbolList {
 public:
  void clear();
  SymbolRecord& append(SymbolRecord record);
  SymbolRecord* find(std::string_view asmName) {
    const std::size_t i = positionOf(asmName);
    return i == kNone ? nullptr : &records_[i];
  }
  const SymbolRecord* find(std::string_view asmName) const {
    const std::size_t i = positionOf(asmName);
    return i == kNone ? nullptr : &records_[i];
  }

  static constexpr std::size_t kNone = ~std::size_t{0};
  // The position of the first record with the name, or kNone.
  std::size_t positionOf(std::string_view asmName) const {
    return mayHold(asmName) ? indexedPosition(asmName) : kNone;
  }

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  SymbolRecord& operator[](std::size_t i) { return records_[i]; }
  const SymbolRecord& operator[](std::size_t i) const { return records_[i]; }
  auto begin() { return records_.begin(); }
  auto end() { return records_.end(); }
  auto begin() const { return records_.begin(); }
  auto end() const { return records_.end(); }

 private:
  // Most tokens looked up are no symbol at all (mnemonics, registers, numbers). A bit per
  // first byte and length (up to 63) of the names held turns most of them away before hashing.
  bool mayHold(std::string_view name) const {
    if (name.empty()) return !records_.empty();
    const std::size_t bit = name.size() < 64 ? name.size() : 63;
    return (lengths_[static_cast<unsigned char>(name[0])] >> bit) & 1u;
  }
  std::size_t indexedPosition(std::string_view name) const;
  void note(std::string_view name);

  // The index: open addressing over slots that hold part of a name's hash and the position
  // of the first record with that name (plus one; 0 marks a free slot), kept at most three
  // quarters full.
  struct Slot {
    std::uint32_t tag = 0;
    std::uint32_t position = 0;
  };
  std::size_t findSlot(std::string_view name, std::size_t hash) const;
  void grow();

  std::deque<SymbolRecord> records_;
  std::vector<Slot> slots_;
  std::size_t indexed_ = 0;
  std::uint64_t lengths_[256] = {};
};

// The form of a file's base name that symbols carry: every character other than an ASCII
// letter, digit or "_" becomes "_" (one per character, not per byte), and a leading digit gets
// a "_" in front, so "my lib(2)" gives "my_lib_2_" and "2024" gives "_2024". FASM and
// PureBasic accept the result as part of a name.
std::string symbolFormOf(std::string_view baseName);

// One conversion. The driver fills the request part and the names; the stages read them and
// add to the symbol list, the import libraries and the export count.
struct Conversion {
  Conversion(app::Services& services_, std::string sourcePath_, std::string destination_,
             app::ConversionOptions options_)
      : services(services_),
        sourcePath(std::move(sourcePath_)),
        destination(std::move(destination_)),
        options(options_) {}

  app::Services& services;
  std::string sourcePath;
  std::string destination;  // with its trailing separator
  app::ConversionOptions options;
  // The installation's library functions, for the wrapper's dummy calls; none means empty.
  const toolchain::LibraryCatalogue* catalogue = nullptr;
  // How many FASM runs are kept going at once while a library's sources are assembled; 1
  // assembles them one after another.
  int jobs = 1;

  std::string sourceBaseName;
  std::string asmListingPath;
  std::string importLibraries;  // each name followed by ","
  int exportCount = 0;
  // Where the listing's data starts: the position (ListingCursor::position) of its first
  // "section" line, as the analysis found it.
  std::size_t dataStart = 0;
  // True for the layouts of the real compilers (procedures may jump to the main program's end
  // code, which the data-sections source then provides).
  bool compilerLayout = false;
  // True for code of 64-bit Windows ("format MS64 COFF"): the generated sources and the
  // library are made for it.
  bool x64 = false;
  SymbolList symbols;
  // Internal procedures whose name an earlier one of another module has: the name (with its
  // module) and the output name given instead, as the analysis found them.
  std::vector<std::pair<std::string, std::string>> renamedProcedures;
  // The "public" lines inside procedures' code (inline assembly), trimmed, with the position of
  // the procedure: a line that names a label another source defines moves to that source.
  struct BodyPublic {
    std::string line;
    std::size_t procedure = 0;
  };
  std::vector<BodyPublic> bodyPublics;
  // The files a successful run leaves for the user (the object or library, the wrapper), as
  // they are written.
  std::vector<std::string> writtenFiles;

  // The listing as read by the first stage that needed it; later stages reuse it instead of
  // reading and decoding the same file again.
  const Listing* readListing();

  // The base name as symbols carry it (symbolFormOf(sourceBaseName)).
  std::string symbolBase() const { return symbolFormOf(sourceBaseName); }
  // The format line of the generated sources.
  std::string_view formatLine() const { return x64 ? "format MS64 COFF" : "format MS COFF"; }
  bool libraryOutput() const { return options.outputFormat == app::OutputFormat::staticLibrary; }
  bool has(app::OptionBit bit) const { return options.has(bit); }
  // destination + "Source" / "Bin" + separator.
  std::string sourceFolder() const;
  std::string binFolder() const;
  // Source/briskoObjects/: where a library's objects are assembled and packed, so that nothing
  // of the user's in Bin/ is ever touched by the clean-up around a library build.
  std::string objectFolder() const;
  // The name (without ".asm") of a procedure's source: its outputName, except that an
  // internal procedure's file carries the real base name where its symbol carries the
  // symbol form.
  std::string procedureFileStem(const SymbolRecord& procedure) const;
  // A file of Bin/ as the log names it, relative to Logs/: "../Bin/" + name.
  static std::string binPathFromLogs(std::string_view name);

  const std::string& text(language::TextId id) const { return services.feedback.text(id); }
  void poll() { services.window.pollEvents(); }

  // The conversion log while one is open (the driver attaches it to the feedback).
  app::LogSink* log() const { return services.feedback.activeLog(); }
  // Starts a progress line: the text, a space, the name in double quotes and " ......".
  void logProgress(language::TextId id, std::string_view name);
  // Ends the pending progress line with "no errors!" or "Error!".
  void logOutcome(bool ok);
  void logLine(std::string_view line);
  // Ends the pending progress line with "Error!", reports the text with the path as detail
  // and returns the failure.
  app::Outcome failWith(language::TextId id, std::string_view path);

 private:
  std::optional<Listing> listing_;
  std::string listingPath_;
};

}  // namespace brisko::pipeline
