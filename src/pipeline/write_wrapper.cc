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
void appendImportBlocks(SourceText& out, const Names& names) {
  if (names.empty()) return;
  for (const auto& name : names) {
    out.line("  Import \"" + std::string(platform::trimSpaces(name)) + "\"");
    out.line("  EndImport");
  }
  out.line("");
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

std::string wrapperText(Conversion& conversion) {
  const std::string& base = conversion.output.baseName();
  const std::string& blockFile = conversion.plan.outputName;
  const platform::LocalTime now = conversion.services.clock.now();

  SourceText out;
  out.append("\xEF\xBB\xBF");
  out.line(";Brisko generated wrapper for " + base + ".obj");
  out.line(kMakerAddressLine);
  out.line(";Date is " + formatDate(now));
  out.line(";Time is " + formatTime(now));
  out.line(";");
  out.line(conversion.text(language::TextId::pbwrapperManualAdjustments));
  out.line(";" + std::string(48, '\\'));
  out.line("");

  const auto appendBlock = [&](const char* keyword, auto belongs) {
    bool opened = false;
    for (const SymbolRecord& record : conversion.symbols) {
      if (!belongs(record.kind)) continue;
      if (!opened) out.line(std::string(keyword) + " \"" + blockFile + "\"");
      opened = true;
      out.line("  " + wrapperDeclaration(record));
    }
    if (opened) {
      out.line("EndImport");
      out.line("");
    }
  };
  appendBlock("Import", [](SymbolKind kind) {
    return kind == SymbolKind::procedureDll || kind == SymbolKind::array ||
           kind == SymbolKind::variable;
  });
  appendBlock("ImportC", [](SymbolKind kind) { return kind == SymbolKind::procedureCDll; });

  out.line(conversion.text(language::TextId::pbwrapperPurebasicLink));
  static const toolchain::LibraryCatalogue kNoCatalogue;
  const toolchain::LibraryCatalogue& catalogue =
      conversion.settings.catalogue != nullptr ? *conversion.settings.catalogue : kNoCatalogue;
  appendImportBlocks(out, commaTerminatedNames(catalogue.compilerLibraryNames()));
  appendImportBlocks(out, conversion.listing.importLibraries);
  out.line("  " + conversion.text(language::TextId::pbwrapperDoNotCall));
  out.line("    Procedure _LinkLibs_" + conversion.output.symbolBase() + "()");
  out.line("      Protected a, a$, NewList a(), Dim b(0)");
  const bool everyExternal = conversion.has(app::kUseExistingAsmFiles);
  for (const SymbolRecord& record : conversion.symbols) {
    if (record.kind != SymbolKind::external || !(record.referenced || everyExternal)) continue;
    const std::string line = dummyCallFor(record.asmName, catalogue);
    if (!line.empty()) out.line(line);
  }
  out.line("    EndProcedure");
  return out.text();
}

}  // namespace

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

  const std::string text = wrapperText(conversion);
  platform::FileSystem& files = conversion.services.files;
  std::unique_ptr<platform::OutputFile> file = files.createFile(path);
  if (!file) {
    conversion.failWith(language::TextId::creatingFileError, path, files.failureReason());
    return app::ok();
  }
  const bool written = file->write(text);
  if (!file->close() || !written) {
    conversion.failWith(language::TextId::creatingFileError, path, files.failureReason());
    return app::ok();
  }
  conversion.logOutcome(true);
  conversion.writtenFiles.push_back(path);
  return app::ok();
}

}  // namespace brisko::pipeline
