#include "pipeline/analyse_assembly.h"

#include <optional>
#include <unordered_set>

#include "language/text_ids.h"
#include "pipeline/data_sections.h"
#include "pipeline/listing_text.h"
#include "pipeline/split_tokens.h"
#include "platform/ascii.h"

namespace brisko::pipeline {
namespace {

// The lower-case form of a token that may be a keyword (at most 13 characters, the length of
// "procedurecdll"); longer tokens are never keywords and give an empty text, so no token
// costs an allocation.
std::string_view keywordOf(std::string_view token, char (&buffer)[16]) {
  if (token.size() > 13) return {};
  for (std::size_t i = 0; i < token.size(); ++i) {
    buffer[i] = platform::asciiLower(token[i]);
  }
  return std::string_view(buffer, token.size());
}

bool endsWith(std::string_view text, char c) {
  return !text.empty() && text.back() == c;
}

// The text after its first n characters (whole UTF-8 sequences).
// "." followed by a type name.
std::string typeSuffix(std::string_view type) {
  std::string suffix(".");
  suffix += type;
  return suffix;
}

std::string_view dropCharacters(std::string_view text, std::size_t n) {
  std::size_t pos = 0;
  for (std::size_t dropped = 0; dropped < n && pos < text.size(); ++dropped) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  }
  return text.substr(pos);
}

// Thrown inside the scan when the listing ends before a line it waits for.
struct ListingEndedEarly {};

class Analysis {
 public:
  Analysis(Conversion& conversion, const Listing& listing)
      : conversion_(conversion), cursor_(listing) {}

  // Returns 0 or the code of a failure already reported.
  int run() {
    try {
      scanHeader();
      scanSourceLines();
    } catch (const ListingEndedEarly&) {
      return conversion_.failWith(language::kErrorsInvalidFile, conversion_.asmListingPath);
    }
    giveInternalProceduresFreeNames();
    if (conversion_.has(app::kUseExistingAsmFiles)) return 0;
    return writeDataSections(conversion_, cursor_, current_);
  }

 private:
  void read() {
    if (!cursor_.next(current_)) throw ListingEndedEarly{};
  }

  // An internal procedure's name (base + "_" + name) may be taken already: an exported
  // procedure or variable of that name ("Procedure Helper" beside "ProcedureDLL lib_Helper"),
  // another internal procedure, or a generated file's name. Names are compared without regard
  // to case, as their source files are on Windows. The internal one gives way: it gets the
  // first free name of the form name_2, name_3, ...
  void giveInternalProceduresFreeNames() {
    std::unordered_set<std::string> taken;
    for (const SymbolRecord& record : conversion_.symbols) {
      if (record.kind != kExternal && record.kind != kProcedure) {
        taken.insert(platform::asciiLowerCase(record.outputName));
      }
    }
    taken.insert(platform::asciiLowerCase(symbolBase_ + "_briskoDataSections"));
    taken.insert(platform::asciiLowerCase(symbolBase_ + "_briskoLinkFile"));
    for (SymbolRecord& record : conversion_.symbols) {
      if (record.kind != kProcedure) continue;
      std::string name = record.outputName;
      for (int n = 2; taken.count(platform::asciiLowerCase(name)) != 0; ++n) {
        name = record.outputName + "_" + std::to_string(n);
      }
      taken.insert(platform::asciiLowerCase(name));
      record.outputName = std::move(name);
    }
  }

  void readUntil(std::string_view marker) {
    while (current_ != marker) read();
  }

  void scanHeader() {
    for (int line = 1; line <= 8; ++line) read();
    readUntil("; :System");
    readUntil("; :Import");
    read();
    while (current_ != "; ") {
      conversion_.importLibraries += dropCharacters(current_, 2);
      conversion_.importLibraries += ',';
      read();
    }
    read();
    read();
    read();
    while (!startsWith(current_, "public")) {
      if (!startsWith(current_, ";")) {
        SymbolRecord record;
        record.asmName = app::trimSpaces(dropCharacters(current_, 6));
        conversion_.symbols.append(std::move(record));
      }
      read();
    }
    readUntil("; :");
    read();
  }

  void scanSourceLines() {
    while (!startsWith(current_, "section")) {
      conversion_.poll();
      readNext_ = true;
      examine(current_);
      if (readNext_) read();
    }
  }

  void examine(std::string_view line) {
    if (!startsWith(line, "; ")) return;
    const std::string_view source = app::trimSpaces(line.substr(2));
    if (source.empty() || source.front() == '*') return;
    if (!splitTokens(source, kSourceLineDelimiters, tokens_, QuoteRule::sourceLine)) return;

    const std::size_t count = tokens_.size();
    std::size_t i = 0;
    while (i < count) {
      char buffer[16];
      const std::string_view token = keywordOf(tokens_[i], buffer);
      if (token == ";") return;
      if (token == "define") {
        if (count == 3 && tokens_[1] == ".") defaultTypeSuffix_ = typeSuffix(tokens_[2]);
        return;
      }
      if (i == 0 && (token == "procedure" || token == "procedurec" || token == "proceduredll" ||
                     token == "procedurecdll")) {
        if (declareProcedure(token)) return;
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

  // Returns true when the line is done; false when the line after the procedure's source
  // line does not open its code, so nothing was recorded and the walk goes on.
  bool declareProcedure(std::string_view keyword) {
    read();
    if (!startsWith(current_, "macro MP")) {
      readNext_ = false;
      return false;
    }
    SymbolRecord record;
    if (keyword == "proceduredll") {
      record.kind = kProcedureDll;
    } else if (keyword == "procedurecdll") {
      record.kind = kProcedureCDll;
    } else {
      record.kind = kProcedure;
    }
    if (record.kind != kProcedure) ++conversion_.exportCount;

    const std::size_t count = tokens_.size();
    std::size_t j = 1;
    std::string returnSuffix;
    if (j < count && tokens_[j] == ".") {
      if (j + 1 < count) returnSuffix = typeSuffix(tokens_[j + 1]);
      j += 2;
    }
    const std::string name = j < count ? std::string(tokens_[j]) : std::string();
    ++j;
    record.outputName = record.kind == kProcedure ? symbolBase_ + "_" + name : name;

    if (conversion_.has(app::kPbWrapper)) {
      std::string declaration = record.outputName + returnSuffix;
      bool parameterOpen = false;
      for (std::size_t k = j; k < count && tokens_[k] != ";"; ++k) {
        const std::string_view token = tokens_[k];
        declaration += token;
        if (!parameterOpen && token != "(" && token != ")") {
          parameterOpen = true;
          const bool typed = k + 1 < count && tokens_[k + 1] == ".";
          if (!endsWith(token, '$') && !typed) declaration += defaultTypeSuffix_;
        }
        if (token == ",") parameterOpen = false;
      }
      declaration += " As \"" + record.outputName + "\"";
      record.declaration = std::move(declaration);
    }

    read();
    record.asmName = withoutLastCharacter(current_);
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
      char buffer[16];
      const std::string_view keyword = keywordOf(first, buffer);
      SymbolRecord record;
      if (keyword == "dim" || keyword == "newlist") {
        ++j;
        const std::string name = j < count ? std::string(tokens_[j]) : std::string();
        record.kind = keyword == "dim" ? kArray : kList;
        record.asmName = std::string(keyword == "dim" ? "a_" : "t_") + name;
        record.outputName = name;
        if (!endsWith(name, '$')) {
          ++j;
          if (j < count && tokens_[j] == ".") j += 2;
          record.declaration = name + "_arrayPTR As \"" + name + "\"";
        } else {
          record.declaration =
              name.substr(0, name.size() - 1) + "_stringarrayPTR As \"" + name + "\"";
        }
      } else {
        const std::string name(first);
        std::string suffix;
        if (!endsWith(name, '$')) {
          if (j + 1 < count && tokens_[j + 1] == ".") {
            suffix = typeSuffix(j + 2 < count ? tokens_[j + 2] : std::string_view());
            j += 2;
          } else {
            suffix = defaultTypeSuffix_;
          }
        }
        record.kind = kVariable;
        record.asmName = "v_" + name;
        record.outputName = name;
        record.declaration = name + suffix + " AS \"" + name + "\"";
      }
      ++conversion_.exportCount;
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

  Conversion& conversion_;
  const std::string symbolBase_ = conversion_.symbolBase();
  ListingCursor cursor_;
  std::string_view current_;
  bool readNext_ = true;
  std::string defaultTypeSuffix_ = ".l";
  TokenArray tokens_;
};

}  // namespace

int analyseAssembly(Conversion& conversion) {
  app::Feedback& feedback = conversion.services.feedback;
  feedback.setStatus(language::kStatusbarParsingAssemblyCode);
  conversion.logProgress(language::kObjectFirstPass, conversion.asmListingPath);

  const Listing* listing = conversion.readListing();
  if (!listing) {
    return conversion.failWith(language::kErrorsOpeningFileError, conversion.asmListingPath);
  }
  const int result = Analysis(conversion, *listing).run();
  if (result == 0) conversion.logOutcome(true);
  return result;
}

}  // namespace brisko::pipeline
