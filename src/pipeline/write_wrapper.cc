#include "pipeline/write_wrapper.h"

#include "language/text_ids.h"
#include "pipeline/generated_source.h"
#include "pipeline/wrapper_declarations.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

std::string_view withoutTrailingDigits(std::string_view text) {
  while (!text.empty() && text.back() >= '0' && text.back() <= '9') text.remove_suffix(1);
  return text;
}

bool isPureLibrarySymbol(std::string_view asmName) {
  return asmName.starts_with("PB_") || asmName.starts_with("_PB_");
}

// A library function of PureBasic: PB_ or _PB_ prefix, the thread and Unicode variants and the
// stdcall size cut off. The look-up keeps trailing digits (numbered calling forms are
// catalogued under their number); the call is written without them.
const toolchain::LibraryFunction* pureLibraryFunction(
    std::string_view& name, const toolchain::LibraryCatalogue& catalogue) {
  const std::size_t pb = name.find("PB");
  name.remove_prefix(pb + 3);
  name = platform::beforeFirst(name, "_THREAD");
  name = platform::beforeFirst(name, "_UNICODE");
  name = platform::beforeFirst(name, "@");
  return catalogue.findLibraryFunction(name, true);
}

// A Windows function: the leading "_" and the stdcall size cut off; a name catalogued without
// its "A" or "W" variant letter is found on a second try.
const toolchain::LibraryFunction* windowsFunction(std::string_view& name,
                                                  const toolchain::LibraryCatalogue& catalogue) {
  if (name.starts_with("_")) name.remove_prefix(1);
  name = platform::beforeFirst(name, "@");
  const toolchain::LibraryFunction* found = catalogue.findLibraryFunction(name, false);
  if (found == nullptr && !name.empty()) {
    const char last = name.back();
    if (last == 'A' || last == 'a' || last == 'W' || last == 'w') {
      name.remove_suffix(1);
      found = catalogue.findLibraryFunction(name, false);
    }
  }
  return found;
}

// One Import block for each library, its name trimmed.
template <typename Names>
void appendImportBlocks(std::vector<std::string>& out, const Names& names) {
  if (names.empty()) return;
  for (const auto& name : names) {
    out.push_back("  Import \"" + std::string(platform::trimSpaces(name)) + "\"");
    out.push_back("  EndImport");
  }
  out.emplace_back();
}

// The names of a text that follows each name with ",".
std::vector<std::string_view> commaTerminatedNames(std::string_view text) {
  std::vector<std::string_view> names;
  for (std::size_t comma = text.find(','); comma != std::string_view::npos;
       comma = text.find(',')) {
    names.push_back(text.substr(0, comma));
    text.remove_prefix(comma + 1);
  }
  return names;
}

using Lines = std::vector<std::string>;
// A section's lines for each kind of program, by processor (x86, x64) and thread-safety.
using CellLines = std::array<std::array<Lines, 2>, 2>;

// The lines of a branch: indented by two blanks per level, without the blank lines at their end
// (the block as a whole is followed by one).
void writeBranch(SourceText& out, const Lines& lines, int depth) {
  std::size_t count = lines.size();
  while (count > 0 && lines[count - 1].empty()) --count;
  const std::string indent(static_cast<std::size_t>(2 * depth), ' ');
  for (std::size_t i = 0; i < count; ++i) out.line(lines[i].empty() ? lines[i] : indent + lines[i]);
}

// The lines of one processor's programs: chosen by #PB_Compiler_Thread where the builds with and
// without the thread-safe option differ. At the outermost level lines that do not differ are
// written as they are, and a choice is followed by a blank line when blankAfter says so.
void writeThreadChoice(SourceText& out, const std::string& margin,
                       const std::array<Lines, 2>& lines, int depth, bool blankAfter) {
  const Lines& plain = lines[0];
  const Lines& thread = lines[1];
  if (plain == thread) {
    if (depth == 0) {
      for (const std::string& line : plain) out.line(line);
    } else {
      writeBranch(out, plain, depth);
    }
    return;
  }
  const std::string directive = margin + std::string(static_cast<std::size_t>(2 * depth), ' ');
  out.line(directive + "CompilerIf #PB_Compiler_Thread");
  writeBranch(out, thread, depth + 1);
  out.line(directive + "CompilerElse");
  writeBranch(out, plain, depth + 1);
  out.line(directive + "CompilerEndIf");
  if (depth == 0 && blankAfter) out.line("");
}

// A section of the wrapper for the four kinds of program: once where they all get the same
// lines, else chosen by processor and thread-safety; margin is the indentation of the
// directive lines, and blankAfter asks for a blank line after a choice.
void writeChosen(SourceText& out, const std::string& margin, const CellLines& lines,
                 bool blankAfter) {
  if (lines[0] == lines[1]) {
    writeThreadChoice(out, margin, lines[0], 0, blankAfter);
    return;
  }
  out.line(margin + "CompilerIf #PB_Compiler_Processor = #PB_Processor_x64");
  writeThreadChoice(out, margin, lines[1], 1, false);
  out.line(margin + "CompilerElse");
  writeThreadChoice(out, margin, lines[0], 1, false);
  out.line(margin + "CompilerEndIf");
  if (blankAfter) out.line("");
}

// One section's lines of every cell, as section gives them.
template <typename Section>
CellLines sectionOf(const WrapperCells& cells, Section section) {
  CellLines lines;
  for (std::size_t processor = 0; processor < 2; ++processor) {
    for (std::size_t thread = 0; thread < 2; ++thread) {
      lines[processor][thread] = section(cells[processor][thread]);
    }
  }
  return lines;
}

// The cells as the sections after the Import blocks see them: a program without a build never
// gets past its CompilerError, so its cell takes a build's part (its processor's other thread
// variant first), and the lines that the builds share are written once.
WrapperCells withStandIns(const WrapperCells& cells) {
  WrapperCells filled = cells;
  for (std::size_t processor = 0; processor < 2; ++processor) {
    for (std::size_t thread = 0; thread < 2; ++thread) {
      WrapperCell& cell = filled[processor][thread];
      for (const auto& [p, t] : {std::pair{processor, 1 - thread}, std::pair{1 - processor, thread},
                                 std::pair{1 - processor, 1 - thread}}) {
        if (!cell.part) cell.part = cells[p][t].part;
      }
    }
  }
  return filled;
}

// A message as the text of a PureBasic string, which cannot hold a double quote.
std::string quotedMessage(std::string text) {
  for (char& c : text) {
    if (c == '"') c = '\'';
  }
  return "\"" + text + "\"";
}

}  // namespace

WrapperPart wrapperPartOf(Conversion& conversion) {
  WrapperPart part;
  const std::string& blockFile = conversion.plan.outputName;
  const auto appendBlock = [&](const char* keyword, auto belongs) {
    bool opened = false;
    for (const SymbolRecord& record : conversion.symbols) {
      if (!belongs(record.kind)) continue;
      if (!opened) part.imports.push_back(std::string(keyword) + " \"" + blockFile + "\"");
      opened = true;
      part.imports.push_back("  " + wrapperDeclaration(record));
    }
    if (opened) {
      part.imports.emplace_back("EndImport");
      part.imports.emplace_back();
    }
  };
  appendBlock("Import", [](SymbolKind kind) {
    return kind == SymbolKind::procedureDll || kind == SymbolKind::array ||
           kind == SymbolKind::variable;
  });
  appendBlock("ImportC", [](SymbolKind kind) { return kind == SymbolKind::procedureCDll; });

  static const toolchain::LibraryCatalogue kNoCatalogue;
  const toolchain::LibraryCatalogue& catalogue =
      conversion.settings.catalogue != nullptr ? *conversion.settings.catalogue : kNoCatalogue;
  appendImportBlocks(part.libraries, commaTerminatedNames(catalogue.compilerLibraryNames()));
  appendImportBlocks(part.libraries, conversion.listing.importLibraries);
  const bool everyExternal = conversion.has(app::kUseExistingAsmFiles);
  for (const SymbolRecord& record : conversion.symbols) {
    if (record.kind != SymbolKind::external || !(record.referenced || everyExternal)) continue;
    std::string line = dummyCallFor(record.asmName, catalogue);
    if (!line.empty()) part.dummyCalls.push_back(std::move(line));
  }
  return part;
}

std::string wrapperText(const app::Feedback& texts, const std::string& baseName,
                        const std::string& symbolBase, const platform::LocalTime& made,
                        const WrapperCells& cells) {
  SourceText out;
  out.append("\xEF\xBB\xBF");
  out.line(";Brisko generated wrapper for " + baseName + ".obj");
  out.line(kMakerAddressLine);
  out.line(";Date is " + formatDate(made));
  out.line(";Time is " + formatTime(made));
  out.line(";");
  out.line(texts.text(language::TextId::pbwrapperManualAdjustments));
  out.line(";" + std::string(48, '\\'));
  out.line("");

  const auto imports = [](const WrapperCell& cell) {
    return cell.part ? cell.part->imports : Lines{"CompilerError " + quotedMessage(cell.missing)};
  };
  const auto libraries = [](const WrapperCell& cell) {
    return cell.part ? cell.part->libraries : Lines{};
  };
  const auto dummyCalls = [](const WrapperCell& cell) {
    return cell.part ? cell.part->dummyCalls : Lines{};
  };
  writeChosen(out, "", sectionOf(cells, imports), true);
  out.line(texts.text(language::TextId::pbwrapperPurebasicLink));
  const WrapperCells built = withStandIns(cells);
  writeChosen(out, "", sectionOf(built, libraries), true);
  out.line("  " + texts.text(language::TextId::pbwrapperDoNotCall));
  out.line("    Procedure _LinkLibs_" + symbolBase + "()");
  out.line("      Protected a, a$, NewList a(), Dim b(0)");
  writeChosen(out, "      ", sectionOf(built, dummyCalls), false);
  out.line("    EndProcedure");
  return out.text();
}

const toolchain::LibraryFunction* catalogueFunctionFor(std::string_view asmName,
                                                       const toolchain::LibraryCatalogue& catalogue,
                                                       std::string_view* callName) {
  std::string_view name = asmName;
  if (asmName.starts_with("SYS_")) return nullptr;
  const toolchain::LibraryFunction* found = isPureLibrarySymbol(asmName)
                                                ? pureLibraryFunction(name, catalogue)
                                                : windowsFunction(name, catalogue);
  if (callName != nullptr) *callName = name;
  return found;
}

std::string dummyCallFor(std::string_view asmName, const toolchain::LibraryCatalogue& catalogue) {
  std::string_view name;
  const toolchain::LibraryFunction* found = catalogueFunctionFor(asmName, catalogue, &name);
  if (found == nullptr) return {};
  if (isPureLibrarySymbol(asmName)) {
    return "      " + std::string(withoutTrailingDigits(name)) + found->parameterTemplate;
  }
  std::string line = "      " + std::string(name) + "_(";
  for (int i = 0; i < found->parameterCount; ++i) line += i == 0 ? "a" : ", a";
  line += ") ;";
  line += platform::filePart(found->library->path);
  return line;
}

app::Outcome writeWrapper(Conversion& conversion) {
  const std::string fileName = conversion.output.baseName() + ".pbi";
  const std::string path = conversion.output.binFolder() + fileName;
  conversion.services.feedback.setStatus(language::TextId::statusbarCreatingPbWrapper);
  conversion.logProgress(language::TextId::objectCreatingPbWrapper,
                         OutputLayout::binPathFromLogs(fileName));

  const WrapperPart part = wrapperPartOf(conversion);
  WrapperCells cells;
  for (auto& processor : cells) processor.fill(WrapperCell{part, {}});
  const std::string text =
      wrapperText(conversion.services.feedback, conversion.output.baseName(),
                  conversion.output.symbolBase(), conversion.services.clock.now(), cells);
  platform::FileSystem& files = conversion.services.files;
  if (!files.writeFile(path, text)) {
    conversion.failWith(language::TextId::creatingFileError, path, files.failureReason());
    return app::ok();
  }
  conversion.logOutcome(true);
  conversion.writtenFiles.push_back(path);
  return app::ok();
}

}  // namespace brisko::pipeline
