// One conversion, handed to every stage: what was asked (read-only), where it writes, the
// symbol table the analysis builds, what each stage found or made, and the log.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/configuration.h"
#include "app/services.h"
#include "pipeline/combined_source.h"
#include "pipeline/listing/listing_reader.h"
#include "pipeline/listing/listing_text.h"
#include "pipeline/output_layout.h"
#include "pipeline/plan.h"
#include "pipeline/symbol_table.h"
#include "pipeline/target.h"
#include "toolchain/library_catalogue.h"

namespace brisko::pipeline {

// How a conversion that is one build of several (the thread variants, the other processor's)
// differs from a conversion of its own.
struct BuildRole {
  // The name of Bin/'s object or library without its extension; empty for the base name.
  std::string outputStem;
  // The processor the installation was named for: a listing for another one stops the
  // conversion before a source is written (installationTarget, naming the installation).
  std::optional<Target> expectedTarget;
  // The caller holds the destination's lock for the whole run of builds.
  bool destinationLocked = false;
  // With the wrapper asked for, its part is handed back (ConversionResult::wrapperPart) for a
  // wrapper of all builds instead of Bin/<base>.pbi being written.
  bool handBackWrapper = false;
};

// What was asked.
struct ConversionSettings {
  std::string sourcePath;
  app::ConversionOptions options;
  // How many FASM runs are kept going at once while a library's sources are assembled; 1
  // assembles them one after another.
  int jobs = 1;
  // The installation's library functions, for the wrapper's dummy calls; none means empty.
  const toolchain::LibraryCatalogue* catalogue = nullptr;

  bool has(app::OptionBit bit) const { return options.has(bit); }
  bool library() const { return options.outputFormat == app::OutputFormat::staticLibrary; }
};

// A "public" line inside a procedure's code (inline assembly), trimmed, with the position of
// the procedure's record: a line that names a label another source defines moves to it.
struct InlinePublic {
  std::string line;
  std::size_t procedure = 0;
};

// What the analysis found in the listing besides the symbols.
struct ListingFacts {
  LayoutFamily family = LayoutFamily::classic;
  // From the listing's format line; for reused sources, from the data-sections source's.
  Target target;
  // True when procedures end the program through the main program's end code, which the
  // data-sections source then provides.
  bool endsThroughMainCode = false;
  std::vector<std::string> importLibraries;  // as the header names them, in its order
  int exportCount = 0;
  // Where the data starts: the position (ListingCursor::position) of its first section line.
  std::size_t dataStart = 0;
  // Internal procedures whose name an earlier one of another module has: the name (with its
  // module) and the output name given instead.
  std::vector<std::pair<std::string, std::string>> renamedProcedures;
  std::vector<InlinePublic> inlinePublics;

  // The data and bss lines the data-sections source is made of (views of the listing's text),
  // the name each line's label carries in the output (empty where it defines none) and, for
  // held lines, the position of their item's record (SymbolList::kNone otherwise).
  std::vector<DataLine> dataLines;
  std::vector<std::string> dataNames;
  std::vector<std::size_t> heldItems;
  // The records of the main program's end labels, when procedures end the program through
  // them: held until a procedure jumps there.
  std::size_t endNoValue = SymbolList::kNone;
  std::size_t endWithValue = SymbolList::kNone;
  // The variables whose initial value a declaration of the main program sets (initial_values.h),
  // which the output never assigns.
  std::vector<std::string> lostInitialValues;
};

class Conversion {
 public:
  Conversion(app::Services& services_, ConversionSettings settings_, OutputLayout output_,
             BuildRole role_ = {})
      : services(services_),
        settings(std::move(settings_)),
        output(std::move(output_)),
        role(std::move(role_)) {
    plan.library = settings.library();
    const std::string& stem = role.outputStem.empty() ? output.baseName() : role.outputStem;
    plan.outputName = stem + (plan.library ? ".lib" : ".obj");
  }

  app::Services& services;
  const ConversionSettings settings;
  const OutputLayout output;
  const BuildRole role;
  // The compiler's listing while the stages run.
  std::string listingPath;

  SymbolList symbols;
  ListingFacts listing;
  OutputPlan plan;
  // A library made in this run: the source of its one FASM run, written by the split and the
  // data-sections stage.
  CombinedSource combined;
  // The files a successful run leaves for the user (the object or library, the wrapper), as
  // they are written.
  std::vector<std::string> writtenFiles;

  // The listing as read by the first stage that needed it; later stages reuse it instead of
  // reading and decoding the same file again.
  const Listing* readListing();
  // Lets the listing's text go once no stage needs it any more, with the data lines that are
  // views of it and what the data-sections source took from them.
  void releaseListing();

  bool has(app::OptionBit bit) const { return settings.has(bit); }
  // The name (without ".asm") a procedure's source is given first: its outputName, except that
  // an internal procedure's file carries the real base name where its symbol carries the symbol
  // form. (The analysis settles the file's name, SymbolRecord::fileStem, from it.)
  std::string procedureFileStem(const SymbolRecord& procedure) const;

  const std::string& text(language::TextId id) const { return services.feedback.text(id); }
  void poll() { services.window.pollEvents(); }

  // The conversion log while one is open (the driver attaches it to the feedback).
  app::LogSink* log() const { return services.feedback.activeLog(); }
  // Starts a progress line: the text, a space, the name in double quotes and " ......".
  void logProgress(language::TextId id, std::string_view name);
  // Ends the pending progress line with "no errors!" or "Error!".
  void logOutcome(bool ok);
  void logLine(std::string_view line);
  // Ends the pending progress line with "Error!", reports the text with the path (and the
  // system's reason, when it gave one) as detail and returns the failure.
  app::Outcome failWith(language::TextId id, std::string_view path, std::string_view reason = {});

 private:
  std::optional<Listing> listing_;
  std::string listingPath_;
};

}  // namespace brisko::pipeline
