#include "pipeline/split_procedures.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "language/text_ids.h"
#include "pipeline/generated_source.h"
#include "pipeline/listing/listing_reader.h"
#include "pipeline/ordered_source_writer.h"
#include "pipeline/split_tokens.h"
#include "pipeline/symbol_names.h"
#include "platform/paths.h"

namespace brisko::pipeline {
namespace {

bool isBodyDelimiter(std::string_view token) {
  if (token.size() != 1) return false;
  const char c = token[0];
  return c == ',' || c == '+' || c == '[' || c == ']';
}

class Splitter {
 public:
  Splitter(Conversion& conversion, const Listing& listing)
      : conversion_(conversion),
        feedback_(conversion.services.feedback),
        listing_(listing),
        reader_(ListingReader::open(listing, conversion.listing.family)),
        library_(conversion.settings.library()),
        header_(headerBlock(conversion.services.clock.now())),
        usedIn_(conversion.symbols.size(), 0) {
    // A library's sources are assembled one by one, and FASM makes public only what the source
    // defines: a "public" line of inline assembly goes with the label it names.
    if (library_) {
      for (const InlinePublic& moved : conversion.listing.inlinePublics) {
        const std::size_t target = publicLineTarget(conversion.symbols, moved.line);
        if (target != SymbolList::kNone && target != moved.procedure) {
          movedPublics_[target].push_back(&moved.line);
        }
      }
    }
  }

  app::Outcome run() {
    for (std::size_t i = 0; i < conversion_.symbols.size(); ++i) {
      conversion_.poll();
      const SymbolRecord& record = conversion_.symbols[i];
      if (!isProcedureKind(record.kind)) continue;
      position_ = i;
      if (const app::Outcome result = writeProcedure(record); !result.succeeded()) return result;
    }
    return writer_.collectAll();
  }

 private:
  enum class Built { written, listingEnded, mainLabelUsed };

  // Fills a source with build() and hands it to the ordered writer, which stores it while the
  // next sources are built. A listing that ends inside the source fails with invalidFile once
  // the sources before it are through. Reports and returns a failure.
  template <typename Build>
  app::Outcome writeSource(const std::string& name, Build build) {
    feedback_.setStatusDetail(std::string(kSourceFolderName) + platform::kPathSeparator + name);
    SourceText& out = out_;
    out.clear();
    out.append(header_);
    const Built built = build(out);
    if (built != Built::written) {
      if (const app::Outcome result = writer_.collectAll(); !result.succeeded()) return result;
      writer_.startLogLine(name);
      if (built == Built::listingEnded) {
        return conversion_.failWith(language::TextId::invalidFile, conversion_.listingPath);
      }
      conversion_.logOutcome(false);
      return feedback_.reportError(language::TextId::mainProgramLabel, false,
                                   "\n(" + procedureName_ + ": " + mainLabel_ + ")");
    }
    return writer_.store(name, out.raw());
  }

  app::Outcome writeProcedure(const SymbolRecord& procedure) {
    const std::string name = procedure.fileStem + ".asm";
    PlannedSource& planned = conversion_.plan.sources.emplace_back();
    planned.fileName = name;
    planned.shownName = procedure.outputName;
    return writeSource(name, [&](SourceText& out) {
      if (!reader_->seekProcedure(procedure.asmName)) return Built::listingEnded;

      std::size_t fragmentStart = 0;
      if (library_) {
        out.line(conversion_.listing.target.formatLine());
        out.line("");
        fragmentStart = out.text().size();
        out.line("section '.code' code readable executable");
        out.line("");
      }
      externs_.clear();
      ++procedureStamp_;
      procedureName_ = procedure.outputName;
      planned.defines.push_back(procedure.outputName);
      if (procedure.kind != SymbolKind::procedure || library_) {
        out.line(publicLine(procedure));
        if (const auto moved = movedPublics_.find(position_); moved != movedPublics_.end()) {
          for (const std::string* line : moved->second) rewriteBodyLine(*line, out);
        }
        out.line("");
      }
      out.line(symbolLabel(procedure) + ":");

      std::string_view line;
      while (reader_->nextProcedureLine(line)) {
        if (line.starts_with(";")) continue;
        if (library_ && line.starts_with("public ")) {
          const std::size_t target = publicLineTarget(conversion_.symbols, line);
          if (target != SymbolList::kNone && target != position_) continue;  // moved
        }
        if (line.empty()) {
          out.line("");
          continue;
        }
        rewriteBodyLine(line, out);
      }
      if (reader_->ended()) return Built::listingEnded;
      if (!mainLabel_.empty()) return Built::mainLabelUsed;

      if (library_) {
        // The member's part of the combined source: what it defines, not what it declares.
        const std::string_view fragment =
            std::string_view(out.text()).substr(fragmentStart, out.text().size() - fragmentStart);
        conversion_.combined.addProcedure(fragment);
        planned.sections = sectionLinesOf(fragment);
        out.line("");
      }
      for (const SymbolRecord* record : externs_) {
        // A procedure that calls itself defines what it refers to.
        if (record == &procedure) continue;
        if (library_) out.line(externLine(*record));
        planned.needs.push_back({linkName(*record), procedure.outputName});
      }
      return Built::written;
    });
  }

  // Writes the line's tokens, each followed by one space, the first after two spaces, with
  // the names of symbols replaced.
  void rewriteBodyLine(std::string_view line, SourceText& out) {
    out.append("  ");
    forEachToken(line, bodyLineDelimiters(), QuoteRule::assembly, [&](std::string_view token) {
      // An alias is written as the text it stands for, with a symbol's name replaced.
      const std::size_t position = isBodyDelimiter(token)
                                       ? SymbolList::kNone
                                       : positionNamedBy(conversion_.symbols, token, token);
      if (position == SymbolList::kNone) {
        out.append(token);
      } else if (SymbolRecord& record = conversion_.symbols[position];
                 record.kind == SymbolKind::mainLabel) {
        // No output holds the main program's code: reported once the procedure is written.
        if (mainLabel_.empty()) mainLabel_ = record.asmName;
        out.append(token);
      } else {
        // What the data-sections source must provide: an external is marked used, held data
        // is taken along.
        if (record.kind == SymbolKind::external || record.kind == SymbolKind::heldData) {
          record.referenced = 1;
        }
        appendSymbolLabel(out.raw(), record);
        // Each symbol joins the extern list once, at its first use in the procedure.
        if (usedIn_[position] != procedureStamp_) {
          usedIn_[position] = procedureStamp_;
          externs_.push_back(&record);
        }
      }
      out.append(' ');
    });
    out.endLine();
  }

  Conversion& conversion_;
  app::Feedback& feedback_;
  const Listing& listing_;
  // The procedures' code, in the listing's order.
  std::unique_ptr<ListingReader> reader_;
  const bool library_;
  // One reading of the clock dates every source of the run.
  const std::string header_;
  SourceText out_;  // the source being built; its memory and the writer's take turns
  OrderedSourceWriter writer_{conversion_, listing_};
  std::vector<const SymbolRecord*> externs_;
  // Per record, the last procedure (by number) whose extern list took it.
  std::vector<std::uint32_t> usedIn_;
  std::uint32_t procedureStamp_ = 0;
  // The position of the procedure being written, and the "public" lines that other procedures'
  // code holds for each procedure or data label (library output).
  std::size_t position_ = 0;
  std::unordered_map<std::size_t, std::vector<const std::string*>> movedPublics_;
  // The procedure being written, and the first label of the main program it names.
  std::string procedureName_;
  std::string mainLabel_;
};

}  // namespace

app::Outcome splitProcedures(Conversion& conversion) {
  app::Feedback& feedback = conversion.services.feedback;
  if (conversion.listing.exportCount == 0) {
    return feedback.reportError(language::TextId::noExports, false,
                                app::pathDetail(conversion.settings.sourcePath));
  }
  feedback.setStatus(language::TextId::statusbarSplittingAsmFunctions);
  conversion.logLine(conversion.text(language::TextId::objectSplittingAsmFunctions));
  for (const auto& [name, outputName] : conversion.listing.renamedProcedures) {
    conversion.logLine(conversion.text(language::TextId::renamedProcedure) + " \"" + name +
                       "\" -> \"" + outputName + "\"");
  }

  const Listing* listing = conversion.readListing();
  if (!listing) {
    return feedback.reportError(language::TextId::openingFileError, false,
                                app::pathDetail(conversion.listingPath));
  }
  if (conversion.settings.library()) {
    conversion.combined.start(conversion.services.files, conversion.output.objectFolder(),
                              conversion.output.baseName(), *listing);
  }
  return Splitter(conversion, *listing).run();
}

}  // namespace brisko::pipeline
