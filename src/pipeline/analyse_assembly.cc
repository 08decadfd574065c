#include "pipeline/analyse_assembly.h"

#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "language/text_ids.h"
#include "pipeline/data_names.h"
#include "pipeline/initial_values.h"
#include "pipeline/listing/listing_reader.h"
#include "pipeline/split_tokens.h"
#include "pipeline/symbol_names.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

// The lower-case form of a token that may be a keyword (at most 16 characters, the length of
// "enddeclaremodule"); longer tokens are never keywords and give an empty text, so no token
// costs an allocation.
std::string_view keywordOf(std::string_view token, char (&buffer)[17]) {
  if (token.size() > 16) return {};
  for (std::size_t i = 0; i < token.size(); ++i) {
    buffer[i] = platform::asciiLower(token[i]);
  }
  return std::string_view(buffer, token.size());
}

// "." followed by a type name.
std::string typeSuffix(std::string_view type) {
  std::string suffix(".");
  suffix += type;
  return suffix;
}

// Thrown when two exported procedures have one name.
struct RepeatedExport {
  std::string first;
  std::string second;
};

class Analysis {
 public:
  Analysis(Conversion& conversion, const Listing& listing)
      : conversion_(conversion), reader_(ListingReader::open(listing, conversion.listing.family)) {}

  app::Outcome run() {
    try {
      readHeader();
      scanSourceLines();
    } catch (const ListingEndedEarly&) {
      return conversion_.failWith(language::TextId::invalidFile, conversion_.listingPath);
    } catch (const RepeatedExport& repeated) {
      conversion_.logOutcome(false);
      return conversion_.services.feedback.reportError(
          language::TextId::repeatedExport, false,
          "\n(" + repeated.first + ", " + repeated.second + ")");
    }
    giveInternalProceduresFreeNames();
    giveProceduresFileNames();
    try {
      nameDataItems(conversion_, reader_->readData(conversion_.listing.dataStart));
    } catch (const ListingEndedEarly&) {
      return conversion_.failWith(language::TextId::invalidFile, conversion_.listingPath);
    }
    return app::ok();
  }

 private:
  // An internal procedure's name (base + "_" + name) may be taken already: an exported
  // procedure or variable of that name ("Procedure Helper" beside "ProcedureDLL lib_Helper"),
  // another internal procedure, or a generated file's name. Names are compared without regard
  // to case, as their source files are on Windows. The internal one gives way: it gets the
  // first free name of the form name_2, name_3, ...
  void giveInternalProceduresFreeNames() {
    std::unordered_set<std::string> taken;
    for (const SymbolRecord& record : conversion_.symbols) {
      if (isDataKind(record.kind) || record.kind == SymbolKind::procedureDll ||
          record.kind == SymbolKind::procedureCDll) {
        taken.insert(platform::asciiLowerCase(record.outputName));
      }
    }
    taken.insert(platform::asciiLowerCase(symbolBase_ + std::string(kDataSectionsSuffix)));
    taken.insert(platform::asciiLowerCase(symbolBase_ + std::string(kLinkSourceSuffix)));
    for (SymbolRecord& record : conversion_.symbols) {
      if (record.kind != SymbolKind::procedure) continue;
      record.outputName = freeName(record.outputName, [&](const std::string& name) {
        return taken.count(platform::asciiLowerCase(name)) != 0;
      });
      taken.insert(platform::asciiLowerCase(record.outputName));
    }
  }
  // A procedure's source file is named after its symbol (an internal one after the real base
  // name), except where that name is one of brisko's own files (the listing, the link and
  // data-sections sources, the object folder) or another procedure's file, in any case: the
  // file then gets the first free name of the form name_2, name_3, ...; the symbol stays.
  void giveProceduresFileNames() {
    const std::string& base = conversion_.output.baseName();
    std::unordered_set<std::string> taken = {
        platform::asciiLowerCase(std::string(platform::withoutExtension(kListingName))),
        platform::asciiLowerCase(base + std::string(kDataSectionsSuffix)),
        platform::asciiLowerCase(base + std::string(kLinkSourceSuffix)),
        platform::asciiLowerCase(std::string(kObjectFolderName))};
    for (SymbolRecord& record : conversion_.symbols) {
      if (!isProcedureKind(record.kind)) continue;
      record.fileStem =
          freeName(conversion_.procedureFileStem(record), [&](const std::string& name) {
            return taken.count(platform::asciiLowerCase(name)) != 0;
          });
      taken.insert(platform::asciiLowerCase(record.fileStem));
    }
  }

  void readHeader() {
    ListingHeader header;
    if (!reader_->readHeader(header)) throw ListingEndedEarly{};
    ListingFacts& facts = conversion_.listing;
    facts.target = header.target;
    // PureBasic's default type is the integer, as wide as an address.
    defaultTypeSuffix_ = std::string(facts.target.integerTypeSuffix());
    facts.endsThroughMainCode = reader_->endsThroughMainCode();
    for (const std::string_view library : header.importLibraries) {
      facts.importLibraries.emplace_back(library);
    }
    for (const ExternalDeclaration& external : header.externals) {
      addExternal(external.label,
                  external.name == external.label ? std::string_view() : external.name);
    }
    headerPublics_ = header.publicNames;
    for (const std::string_view line : header.defines) {
      // "define <alias> <text>": the text may hold blanks.
      const std::string_view rest = platform::trimSpaces(line.substr(6));
      const std::size_t blank = rest.find(' ');
      if (blank == std::string_view::npos) continue;
      const std::string_view alias = rest.substr(0, blank);
      if (conversion_.symbols.find(alias)) continue;
      SymbolRecord record;
      record.kind = SymbolKind::alias;
      record.asmName = alias;
      record.outputName = platform::trimSpaces(rest.substr(blank));
      conversion_.symbols.append(std::move(record));
    }
  }

  void addExternal(std::string_view name, std::string_view quotedName = {}) {
    if (name.empty() || conversion_.symbols.find(name)) return;
    SymbolRecord record;
    record.asmName = name;
    record.quotedName = quotedName;
    conversion_.symbols.append(std::move(record));
  }

  void scanSourceLines() {
    ProgramLine line;
    while (reader_->nextProgramLine(line)) {
      conversion_.poll();
      if (line.source.empty()) {
        if (line.inProcedure) {
          // Inline assembly may make another procedure's label public under a second name.
          if (line.text.starts_with("public ") && currentProcedure_ != SymbolList::kNone) {
            conversion_.listing.inlinePublics.push_back(
                {std::string(line.text), currentProcedure_});
          }
        } else if (!line.mainLabel.empty()) {
          noteMainLabel(line.mainLabel);
        }
        continue;
      }
      if (!line.inProcedure) initialValues_.noteMainProgramLine(line.source);
      recordDeclarations(line.source);
    }
    if (reader_->ended()) throw ListingEndedEarly{};
    conversion_.listing.dataStart = reader_->dataStart();
    conversion_.listing.lostInitialValues = initialValues_.names();
    // What the header makes public and what the runtime keeps in the data and bss belong to the
    // program that links the output: code and data that name them get them as externals. A
    // public name that the listing defines itself (a DLL's "public _Procedure<n>" lines) keeps
    // the record the scan gave it.
    for (const std::string_view name : headerPublics_) addExternal(name);
    for (const std::string& name : reader_->runtimeItems()) addExternal(name);
  }

  // A label of the main program's code, which no output holds.
  void noteMainLabel(std::string_view name) {
    if (conversion_.symbols.find(name)) return;
    SymbolRecord record;
    record.kind = SymbolKind::mainLabel;
    record.asmName = name;
    conversion_.symbols.append(std::move(record));
  }

  // Records the procedures and exported items a source line declares.
  void recordDeclarations(std::string_view source) {
    if (source.empty() || source.front() == '*') return;
    if (!splitTokens(source, kSourceLineDelimiters, tokens_, QuoteRule::sourceLine)) return;

    const std::size_t count = tokens_.size();
    std::size_t i = 0;
    while (i < count) {
      char buffer[17];
      const std::string_view token = keywordOf(tokens_[i], buffer);
      if (token == ";") return;
      if (token == "define") {
        if (count == 3 && tokens_[1] == ".") defaultTypeSuffix_ = typeSuffix(tokens_[2]);
        return;
      }
      if (i == 0 && (token == "module" || token == "declaremodule")) {
        enterModule(count > 1 ? tokens_[1] : std::string_view(), token == "declaremodule");
        return;
      }
      if (i == 0 && (token == "endmodule" || token == "enddeclaremodule")) {
        module_.clear();
        moduleLabel_.clear();
        return;
      }
      if (const ProcedureKeyword keyword = procedureKeywordOf(token);
          i == 0 && keyword != ProcedureKeyword::none) {
        if (declareProcedure(keyword)) return;
        ++i;
        continue;
      }
      if (token == "public" || (token == "global" && conversion_.has(app::kExportGlobals))) {
        const std::optional<std::size_t> resume = declareVariables(i + 1);
        if (!resume) return;
        i = *resume;
        continue;
      }
      ++i;
    }
  }

  // Returns true when the line is done; false when the procedure's code does not start after
  // its source line, so nothing was recorded and the walk goes on.
  bool declareProcedure(ProcedureKeyword keyword) {
    std::string_view label;
    if (!reader_->procedureLabel(label)) {
      if (reader_->ended()) throw ListingEndedEarly{};
      return false;
    }
    SymbolRecord record;
    if (keyword == ProcedureKeyword::procedureDll) {
      record.kind = SymbolKind::procedureDll;
    } else if (keyword == ProcedureKeyword::procedureCDll) {
      record.kind = SymbolKind::procedureCDll;
    } else {
      record.kind = SymbolKind::procedure;
    }
    if (record.kind != SymbolKind::procedure) ++conversion_.listing.exportCount;

    const std::size_t count = tokens_.size();
    std::size_t j = 1;
    std::string returnSuffix;
    if (j < count && tokens_[j] == ".") {
      if (j + 1 < count) returnSuffix = typeSuffix(tokens_[j + 1]);
      j += 2;
    }
    const std::string name = j < count ? std::string(tokens_[j]) : std::string();
    ++j;
    record.outputName = record.kind == SymbolKind::procedure ? symbolBase_ + "_" + name : name;
    noteProcedureName(record, name, label);

    if (conversion_.has(app::kPbWrapper) || conversion_.has(app::kCHeader)) {
      DeclarationParts& parts = record.declaration.emplace();
      parts.type = std::move(returnSuffix);
      parts.defaultType = defaultTypeSuffix_;
      for (std::size_t k = j; k < count && tokens_[k] != ";"; ++k) {
        parts.parameters.emplace_back(tokens_[k]);
      }
    }

    record.asmName = label;
    currentProcedure_ = conversion_.symbols.size();
    conversion_.symbols.append(std::move(record));
    return true;
  }

  // Declares the items of a Public/Global statement whose first item starts at token j.
  // Returns the token where the walk of the line resumes (after a ":"), or nothing when the
  // line is done.
  std::optional<std::size_t> declareVariables(std::size_t j) {
    const std::size_t count = tokens_.size();
    while (j < count) {
      const std::string_view first = tokens_[j];
      // A comment right after the keyword ends the statement.
      if (first == ";") return std::nullopt;
      char buffer[17];
      const std::string_view keyword = keywordOf(first, buffer);
      SymbolRecord record;
      if (keyword == "dim" || keyword == "newlist") {
        ++j;
        const std::string name = j < count ? std::string(tokens_[j]) : std::string();
        record.kind = keyword == "dim" ? SymbolKind::array : SymbolKind::list;
        record.asmName = moduleLabel_ + (keyword == "dim" ? "a_" : "t_") + name;
        record.outputName = name;
        DeclarationParts& parts = record.declaration.emplace();
        parts.defaultType = defaultTypeSuffix_;
        if (!name.ends_with('$')) {
          ++j;
          if (j < count && tokens_[j] == ".") {
            if (j + 1 < count) parts.type = typeSuffix(tokens_[j + 1]);
            j += 2;
          }
        }
      } else {
        const std::string name(first);
        DeclarationParts& parts = record.declaration.emplace();
        parts.defaultType = defaultTypeSuffix_;
        if (!name.ends_with('$') && j + 1 < count && tokens_[j + 1] == ".") {
          parts.type = typeSuffix(j + 2 < count ? tokens_[j + 2] : std::string_view());
          j += 2;
        }
        record.kind = SymbolKind::variable;
        record.asmName = moduleLabel_ + "v_" + name;
        record.outputName = name;
      }
      ++conversion_.listing.exportCount;
      conversion_.symbols.append(std::move(record));

      // Skip to the end of the item.
      int depth = 0;
      bool nextItem = false;
      for (; j < count; ++j) {
        const std::string_view token = tokens_[j];
        if (token == "(") {
          ++depth;
        } else if (token == ")") {
          --depth;
        } else if (token == ";") {
          return std::nullopt;
        } else if (token == ":") {
          return j + 1;
        } else if (token == "," && depth == 0) {
          ++j;
          nextItem = true;
          break;
        }
      }
      if (!nextItem) return std::nullopt;
    }
    return std::nullopt;
  }

  // A module's items carry its name and a dot in front of their labels, the name as its
  // DeclareModule line spells it.
  void enterModule(std::string_view name, bool declaration) {
    module_ = name;
    const std::string key = platform::asciiLowerCase(module_);
    if (declaration) moduleSpellings_.emplace(key, module_);
    const auto spelling = moduleSpellings_.find(key);
    moduleLabel_ = (spelling != moduleSpellings_.end() ? spelling->second : module_) + ".";
    if (module_.empty()) moduleLabel_.clear();
  }

  // Procedures of different modules may share a name. An internal one that comes later gets
  // the listing's number of its code after its name, and the log says so; two exported ones
  // cannot both keep their name, which ends the conversion.
  void noteProcedureName(SymbolRecord& record, const std::string& name, std::string_view label) {
    const bool exported = record.kind != SymbolKind::procedure;
    const std::string key = (exported ? "+" : "-") + platform::asciiLowerCase(name);
    NameUse use{module_.empty() ? name : module_ + "::" + name, std::string(label)};
    const auto [first, added] = procedureNames_.emplace(key, use);
    if (added) return;
    if (exported) {
      const NameUse& earlier = first->second;
      // The same module (or none): the labels of the code tell the two apart.
      if (earlier.shown == use.shown) {
        throw RepeatedExport{earlier.shown + " (" + earlier.label + ")",
                             use.shown + " (" + use.label + ")"};
      }
      throw RepeatedExport{earlier.shown, use.shown};
    }
    const std::size_t digits = label.find_first_of("0123456789");
    record.outputName += "_";
    record.outputName += digits == std::string_view::npos ? label : label.substr(digits);
    conversion_.listing.renamedProcedures.emplace_back(std::move(use.shown), record.outputName);
  }

  struct NameUse {
    std::string shown;  // with its module, "module::name"
    std::string label;  // the label of its code
  };

  Conversion& conversion_;
  const std::string symbolBase_ = conversion_.output.symbolBase();
  // The procedures' names so far (lower case, "+" for exported, "-" for internal ones).
  std::unordered_map<std::string, NameUse> procedureNames_;
  std::vector<std::string_view> headerPublics_;
  // The position of the procedure whose code the scan is in.
  std::size_t currentProcedure_ = SymbolList::kNone;
  std::string module_;
  // "<module>." while the scan is inside a module's parts, else empty.
  std::string moduleLabel_;
  std::unordered_map<std::string, std::string> moduleSpellings_;
  std::unique_ptr<ListingReader> reader_;
  // The default type suffix in force, until a "Define.type" line.
  std::string defaultTypeSuffix_ = ".l";
  TokenArray tokens_;
  InitialValueScan initialValues_;
};

}  // namespace

app::Outcome analyseAssembly(Conversion& conversion) {
  app::Feedback& feedback = conversion.services.feedback;
  feedback.setStatus(language::TextId::statusbarParsingAssemblyCode);
  conversion.logProgress(language::TextId::objectFirstPass, conversion.listingPath);

  const Listing* listing = conversion.readListing();
  if (!listing) {
    return conversion.failWith(language::TextId::openingFileError, conversion.listingPath);
  }
  conversion.listing.family = ListingReader::familyOf(*listing);
  return Analysis(conversion, *listing).run();
}

}  // namespace brisko::pipeline
