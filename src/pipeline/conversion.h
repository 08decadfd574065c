// The state of one conversion, handed to every stage: the request, the names the driver
// settles, the symbol list the analysis builds and the later stages read, and the log.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

#include "app/configuration.h"
#include "app/services.h"

namespace brisko::pipeline {

// Values of SymbolRecord::kind.
enum SymbolKind : std::uint8_t {
  kExternal = 0,       // an extrn of the listing
  kProcedureDll = 1,   // ProcedureDLL: exported, stdcall
  kProcedureCDll = 2,  // ProcedureCDLL: exported, cdecl
  kProcedure = 3,      // Procedure / ProcedureC: internal, named base + "_" + name
  kLocalData = 4,      // library output: a data label given a file-unique name
  kArray = 5,          // Dim in a Public/Global declaration
  kList = 6,           // NewList in a Public/Global declaration
  kVariable = 7,       // variable in a Public/Global declaration
};

struct SymbolRecord {
  std::string asmName;     // the symbol as the listing writes it
  std::string outputName;  // its name in the generated sources; empty for externals
  std::uint8_t kind = kExternal;
  std::string declaration;      // the wrapper's Import line; may be empty
  std::uint8_t referenced = 0;  // externals: set once a procedure or data line uses it
};

inline bool isProcedureKind(std::uint8_t kind) {
  return kind == kProcedureDll || kind == kProcedureCDll || kind == kProcedure;
}

// The conversion's symbols in the order they were found. Records are only appended, so
// references to them stay valid; a lookup by asmName finds the first record with that name
// through an index instead of walking the list.
class SymbolList {
 public:
  void clear();
  SymbolRecord& append(SymbolRecord record);
  SymbolRecord* find(std::string_view asmName);
  const SymbolRecord* find(std::string_view asmName) const;
  // Position of a record of this list (its index in list order).
  std::size_t indexOf(const SymbolRecord& record) const;

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  SymbolRecord& operator[](std::size_t i) { return records_[i]; }
  const SymbolRecord& operator[](std::size_t i) const { return records_[i]; }
  auto begin() { return records_.begin(); }
  auto end() { return records_.end(); }
  auto begin() const { return records_.begin(); }
  auto end() const { return records_.end(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::deque<SymbolRecord> records_;
  std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> firstIndex_;
};

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

  std::string sourceBaseName;
  std::string asmListingPath;
  std::string importLibraries;  // each name followed by ","
  int exportCount = 0;
  SymbolList symbols;

  bool libraryOutput() const { return options.outputFormat == app::OutputFormat::staticLibrary; }
  bool has(app::OptionBit bit) const { return options.has(bit); }
  // destination + "Source" / "Bin" + separator.
  std::string sourceFolder() const;
  std::string binFolder() const;

  const std::string& text(int index) const { return services.feedback.text(index); }
  void poll() { services.window.pollEvents(); }

  // The conversion log while one is open (the driver attaches it to the feedback).
  app::LogSink* log() const { return services.feedback.activeLog(); }
  // Starts a progress line: the text, a space, the name in double quotes and " ......".
  void logProgress(int textIndex, std::string_view name);
  // Ends the pending progress line with "no errors!" or "Error!".
  void logOutcome(bool ok);
  void logLine(std::string_view line);
};

}  // namespace brisko::pipeline
