#include "pipeline/write_c_header.h"

#include <algorithm>
#include <vector>

#include "language/text_ids.h"
#include "pipeline/conversion_summary.h"
#include "pipeline/generated_source.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace brisko::pipeline {
namespace {

// Words C or C++ reserve that a PureBasic parameter may be named: such a parameter gets a "_"
// after its name in the prototype.
constexpr std::string_view kReservedWords[] = {
    "auto",     "bool",     "case",      "catch",   "char",     "class",    "const",     "default",
    "delete",   "do",       "double",    "else",    "enum",     "explicit", "export",    "extern",
    "false",    "float",    "for",       "friend",  "goto",     "if",       "inline",    "int",
    "long",     "mutable",  "namespace", "new",     "operator", "private",  "protected", "public",
    "register", "restrict", "return",    "short",   "signed",   "sizeof",   "static",    "struct",
    "switch",   "template", "this",      "throw",   "true",     "try",      "typedef",   "typename",
    "union",    "unsigned", "using",     "virtual", "void",     "volatile", "while",
};

// The C identifier of a PureBasic name: without the "*" of a pointer or the "$" of a string.
std::string identifierOf(std::string_view name) {
  if (name.starts_with('*')) name.remove_prefix(1);
  if (name.ends_with('$')) name.remove_suffix(1);
  return std::string(name);
}

std::string parameterIdentifier(std::string_view name, std::size_t position) {
  std::string identifier = identifierOf(name);
  if (identifier.empty()) return "p" + std::to_string(position + 1);
  if (std::find(std::begin(kReservedWords), std::end(kReservedWords), identifier) !=
      std::end(kReservedWords)) {
    identifier += '_';
  }
  return identifier;
}

struct Parameter {
  std::string type;
  std::string name;
};

// The parameters of a procedure's recorded tokens: "(", then per parameter an optional
// "Array"/"List"/"Map", the name, an optional ". type" and an optional default value, the
// parameters separated by "," and closed by ")".
std::vector<Parameter> parametersOf(const DeclarationParts& parts, bool unicode) {
  std::vector<Parameter> parameters;
  const std::vector<std::string>& tokens = parts.parameters;
  if (tokens.empty() || tokens.front() != "(") return parameters;
  std::vector<std::string_view> pieces;
  const auto take = [&] {
    if (pieces.empty()) return;
    std::size_t k = 0;
    const bool container = pieces.size() > 1 && (platform::equalsIgnoringCase(pieces[0], "array") ||
                                                 platform::equalsIgnoringCase(pieces[0], "list") ||
                                                 platform::equalsIgnoringCase(pieces[0], "map"));
    if (container) k = 1;
    const std::string_view name = pieces[k];
    std::string type;
    if (k + 2 < pieces.size() && pieces[k + 1] == ".") {
      type = ".";
      type += pieces[k + 2];
    }
    // Arrays, lists, maps and structures go by their address.
    std::string cType = "void*";
    if (!container) cType = cTypeOf(name, type, parts.defaultType, unicode).value_or("void*");
    parameters.push_back({cType, parameterIdentifier(name, parameters.size())});
    pieces.clear();
  };
  int depth = 0;
  for (const std::string& token : tokens) {
    if (token == "(") {
      if (++depth == 1) continue;
    } else if (token == ")") {
      if (--depth == 0) break;
    } else if (token == "," && depth == 1) {
      take();
      continue;
    }
    pieces.push_back(token);
  }
  take();
  return parameters;
}

// Bytes a parameter takes on the x86 stack, for the stdcall name's "@" suffix.
int stackBytes(const std::string& cType) {
  return cType == "int64_t" || cType == "double" ? 8 : 4;
}

// One exported item as the header declares it.
struct Declaration {
  std::string text;     // the declaration up to its symbol macro
  std::string symbol;   // the name the output defines
  std::string cName;    // what MSVC names the C identifier: x86 decorations included
  std::string comment;  // a line before it, for what C cannot use as PureBasic does
};

class HeaderWriter {
 public:
  explicit HeaderWriter(const Conversion& conversion)
      : conversion_(conversion),
        x64_(conversion.listing.target == Target::x64()),
        unicode_(conversion.has(app::kUnicode)) {
    // The symbol form holds only ASCII letters, digits and "_"; a name that starts with "_"
    // is the compiler's, so such a prefix gets a word in front.
    prefix_ = conversion.output.symbolBase();
    for (char& c : prefix_) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    if (prefix_.starts_with('_')) prefix_ = "BRISKO" + prefix_;
  }

  std::string text() {
    collect();
    const std::string& base = conversion_.output.baseName();
    const std::string guard = prefix_ + "_H";
    SourceText out;
    out.line("/* " + base + ".h: C declarations of what " + conversion_.plan.outputName +
             " exports (" + std::string(conversion_.listing.target.name()) + " code).");
    out.line("   Written by brisko from " + platform::filePart(conversion_.settings.sourcePath) +
             "; a new conversion replaces it.");
    const ConversionSummary summary = summariseConversion(conversion_);
    if (!summary.runtimeLibraries.empty()) {
      out.line("   The code calls functions of these libraries, which the program must link:");
      out.line("   " + joined(summary.runtimeLibraries) + ".");
    }
    if (!conversion_.listing.lostInitialValues.empty()) {
      out.line("   These variables start as 0 or an empty string: their initial value is set by");
      out.line("   the main program, which the output does not hold: " +
               joined(conversion_.listing.lostInitialValues) + ".");
    }
    out.line("*/");
    out.line("#ifndef " + guard);
    out.line("#define " + guard);
    out.line("");
    if (unicode_) out.line("#include <stddef.h>");
    out.line("#include <stdint.h>");
    out.line("");
    writeMacros(out);
    writeAliases(out);
    out.line("#ifdef __cplusplus");
    out.line("extern \"C\" {");
    out.line("#endif");
    writeDeclarations(out, data_);
    writeDeclarations(out, procedures_);
    out.line("");
    out.line("#ifdef __cplusplus");
    out.line("}");
    out.line("#endif");
    out.line("");
    out.line("#endif /* " + guard + " */");
    return out.text();
  }

 private:
  static std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
  }

  std::string macro(std::string_view name) const { return prefix_ + "_" + std::string(name); }

  void writeMacros(SourceText& out) const {
    if (x64_) {
      out.line("#if defined(__i386__) || defined(_M_IX86)");
      out.line("#error \"This header declares x64 code, which 32-bit programs cannot call.\"");
      out.line("#endif");
      out.line("");
      out.line("/* Windows x64 code has one calling convention; GCC and clang on other systems");
      out.line("   are told to use it. */");
      out.line("#if defined(__GNUC__) && !defined(_WIN32)");
      out.line("#define " + macro("CALL") + " __attribute__((ms_abi))");
      out.line("#else");
      out.line("#define " + macro("CALL"));
      out.line("#endif");
    } else {
      out.line("#if defined(__x86_64__) || defined(_M_X64) || defined(_M_AMD64)");
      out.line("#error \"This header declares x86 code, which 64-bit programs cannot call.\"");
      out.line("#endif");
      out.line("");
      out.line("/* ProcedureDLL is stdcall, ProcedureCDLL cdecl. */");
      out.line("#if defined(__GNUC__)");
      out.line("#define " + macro("STDCALL") + " __attribute__((stdcall))");
      out.line("#define " + macro("CDECL") + " __attribute__((cdecl))");
      out.line("#else");
      out.line("#define " + macro("STDCALL") + " __stdcall");
      out.line("#define " + macro("CDECL") + " __cdecl");
      out.line("#endif");
    }
    out.line("");
    out.line(
        "/* The output defines its names as PureBasic wrote them, without the decorations a C");
    out.line("   compiler gives them: GCC and clang take each name as an asm label, MSVC finds it");
    out.line("   through /alternatename. */");
    out.line("#if defined(__GNUC__)");
    out.line("#define " + macro("SYMBOL") + "(name) __asm__(name)");
    out.line("#else");
    out.line("#define " + macro("SYMBOL") + "(name)");
    out.line("#endif");
    out.line("");
  }

  void writeAliases(SourceText& out) const {
    std::vector<std::string> lines;
    for (const std::vector<Declaration>* group : {&data_, &procedures_}) {
      for (const Declaration& item : *group) {
        if (item.symbol.empty() || item.cName == item.symbol) continue;
        lines.push_back("#pragma comment(linker, \"/alternatename:" + item.cName + "=" +
                        item.symbol + "\")");
      }
    }
    if (lines.empty()) return;
    out.line("#if defined(_MSC_VER) && !defined(__GNUC__)");
    for (const std::string& line : lines) out.line(line);
    out.line("#endif");
    out.line("");
  }

  void writeDeclarations(SourceText& out, const std::vector<Declaration>& items) const {
    if (items.empty()) return;
    out.line("");
    for (const Declaration& item : items) {
      if (!item.comment.empty()) out.line(item.comment);
      if (item.symbol.empty()) continue;
      out.line(item.text + " " + macro("SYMBOL") + "(\"" + item.symbol + "\");");
    }
  }

  // The x86 C name MSVC gives an identifier: "_" in front, and for stdcall "@" and the bytes
  // of the parameters after it. x64 names are not decorated.
  std::string decorated(const std::string& identifier, std::optional<int> stdcallBytes) const {
    if (x64_) return identifier;
    std::string name = "_" + identifier;
    if (stdcallBytes) name += "@" + std::to_string(*stdcallBytes);
    return name;
  }

  void collect() {
    for (const SymbolRecord& record : conversion_.symbols) {
      if (!record.declaration) continue;
      const DeclarationParts& parts = *record.declaration;
      const std::string& name = record.outputName;
      switch (record.kind) {
        case SymbolKind::procedureDll:
        case SymbolKind::procedureCDll:
          procedures_.push_back(procedure(record, parts));
          break;
        case SymbolKind::variable:
        case SymbolKind::array: {
          const bool array = record.kind == SymbolKind::array;
          Declaration item;
          const std::optional<std::string> type =
              cTypeOf(name, parts.type, parts.defaultType, unicode_);
          const std::string identifier = identifierOf(name);
          // A structure's bytes are all C can know of it.
          item.text = "extern " + type.value_or("uint8_t") + " " + identifier +
                      (array || !type ? "[]" : "");
          if (!type)
            item.comment = "/* " + name + parts.type + ": a structure, declared as its bytes */";
          item.symbol = name;
          item.cName = decorated(identifier, std::nullopt);
          data_.push_back(std::move(item));
          break;
        }
        case SymbolKind::list: {
          Declaration item;
          item.comment = "/* " + name + "(): a PureBasic list, which C cannot use; not declared */";
          data_.push_back(std::move(item));
          break;
        }
        default:
          break;
      }
    }
  }

  Declaration procedure(const SymbolRecord& record, const DeclarationParts& parts) const {
    const bool cdecl = record.kind == SymbolKind::procedureCDll;
    const std::vector<Parameter> parameters = parametersOf(parts, unicode_);
    const std::string returned =
        parts.type.empty()
            ? "intptr_t"
            : cTypeOf("", parts.type, parts.defaultType, unicode_).value_or("intptr_t");
    const std::string identifier = identifierOf(record.outputName);
    std::string list;
    int bytes = 0;
    for (const Parameter& parameter : parameters) {
      if (!list.empty()) list += ", ";
      list += parameter.type + " " + parameter.name;
      bytes += stackBytes(parameter.type);
    }
    if (list.empty()) list = "void";
    const std::string convention = x64_ ? "CALL" : cdecl ? "CDECL" : "STDCALL";
    Declaration item;
    item.text = returned + " " + macro(convention) + " " + identifier + "(" + list + ")";
    item.symbol = record.outputName;
    item.cName = decorated(identifier, cdecl ? std::nullopt : std::optional<int>(bytes));
    return item;
  }

  const Conversion& conversion_;
  const bool x64_;
  const bool unicode_;
  // The symbol form of the base name in capitals: the include guard's and the macros' prefix.
  std::string prefix_;
  std::vector<Declaration> data_;
  std::vector<Declaration> procedures_;
};

}  // namespace

std::optional<std::string> cTypeOf(std::string_view name, std::string_view type,
                                   std::string_view defaultType, bool unicode) {
  if (name.starts_with('*')) return "void*";
  const std::string string = unicode ? "const wchar_t*" : "const char*";
  if (name.ends_with('$')) return string;
  if (type.empty()) type = defaultType == ".l" ? ".i" : defaultType;
  const std::string suffix = platform::asciiLowerCase(std::string(type));
  if (suffix == ".b") return "int8_t";
  if (suffix == ".a") return "uint8_t";
  if (suffix == ".w") return "int16_t";
  if (suffix == ".u") return "uint16_t";
  if (suffix == ".c") return unicode ? "uint16_t" : "uint8_t";
  if (suffix == ".l") return "int32_t";
  if (suffix == ".i" || suffix.empty()) return "intptr_t";
  if (suffix == ".q") return "int64_t";
  if (suffix == ".f") return "float";
  if (suffix == ".d") return "double";
  if (suffix == ".s") return string;
  return std::nullopt;
}

std::string cHeaderText(const Conversion& conversion) {
  return HeaderWriter(conversion).text();
}

app::Outcome writeCHeader(Conversion& conversion) {
  const std::string fileName = conversion.output.baseName() + ".h";
  const std::string path = conversion.output.binFolder() + fileName;
  conversion.services.feedback.setStatus(language::TextId::statusbarCreatingCHeader);
  conversion.logProgress(language::TextId::objectCreatingCHeader,
                         OutputLayout::binPathFromLogs(fileName));

  const std::string text = cHeaderText(conversion);
  if (!conversion.services.files.writeFile(path, text)) {
    conversion.failWith(language::TextId::creatingFileError, path);
    return app::ok();
  }
  conversion.logOutcome(true);
  conversion.writtenFiles.push_back(path);
  return app::ok();
}

}  // namespace brisko::pipeline
