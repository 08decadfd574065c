#include "codegen.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "functions.h"
#include "lexer.h"
#include "parser.h"

namespace standin {
namespace {

const char* const kEndOfProgramLabel = "_PB_EOP";
// The real compilers' end code: "End" without a value enters at _PB_EOP_NoValue, which pushes
// the exit code 0; _PB_EndFunctions is where the runtime's end functions are called from.
const char* const kEndWithoutValueLabel = "_PB_EOP_NoValue";
const char* const kEndFunctionsLabel = "_PB_EndFunctions";
const char* const kExitProcess = "_ExitProcess@4";
const char* const kExitProcess64 = "ExitProcess";
// Where an x64 program's End leaves the exit code for the end code.
const char* const kExitCodeCell = "PB_ExitCode";
// The registers of the first four arguments in the Windows x64 convention; the others go on the
// stack above the 32 bytes of shadow space, where the callee may keep the first four.
const char* const kArgumentRegisters64[] = {"rcx", "rdx", "r8", "r9"};
constexpr int kShadowSpace = 32;
// Frames of up to this many dwords are cleared by one instruction per dword, larger ones by a
// loop.
constexpr int kUnrolledClearing = 8;
// A procedure's arrays live on the stack, which is 1 MB for a Windows program's main thread.
constexpr std::int64_t kLargestLocalArray = 65536;

std::string trimLeft(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  return first == std::string::npos ? "" : text.substr(first);
}

std::string trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The UTF-16 code units of a text that is UTF-8 where it is valid; other bytes count as
// Latin-1 characters.
std::vector<unsigned> utf16Units(const std::string& text) {
  std::vector<unsigned> units;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    unsigned codePoint = c;
    std::size_t length = 1;
    if (c >= 0xC0 && c < 0xF8) {
      length = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      codePoint = c & (0x3Fu >> (length - 1));
      bool valid = i + length <= text.size();
      for (std::size_t k = 1; valid && k < length; ++k) {
        const auto part = static_cast<unsigned char>(text[i + k]);
        valid = (part & 0xC0) == 0x80;
        codePoint = (codePoint << 6) | (part & 0x3Fu);
      }
      if (!valid) {
        codePoint = c;
        length = 1;
      }
    }
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      units.push_back(0xD800 + (codePoint >> 10));
      units.push_back(0xDC00 + (codePoint & 0x3FF));
    } else {
      units.push_back(codePoint);
    }
    i += length;
  }
  return units;
}

// The operands of a "db"/"du" line for a zero-terminated text: printable ASCII runs in quotes,
// everything else as numbers, e.g. 'it',39,'s',0.
std::string textOperands(const std::vector<unsigned>& units) {
  std::string result;
  bool inQuote = false;
  for (unsigned unit : units) {
    const bool plain = unit >= 32 && unit < 127 && unit != '\'';
    if (plain) {
      if (!inQuote) {
        if (!result.empty()) result += ",";
        result += "'";
        inQuote = true;
      }
      result += static_cast<char>(unit);
    } else {
      if (inQuote) result += "'";
      inQuote = false;
      if (!result.empty()) result += ",";
      result += std::to_string(unit);
    }
  }
  if (inQuote) result += "'";
  if (!result.empty()) result += ",";
  return result + "0";
}

// The operands of a "dw" line for a zero-terminated text: every unit in decimal, e.g. 72,105,0.
std::string numberOperands(const std::vector<unsigned>& units) {
  std::string result;
  for (unsigned unit : units) result += std::to_string(unit) + ",";
  return result + "0";
}

std::vector<unsigned> byteUnits(const std::string& text) {
  std::vector<unsigned> units;
  for (char c : text) units.push_back(static_cast<unsigned char>(c));
  return units;
}

// Where a variable, an array or a list pointer lives: at a label (in the bss, or an imported
// symbol) or in the frame of the running procedure.
struct Storage {
  std::string asmName;                // the label; empty for frame storage
  int offset = 0;                     // frame offset from the frame register
  std::string frameRegister = "ebp";  // "rbp" on x64
  bool isPublic = false;              // declared in a DeclareModule: reachable from outside
  std::string base() const {
    if (!asmName.empty()) return asmName;
    return frameRegister + (offset < 0 ? "" : "+") + std::to_string(offset);
  }
  std::string memory() const { return "[" + base() + "]"; }
};

struct Variable : Storage {
  Type type = Type::longInt;
  std::string spelling;    // locals: the name as declared (or first used)
  bool global = false;     // declared with Global/Public or imported: visible inside procedures
  std::string importedAs;  // for an imported variable: its extrn declaration
};

struct Array : Storage {
  Type type = Type::longInt;
  bool global = false;
};

struct List : Storage {
  Type type = Type::longInt;
  bool global = false;
};

// How the listing names an imported symbol: by the symbol itself when FASM surely takes it as
// a name of its own (it begins with "_", as no reserved word of FASM does apart from __file__
// and __line__, holds only name characters and has none of the forms of the listing's own
// labels); otherwise through a label of its own, declared as "extrn 'symbol' as label" ("add",
// for one, is an instruction).
struct ExternalName {
  std::string label;        // what the code refers to
  std::string declaration;  // what follows "extrn "
};

// "_S1", "_EndIf3", "_Procedure0", "_PB_...", "_SYS_...": labels the listing makes itself.
bool hasListingLabelForm(const std::string& symbol) {
  if (symbol.rfind("_PB_", 0) == 0 || symbol.rfind("_SYS_", 0) == 0) return true;
  std::size_t i = 1;
  while (i < symbol.size() && std::isalpha(static_cast<unsigned char>(symbol[i])) != 0) ++i;
  if (i == 1 || i == symbol.size()) return false;
  while (i < symbol.size() && std::isdigit(static_cast<unsigned char>(symbol[i])) != 0) ++i;
  return i == symbol.size();
}

ExternalName externalName(const std::string& symbol, const std::string& label) {
  bool plain = !symbol.empty() && symbol[0] == '_' && lowerCase(symbol) != "__file__" &&
               lowerCase(symbol) != "__line__" && !hasListingLabelForm(symbol);
  for (char c : symbol) {
    plain = plain && (std::isalnum(static_cast<unsigned char>(c)) != 0 ||
                      std::string_view("_@$?").find(c) != std::string_view::npos);
  }
  if (plain) return {symbol, symbol};
  const char quote = symbol.find('\'') == std::string::npos ? '\'' : '"';
  return {label, quote + symbol + quote + " as " + label};
}

struct ProcedureInfo {
  const ProcedureDecl* decl = nullptr;
  int index = 0;          // the position in the source, from 0
  int number = 0;         // what its labels are numbered with: _Procedure<number>
  bool isPublic = false;  // declared in its module's DeclareModule
  bool returnsString = false;
  std::vector<bool> stringParams;
};

struct ImportInfo {
  const ImportedFunction* function = nullptr;
  ExternalName external;
  bool cdecl = false;
  bool returnsString = false;
};

enum class ValueKind { number, string };

// The state of the procedure being generated.
struct ProcedureContext {
  const ProcedureInfo* info = nullptr;
  std::map<std::string, Variable> locals;
  std::map<std::string, Array> arrays;
  std::map<std::string, List> lists;
  int frameSize = 0;
  Type returnType = Type::longInt;
  std::string endLabel;
  std::string zeroLabel;  // where a ProcedureReturn without a value goes, when it has one
  bool zeroUsed = false;
  std::optional<std::size_t> asmEquates;  // where the p. equates go: before the first "!" line
};

class Generator {
 public:
  Generator(const std::vector<std::string>& lines, const CompileOptions& options)
      : lines_(lines),
        options_(options),
        x64_(options.target == Target::x64),
        layout_(x64_ ? ListingLayout::afterEndCode : options.layout),
        builtinConstants_(builtinConstants(options)) {
    for (const auto& [name, value] : builtinConstants_) constants_[name] = value;
    // PureBasic's default type is .i, which is as wide as a pointer: on x64 an untyped
    // variable can hold an address.
    if (x64_) defaultType_ = Type::integer;
    systemLibraries_.push_back("KERNEL32");
    addExtern(apiExterns_, exitProcess());
  }

  std::string run(const Program& program) {
    collect(program.statements, nullptr);
    publishDeclaredProcedures();
    numberProcedures();
    for (const StmtPtr& stmt : program.statements) generate(*stmt);
    flushLinesThrough(static_cast<int>(lines_.size()));
    if (layout_ == ListingLayout::classic) {
      emit("PUSH dword 0");
      emit(std::string("JMP ") + kEndOfProgramLabel);
      for (int index : procedureOrder_) code_.push_back("MP" + std::to_string(index));
      code_.push_back(std::string(kEndOfProgramLabel) + ":");
      emit(std::string("CALL ") + kExitProcess);
      return assemble();
    }
    kept_ = keptProcedures();
    placeLabel(kEndWithoutValueLabel);
    if (x64_) {
      // The exit code waits in its cell while the end functions run.
      emit(std::string("MOV qword [") + kExitCodeCell + "],0");
      placeLabel(kEndOfProgramLabel);
      emit("SUB rsp," + std::to_string(kShadowSpace + 8));
      emit(std::string("CALL ") + kEndFunctionsLabel);
      emit(std::string("MOV rcx,qword [") + kExitCodeCell + "]");
      emit(std::string("CALL ") + kExitProcess64);
    } else {
      emit("PUSH dword 0");
      placeLabel(kEndOfProgramLabel);
      emit(std::string("CALL ") + kEndFunctionsLabel);
      emit(std::string("CALL ") + kExitProcess);
    }
    placeLabel(kEndFunctionsLabel);
    emit("RET");
    if (layout_ == ListingLayout::macros) {
      for (int index : kept_) code_.push_back("MP" + std::to_string(bySource_[index]->number));
    }
    return assemble();
  }

 private:
  // ---- Output helpers --------------------------------------------------------------------

  void emit(const std::string& instruction) { code_.push_back("  " + instruction); }

  // ---- Target helpers: x86 registers and cells are 32 bits wide, x64 ones 64 ------------

  const char* exitProcess() const { return x64_ ? kExitProcess64 : kExitProcess; }
  // A general register by its 16-bit name ("ax", "cx", "dx", "bp", "sp"): eax or rax.
  std::string reg(const char* name) const { return (x64_ ? "r" : "e") + std::string(name); }
  // The size of a pointer-wide operand and of a pointer-wide cell.
  const char* wordSize() const { return x64_ ? "qword" : "dword"; }
  int pointerSize() const { return x64_ ? 8 : 4; }
  // The bytes a variable of a type takes in the data and bss: .i and strings are as wide as a
  // pointer.
  int cellSize(Type type) const {
    if (type == Type::byte) return 1;
    if (type == Type::word) return 2;
    if (type == Type::longInt) return 4;
    return pointerSize();
  }
  std::string cellName(Type type) const {
    switch (cellSize(type)) {
      case 1:
        return "byte";
      case 2:
        return "word";
      case 4:
        return "dword";
      default:
        return "qword";
    }
  }
  // The reserve and define directives of a cell: "rb", "rw", "rd", "rq" / "db" ... "dq", the
  // first letter of the cell's name.
  std::string cellLetter(Type type) const { return cellName(type).substr(0, 1); }
  // The address of a label in rax: x64 code takes it relative to rip, which needs no
  // relocation that would tie the image below 4 GB.
  void loadAddress(const std::string& label) {
    emit(x64_ ? "LEA rax,[" + label + "]" : "MOV eax," + label);
  }
  // Storage in the frame of the running procedure.
  Storage frameStorage(int offset) const {
    Storage storage;
    storage.offset = offset;
    storage.frameRegister = reg("bp");
    return storage;
  }
  void push(const char* name) {
    emit("PUSH " + reg(name));
    pushed_ += pointerSize();
  }
  void pop(const char* name) {
    emit("POP " + reg(name));
    pushed_ -= pointerSize();
  }
  // Widens a result of a narrower type to the whole of eax (or rax) with its sign.
  void extendResult(Type type) {
    if (type == Type::byte) emit("MOVSX " + reg("ax") + ",al");
    if (type == Type::word) emit("MOVSX " + reg("ax") + ",ax");
    if (type == Type::longInt && x64_) emit("MOVSXD rax,eax");
  }
  void placeLabel(const std::string& label) { code_.push_back(label + ":"); }
  std::string newLabel(const std::string& stem) { return "_" + stem + std::to_string(++labels_); }

  // Copies the source lines up to the given one as "; " comments; blank lines are left out.
  // The real compilers' layouts keep a line's trailing blanks.
  void flushLinesThrough(int line) {
    while (nextLine_ <= line && nextLine_ <= static_cast<int>(lines_.size())) {
      const std::string& source = lines_[static_cast<std::size_t>(nextLine_ - 1)];
      const std::string text = layout_ == ListingLayout::classic ? trim(source) : trimLeft(source);
      if (!trim(text).empty()) code_.push_back("; " + text);
      ++nextLine_;
    }
  }

  // Procedures stand apart from the main code, in a code section of their own or after the end
  // code, rather than as macros at their place in the source.
  bool separateProcedures() const {
    return layout_ == ListingLayout::afterBss || layout_ == ListingLayout::afterEndCode;
  }

  void addExtern(std::vector<std::string>& group, const std::string& symbol) {
    if (externSet_.insert(symbol).second) group.push_back(symbol);
  }
  static void addUnique(std::vector<std::string>& list, const std::string& name) {
    if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
  }

  std::string stringLabel(const std::string& text) {
    auto found = stringLabels_.find(text);
    if (found != stringLabels_.end()) return found->second;
    const std::string label = "_S" + std::to_string(stringLabels_.size() + 1);
    stringLabels_[text] = label;
    const std::string directive = options_.unicode ? "du " : "db ";
    stringLines_.push_back(label + ": " + directive +
                           textOperands(options_.unicode ? utf16Units(text) : byteUnits(text)));
    return label;
  }

  std::string assemble() const {
    const bool classic = layout_ == ListingLayout::classic;
    std::vector<std::string> out = {
        "; ",
        classic ? "; PureBasic 4.20 (Windows - x86) generated code - brisko stand-in compiler"
                : "; PureBasic " + listingVersion(layout_) + " (Windows - " +
                      targetName(options_.target) + ") generated code",
        "; ",
        "; (c) the brisko project",
        "; ",
        "; The header must stay intact for re-assembly.",
        "; ",
    };
    for (const std::string& library : pbLibraries_) out.push_back("; " + library);
    out.push_back("; :System");
    for (const std::string& library : systemLibraries_) out.push_back("; " + library);
    out.push_back("; :Import");
    for (const std::string& library : importLibraries_) out.push_back("; " + library);
    out.push_back("; ");
    out.push_back(x64_ ? "format MS64 COFF" : "format MS COFF");
    out.push_back("; ");
    bool firstGroup = true;
    for (const auto* group : {&pbExterns_, &apiExterns_, &importExterns_}) {
      if (group->empty()) continue;
      if (!firstGroup) out.push_back("; ");
      firstGroup = false;
      for (const std::string& symbol : *group) out.push_back("extrn " + symbol);
    }
    out.push_back("; ");
    if (classic) {
      out.push_back("public main");
      out.push_back("; ");
      out.push_back("section '.code' code readable executable");
      out.push_back("; ");
      out.push_back("main:");
      out.push_back("  CLD");
      out.push_back("  MOV dword [PB_DataPointer],0");
      out.push_back("; :");
      out.insert(out.end(), code_.begin(), code_.end());
      appendDataAndBss(out);
    } else {
      appendRuntimeHeader(out);
      const std::string start = layout_ == ListingLayout::macros ? "main" : "PureBasicStart";
      out.push_back("public " + start);
      out.push_back("; ");
      out.push_back(layout_ == ListingLayout::macros ? "section '.code' code readable executable"
                    : layout_ == ListingLayout::afterBss
                        ? "section '.code' code readable executable align 4096"
                        : "section '.code' code readable executable align 8");
      out.push_back("; ");
      out.push_back(start + ":");
      out.push_back("  CLD");
      out.push_back(std::string("  MOV ") + wordSize() + " [PB_DataPointer],0");
      out.insert(out.end(), code_.begin(), code_.end());
      if (layout_ == ListingLayout::afterEndCode) appendProcedures(out);
      appendDataAndBss(out);
      if (layout_ == ListingLayout::afterBss) {
        out.push_back("section '.code' code readable executable align 4096");
        appendProcedures(out);
      }
    }
    out.push_back("section '.data' data readable writeable");
    out.insert(out.end(), dataLines_.begin(), dataLines_.end());
    std::string text;
    for (const std::string& line : out) text += line + "\r\n";
    return text;
  }

  // What the real compilers' header adds after the extrn lines: the runtime items the program
  // exports and the macros its data and bss use.
  void appendRuntimeHeader(std::vector<std::string>& out) const {
    out.insert(out.end(), {
                              x64_ ? "public PB_ExecutableType" : "public _PB_ExecutableType",
                              "public PB_Instance",
                              "public PB_MemoryBase",
                              "; ",
                              "macro pb_public symbol",
                              "{",
                              "  public  _#symbol",
                              "  public symbol",
                              "_#symbol:",
                              "symbol:",
                              "}",
                              "; ",
                              "macro    pb_align value { rb (value-1) - ($-_PB_DataSection  + "
                              "value-1) mod value }",
                              "macro pb_bssalign value { rb (value-1) - ($-_PB_BSSSection + "
                              "value-1) mod value }",
                              "; ",
                          });
  }

  // The first data section (string constants, statics with a value) and the bss.
  void appendDataAndBss(std::vector<std::string>& out) const {
    const bool classic = layout_ == ListingLayout::classic;
    out.push_back("section '.data' data readable writeable");
    if (x64_) {
      out.insert(out.end(),
                 {"_PB_DataSection:", "pb_public PB_DEBUGGER_LineNumber", "  dq -1",
                  "pb_public PB_DEBUGGER_IncludedFiles", "  dq 0", "PB_ExecutableType: dq 0"});
    } else if (!classic) {
      out.insert(out.end(),
                 {"_PB_DataSection:", "pb_public PB_DEBUGGER_LineNumber", "  dd -1",
                  "pb_public PB_DEBUGGER_IncludedFiles", "  dd 0", "_PB_ExecutableType: dd 0"});
    }
    out.push_back("_SYS_StaticStringStart:");
    out.insert(out.end(), stringLines_.begin(), stringLines_.end());
    if (!classic) out.push_back("_SYS_StaticStringEnd:");
    const std::string align = std::to_string(pointerSize());
    out.push_back(classic ? "align 4" : "pb_align " + align);
    out.insert(out.end(), staticDataLines_.begin(), staticDataLines_.end());
    out.push_back("section '.bss' readable writeable");
    if (x64_) {
      out.insert(out.end(),
                 {"_PB_BSSSection:", "I_BSSStart:", "PB_MemoryBase: rq 1", "PB_Instance: rq 1"});
    } else if (!classic) {
      out.insert(out.end(),
                 {"_PB_BSSSection:", "I_BSSStart:", "PB_MemoryBase rd 1", "PB_Instance rd 1"});
    }
    out.insert(out.end(), bssLines_.begin(), bssLines_.end());
    if (x64_) out.push_back(std::string(kExitCodeCell) + ": rq 1");
    if (!classic) out.push_back("pb_bssalign " + align);
    out.push_back(x64_ ? "PB_DataPointer rq 1" : "PB_DataPointer rd 1");
    if (!classic) out.push_back("I_BSSEnd:");
  }

  void appendProcedures(std::vector<std::string>& out) const {
    for (int index : kept_) {
      const std::vector<std::string>& chunk = procedureCode_.at(index);
      out.insert(out.end(), chunk.begin(), chunk.end());
    }
  }

  // ---- First pass: procedures, imports and data labels may be used before they appear ----

  // owner: the procedure the statements belong to, if any.
  void collect(const Block& statements, const ProcedureDecl* owner) {
    for (const StmtPtr& stmt : statements) {
      if (stmt->kind == Stmt::Kind::declareModule || stmt->kind == Stmt::Kind::module) {
        collectModule(*stmt);
      } else if (stmt->kind == Stmt::Kind::useModule) {
        requireModules(stmt->line);
      } else if (stmt->kind == Stmt::Kind::procedure) {
        const ProcedureDecl& decl = *stmt->procedure;
        const std::string key = itemKey(collectModule_, decl.name);
        if (procedures_.count(key) != 0 || findLibraryFunction(decl.name) != nullptr) {
          throw CompileError{decl.line, "The procedure '" + decl.name + "' already exists."};
        }
        ProcedureInfo info;
        info.decl = &decl;
        info.index = static_cast<int>(procedures_.size());
        info.returnsString = isString(decl.name, decl.returnType);
        for (const Param& param : decl.params) {
          info.stringParams.push_back(isString(param.name, param.type));
        }
        procedures_[key] = info;
        collect(decl.body, &decl);
      } else if (stmt->kind == Stmt::Kind::importBlock) {
        for (const ImportedFunction& function : stmt->imports) {
          if (function.variable) continue;  // declared where the block stands
          ImportInfo info;
          info.function = &function;
          info.cdecl = stmt->cdecl;
          info.returnsString = isString(function.name, function.returnType);
          // x64 symbols carry no decoration.
          const std::string symbol = !function.symbol.empty() ? function.symbol
                                     : x64_                   ? function.name
                                     : stmt->cdecl            ? "_" + function.name
                                                              : "_" + function.name + "@" +
                                                         std::to_string(4 * function.params.size());
          info.external = externalName(symbol, "ip_" + function.name);
          imports_[lowerCase(function.name)] = info;
        }
      } else if (stmt->kind == Stmt::Kind::dataSection) {
        for (const DataItem& item : stmt->data) {
          if (item.kind != DataItem::Kind::label) continue;
          const std::string key = itemKey(collectModule_, item.text);
          if (dataLabels_.count(key) != 0) {
            throw CompileError{item.line, "The label '" + item.text + "' already exists."};
          }
          // The real compilers name a procedure's DataSection labels after the procedure, in
          // lower case.
          dataLabels_[key] = labelPrefix(collectModule_) +
                             (owner != nullptr && layout_ != ListingLayout::classic
                                  ? "ll_" + lowerCase(owner->name) + "_" + lowerCase(item.text)
                                  : "l_" + item.text);
        }
      } else if (stmt->kind == Stmt::Kind::declaration &&
                 (stmt->keyword == "Global" || stmt->keyword == "Public")) {
        // Names are case-insensitive; a shared variable keeps the spelling of its declaration
        // even where it is used earlier, as readers of the listing take it from there.
        for (const DeclItem& item : stmt->items) {
          if (item.kind == DeclItem::Kind::variable) {
            sharedSpellings_.try_emplace(itemKey(collectModule_, item.name), item.name);
          }
        }
      } else {
        collect(stmt->body, owner);
        for (const IfBranch& branch : stmt->branches) collect(branch.body, owner);
      }
    }
  }

  // Modules came with PureBasic 5.20: the layouts of older compilers have none.
  void requireModules(int line) const {
    if (!separateProcedures()) {
      throw CompileError{line, "Modules are not supported by PureBasic " + listingVersion(layout_) +
                                   " (they came with 5.20)."};
    }
  }

  // A module's DeclareModule comes first and once, its Module after it and once. The items of
  // both parts belong to the module; the procedures its DeclareModule declares are public.
  void collectModule(const Stmt& stmt) {
    requireModules(stmt.line);
    const std::string key = lowerCase(stmt.text);
    auto found = modules_.find(key);
    if (stmt.kind == Stmt::Kind::declareModule) {
      if (found != modules_.end()) {
        throw CompileError{stmt.line, "The module '" + stmt.text + "' is already declared."};
      }
      modules_[key].spelling = stmt.text;
      for (const StmtPtr& item : stmt.body) {
        if (item->kind == Stmt::Kind::declare) {
          declaredProcedures_.try_emplace(itemKey(key, item->text), item.get());
        }
      }
    } else if (found == modules_.end()) {
      throw CompileError{stmt.line, "The module '" + stmt.text + "' has no DeclareModule before."};
    } else if (found->second.implemented) {
      throw CompileError{stmt.line, "The module '" + stmt.text + "' is already implemented."};
    } else {
      found->second.implemented = true;
    }
    collectModule_ = key;
    collect(stmt.body, nullptr);
    collectModule_.clear();
  }

  void publishDeclaredProcedures() {
    for (const auto& [key, declare] : declaredProcedures_) {
      auto found = procedures_.find(key);
      if (found == procedures_.end()) {
        throw CompileError{declare->line,
                           "The procedure '" + declare->text +
                               "' is declared but its Module has no such procedure."};
      }
      found->second.isPublic = true;
    }
  }

  // The key of an item in the tables: its name in lower case, after "<module>::" for a
  // module's items.
  static std::string itemKey(const std::string& module, const std::string& name) {
    return module.empty() ? lowerCase(name) : module + "::" + lowerCase(name);
  }

  // What the labels of a module's items begin with: the module's name as its DeclareModule
  // spells it, and a dot.
  std::string labelPrefix(const std::string& module) const {
    return module.empty() ? "" : modules_.at(module).spelling + ".";
  }

  // The module a "module::" prefix names, in lower case; its DeclareModule must come first.
  std::string moduleNamed(const std::string& name, int line) const {
    const std::string key = lowerCase(name);
    auto found = modules_.find(key);
    if (found == modules_.end() || !found->second.opened) {
      throw CompileError{line, "The module '" + name + "' is not declared."};
    }
    return key;
  }

  // The item a name refers to. With a module prefix it is the public item of that module (or
  // any of its items, from inside it); without one, the item of the running part (the main
  // program or a module), else a public item of a module that part uses. A module sees nothing
  // of the main program, and the main program only what it reaches through modules.
  template <typename Table>
  auto findScoped(Table& table, const std::string& prefix, const std::string& name, int line) const
      -> decltype(&table.begin()->second) {
    if (!prefix.empty()) {
      const std::string module = moduleNamed(prefix, line);
      auto found = table.find(itemKey(module, name));
      if (found == table.end() || (module != module_ && !found->second.isPublic)) return nullptr;
      return &found->second;
    }
    if (auto found = table.find(itemKey(module_, name)); found != table.end()) {
      return &found->second;
    }
    if (auto used = usedModules_.find(module_); used != usedModules_.end()) {
      for (const std::string& module : used->second) {
        auto found = table.find(itemKey(module, name));
        if (found != table.end() && found->second.isPublic) return &found->second;
      }
    }
    return nullptr;
  }

  // "module::name" names nothing public there.
  [[noreturn]] static void notPublic(const Expr& ref, const char* what) {
    throw CompileError{ref.line, "'" + ref.module + "::" + ref.text + "' is no public " + what +
                                     " of the module."};
  }

  // The classic layout numbers procedures in source order. The real compilers number them with
  // a counter that also numbers the end labels (_EndProcedure<n+1>), and not in source order:
  // here the exported procedures first, in source order, then the others from the last up.
  void numberProcedures() {
    bySource_.assign(procedures_.size(), nullptr);
    for (auto& [key, info] : procedures_) bySource_[static_cast<std::size_t>(info.index)] = &info;
    if (layout_ == ListingLayout::classic) {
      for (ProcedureInfo* info : bySource_) info->number = info->index;
      return;
    }
    std::vector<ProcedureInfo*> order;
    for (ProcedureInfo* info : bySource_) {
      if (isExported(*info)) order.push_back(info);
    }
    for (auto info = bySource_.rbegin(); info != bySource_.rend(); ++info) {
      if (!isExported(**info)) order.push_back(*info);
    }
    for (std::size_t rank = 0; rank < order.size(); ++rank) {
      order[rank]->number = 2 * static_cast<int>(rank);
      numberOrder_.push_back(order[rank]->index);
    }
  }

  static bool isExported(const ProcedureInfo& info) {
    return info.decl->keyword == "ProcedureDLL" || info.decl->keyword == "ProcedureCDLL";
  }

  // Notes that the code being generated (a procedure's or the main program's; data counts as
  // the main program's) refers to a procedure.
  void reference(const ProcedureInfo& target, bool fromData = false) {
    const int owner = procedure_ && !fromData ? procedure_->info->index : -1;
    references_[owner].insert(target.index);
  }

  // The procedures the listing keeps, in number order: the exported ones and those the main
  // program or the data refer to, directly or through other kept procedures.
  std::vector<int> keptProcedures() const {
    std::set<int> kept;
    std::vector<int> pending;
    const auto keep = [&](int index) {
      if (kept.insert(index).second) pending.push_back(index);
    };
    for (const ProcedureInfo* info : bySource_) {
      if (isExported(*info)) keep(info->index);
    }
    if (auto roots = references_.find(-1); roots != references_.end()) {
      for (int index : roots->second) keep(index);
    }
    while (!pending.empty()) {
      const int index = pending.back();
      pending.pop_back();
      if (auto found = references_.find(index); found != references_.end()) {
        for (int target : found->second) keep(target);
      }
    }
    std::vector<int> result;
    for (int index : numberOrder_) {
      if (kept.count(index) != 0) result.push_back(index);
    }
    return result;
  }

  static bool isString(const std::string& name, const std::optional<Type>& type) {
    return (type && *type == Type::string) || (!name.empty() && name.back() == '$');
  }

  Type resolveType(const std::string& name, const std::optional<Type>& type,
                   std::optional<Type> lineDefault) const {
    if (!name.empty() && name.back() == '$') return Type::string;
    if (type) return *type;
    if (lineDefault) return *lineDefault;
    return defaultType_;
  }

  // ---- Statements ------------------------------------------------------------------------

  void generate(const Stmt& stmt) {
    if (stmt.kind != Stmt::Kind::procedure) flushLinesThrough(stmt.line);
    switch (stmt.kind) {
      case Stmt::Kind::assign:
        generateAssignment(*stmt.target, *stmt.value);
        break;
      case Stmt::Kind::call:
        generateExpression(*stmt.value);
        break;
      case Stmt::Kind::ifChain:
        generateIf(stmt);
        break;
      case Stmt::Kind::whileLoop:
        generateWhile(stmt);
        break;
      case Stmt::Kind::repeatLoop:
        generateRepeat(stmt);
        break;
      case Stmt::Kind::forLoop:
        generateFor(stmt);
        break;
      case Stmt::Kind::procedureReturn:
        generateReturn(stmt);
        break;
      case Stmt::Kind::declaration:
        generateDeclaration(stmt);
        break;
      case Stmt::Kind::procedure:
        generateProcedure(*stmt.procedure);
        break;
      case Stmt::Kind::importBlock:
        addUnique(importLibraries_, stmt.text);
        for (const ImportedFunction& entry : stmt.imports) {
          if (entry.variable) declareImportedVariable(entry);
        }
        flushLinesThrough(stmt.endLine);
        break;
      case Stmt::Kind::dataSection:
        generateData(stmt);
        flushLinesThrough(stmt.endLine);
        break;
      case Stmt::Kind::inlineAsm: {
        const std::string text = trim(stmt.text);
        if (text.rfind("section", 0) == 0) {
          throw CompileError{stmt.line, "Inline assembly must not open a section."};
        }
        if (procedure_ && layout_ != ListingLayout::classic && !procedure_->asmEquates) {
          std::size_t at = code_.size();
          if (at > 0 && code_.back().rfind("; !", 0) == 0) --at;  // before its copied line
          procedure_->asmEquates = at;
        }
        code_.push_back(text);
        break;
      }
      case Stmt::Kind::end:
        if (x64_ && stmt.value) {  // the end code takes the code from its cell
          requireNumber(*stmt.value);
          emit(std::string("MOV qword [") + kExitCodeCell + "],rax");
          emit(std::string("JMP ") + kEndOfProgramLabel);
          break;
        }
        if (layout_ != ListingLayout::classic) {  // to the main program's end code
          if (stmt.value) {
            requireNumber(*stmt.value);
            emit("PUSH eax");
            emit(std::string("JMP ") + kEndOfProgramLabel);
          } else {
            emit(std::string("JMP ") + kEndWithoutValueLabel);
          }
          break;
        }
        if (stmt.value) {
          requireNumber(*stmt.value);
        } else {
          emit("XOR eax,eax");
        }
        emit("PUSH eax");
        emit(std::string("CALL ") + kExitProcess);
        break;
      case Stmt::Kind::breakLoop:
      case Stmt::Kind::continueLoop:
        if (loops_.empty()) {
          throw CompileError{stmt.line, "Break and Continue belong inside a loop."};
        }
        emit("JMP " +
             (stmt.kind == Stmt::Kind::breakLoop ? loops_.back().first : loops_.back().second));
        break;
      case Stmt::Kind::read:
        generateRead(stmt);
        break;
      case Stmt::Kind::restore:
        if (x64_) {
          loadAddress(dataLabel(stmt.text, stmt.line));
          emit("MOV qword [PB_DataPointer],rax");
        } else {
          emit("MOV dword [PB_DataPointer]," + dataLabel(stmt.text, stmt.line));
        }
        break;
      case Stmt::Kind::constantDef: {
        const std::optional<std::int64_t> value = fold(*stmt.value);
        if (!value) throw CompileError{stmt.line, "A constant needs a constant value."};
        const std::string key = itemKey(module_, stmt.text);
        const std::optional<std::int64_t> known = findConstant(stmt.text);
        if (known && *known != *value) {
          throw CompileError{stmt.line, "The constant #" + stmt.text + " is already declared."};
        }
        constants_[key] = *value;
        if (inDeclareModule_) publicConstants_.insert(key);
        break;
      }
      case Stmt::Kind::declare:
        break;
      case Stmt::Kind::declareModule:
      case Stmt::Kind::module:
        // The module's code runs where it stands, in the main program's flow.
        module_ = lowerCase(stmt.text);
        modules_.at(module_).opened = true;
        inDeclareModule_ = stmt.kind == Stmt::Kind::declareModule;
        generateBlock(stmt.body);
        flushLinesThrough(stmt.endLine);
        inDeclareModule_ = false;
        module_.clear();
        break;
      case Stmt::Kind::useModule: {
        const std::string module = moduleNamed(stmt.text, stmt.line);
        std::vector<std::string>& used = usedModules_[module_];
        used.erase(std::remove(used.begin(), used.end(), module), used.end());
        if (stmt.keyword == "UseModule") used.push_back(module);
        break;
      }
    }
  }

  void generateBlock(const Block& block) {
    for (const StmtPtr& stmt : block) generate(*stmt);
  }

  void generateIf(const Stmt& stmt) {
    const std::string endLabel = newLabel("EndIf");
    std::string nextLabel;  // where a false condition of the previous branch goes
    for (std::size_t i = 0; i < stmt.branches.size(); ++i) {
      const IfBranch& branch = stmt.branches[i];
      if (i > 0) {
        emit("JMP " + endLabel);
        flushLinesThrough(branch.line);
        placeLabel(nextLabel);
      }
      nextLabel = i + 1 == stmt.branches.size() ? endLabel : newLabel("Else");
      if (branch.condition) {
        requireNumber(*branch.condition);
        emit("TEST " + reg("ax") + "," + reg("ax"));
        emit("JZ " + nextLabel);
      }
      generateBlock(branch.body);
    }
    flushLinesThrough(stmt.endLine);
    placeLabel(endLabel);
  }

  void generateWhile(const Stmt& stmt) {
    const std::string top = newLabel("While");
    const std::string end = newLabel("Wend");
    placeLabel(top);
    requireNumber(*stmt.condition);
    emit("TEST " + reg("ax") + "," + reg("ax"));
    emit("JZ " + end);
    loops_.push_back({end, top});
    generateBlock(stmt.body);
    loops_.pop_back();
    flushLinesThrough(stmt.endLine);
    emit("JMP " + top);
    placeLabel(end);
  }

  void generateRepeat(const Stmt& stmt) {
    const std::string top = newLabel("Repeat");
    const std::string test = newLabel("Until");
    const std::string end = newLabel("EndRepeat");
    placeLabel(top);
    loops_.push_back({end, test});
    generateBlock(stmt.body);
    loops_.pop_back();
    flushLinesThrough(stmt.endLine);
    placeLabel(test);
    if (stmt.condition) {
      requireNumber(*stmt.condition);
      emit("TEST " + reg("ax") + "," + reg("ax"));
      emit("JZ " + top);
    } else {
      emit("JMP " + top);
    }
    placeLabel(end);
  }

  void generateFor(const Stmt& stmt) {
    std::int64_t step = 1;
    if (stmt.condition) {
      const std::optional<std::int64_t> value = fold(*stmt.condition);
      if (!value || *value == 0) {
        throw CompileError{stmt.line, "The Step of a For loop must be a non-zero constant."};
      }
      step = *value;
    }
    const Variable& counter = resolveVariable(*stmt.target);
    if (counter.type == Type::string) {
      throw CompileError{stmt.line, "A For loop needs a numeric variable."};
    }
    const Variable var = counter;
    requireNumber(*stmt.value);
    store(var.type, var.memory());
    const std::string top = newLabel("For");
    const std::string increment = newLabel("ForStep");
    const std::string end = newLabel("Next");
    placeLabel(top);
    requireNumber(*stmt.limit);
    emit("MOV " + reg("cx") + "," + reg("ax"));
    load(var.type, var.memory());
    emit("CMP " + reg("ax") + "," + reg("cx"));
    emit((step > 0 ? "JG " : "JL ") + end);
    loops_.push_back({end, increment});
    generateBlock(stmt.body);
    loops_.pop_back();
    flushLinesThrough(stmt.endLine);
    placeLabel(increment);
    load(var.type, var.memory());
    emit("ADD " + reg("ax") + "," + std::to_string(step));
    store(var.type, var.memory());
    emit("JMP " + top);
    placeLabel(end);
  }

  void generateReturn(const Stmt& stmt) {
    if (!procedure_) {
      throw CompileError{stmt.line, "ProcedureReturn is only allowed inside a procedure."};
    }
    if (stmt.value) {
      const ValueKind kind = generateExpression(*stmt.value);
      const bool wantString = procedure_->returnType == Type::string;
      if ((kind == ValueKind::string) != wantString) {
        throw CompileError{stmt.line, wantString ? "The procedure must return a string."
                                                 : "The procedure must return a number."};
      }
      extendResult(procedure_->returnType);
    } else if (!procedure_->zeroLabel.empty()) {
      procedure_->zeroUsed = true;
      emit("JMP " + procedure_->zeroLabel);
      return;
    } else {
      emit("XOR eax,eax");
    }
    emit("JMP " + procedure_->endLabel);
  }

  void generateDeclaration(const Stmt& stmt) {
    const bool inProcedure = procedure_.has_value();
    const std::string& keyword = stmt.keyword;
    if (stmt.items.empty()) {  // "Define.w": the default type of later untyped names
      if (*stmt.defaultType == Type::string) {
        throw CompileError{stmt.line, "The default type cannot be a string."};
      }
      defaultType_ = *stmt.defaultType;
      return;
    }
    if (inProcedure && (keyword == "Global" || keyword == "Public")) {
      throw CompileError{stmt.line, keyword + " is only allowed outside procedures."};
    }
    if (!inProcedure && (keyword == "Protected" || keyword == "Static")) {
      throw CompileError{stmt.line, keyword + " is only allowed inside a procedure."};
    }
    const bool global = keyword == "Global" || keyword == "Public";
    for (const DeclItem& item : stmt.items) {
      const Type type = resolveType(item.name, item.type, stmt.defaultType);
      const std::string key = lowerCase(item.name);
      if (keyword == "Static") {
        declareStatic(item, type);
        continue;
      }
      if (item.kind == DeclItem::Kind::array) {
        declareArray(item, type, global);
        continue;
      }
      if (item.kind == DeclItem::Kind::list) {
        declareList(item, type, global);
        continue;
      }
      Variable* var = nullptr;
      if (inProcedure) {
        if (procedure_->locals.count(key) != 0) {
          throw CompileError{item.line, "The variable '" + item.name + "' is already declared."};
        }
        var = &addLocal(item.name, type);
      } else {
        auto found = globals_.find(itemKey(module_, item.name));
        if (found != globals_.end()) {
          if (found->second.type != type) {
            throw CompileError{item.line,
                               "The variable '" + item.name + "' already has another type."};
          }
          var = &found->second;
        } else {
          var = &addGlobal(item.name, type);
        }
        if (global) var->global = true;
      }
      if (item.init) {
        const Variable target = *var;
        assignValue(target, *item.init);
      }
    }
  }

  // Arrays of the main program are reserved in the bss; those of a procedure in its frame,
  // cleared on entry like its other locals.
  void declareArray(const DeclItem& item, Type type, bool global) {
    const std::string key = procedure_ ? lowerCase(item.name) : itemKey(module_, item.name);
    auto& arrays = procedure_ ? procedure_->arrays : arrays_;
    if (arrays.count(key) != 0) {
      throw CompileError{item.line, "The array '" + item.name + "' is already declared."};
    }
    const std::optional<std::int64_t> highest = fold(*item.init);
    if (!highest || *highest < 0 || *highest > 0xFFFFFF) {
      throw CompileError{item.line, "The size of an array must be a constant from 0 up."};
    }
    // Whole cells: dwords on x86, qwords on x64.
    const int cell = pointerSize();
    const std::int64_t cells = ((*highest + 1) * cellSize(type) + cell - 1) / cell;
    Array array;
    array.type = type;
    array.global = global;
    array.isPublic = inDeclareModule_;
    if (procedure_) {
      if (cells > kLargestLocalArray / cell) {
        throw CompileError{item.line, "A procedure's array may take at most " +
                                          std::to_string(kLargestLocalArray) + " bytes."};
      }
      array.offset = reserveFrame(static_cast<int>(cells));
      array.frameRegister = reg("bp");
    } else {
      array.asmName = labelPrefix(module_) + "a_" + item.name;
      bssLines_.push_back(array.asmName + ":");
      bssLines_.push_back((x64_ ? "rq  " : "rd  ") + std::to_string(cells));
    }
    arrays[key] = array;
  }

  // A list variable holds the pointer to the list's header, 0 until the library creates it.
  void declareList(const DeclItem& item, Type type, bool global) {
    const std::string key = procedure_ ? lowerCase(item.name) : itemKey(module_, item.name);
    auto& lists = procedure_ ? procedure_->lists : lists_;
    if (lists.count(key) != 0) {
      throw CompileError{item.line, "The list '" + item.name + "' is already declared."};
    }
    List list;
    list.type = type;
    list.global = global;
    list.isPublic = inDeclareModule_;
    if (procedure_) {
      list.offset = reserveFrame(1);
      list.frameRegister = reg("bp");
    } else {
      list.asmName = labelPrefix(module_) + "t_" + item.name;
      bssLines_.push_back(list.asmName + (x64_ ? " rq 1" : " rd 1"));
    }
    lists[key] = list;
  }

  // An imported variable has no storage of its own: it is the symbol's. Imports are seen from
  // every part of the program, modules included.
  void declareImportedVariable(const ImportedFunction& entry) {
    const std::string key = lowerCase(entry.name);
    if (globals_.count(key) != 0) {
      throw CompileError{entry.line, "The variable '" + entry.name + "' is already declared."};
    }
    const ExternalName external =
        externalName(entry.symbol.empty() ? "_" + entry.name : entry.symbol, "iv_" + entry.name);
    Variable var;
    var.asmName = external.label;
    var.type = resolveType(entry.name, entry.returnType, std::nullopt);
    var.global = true;
    var.importedAs = external.declaration;
    globals_[key] = var;
  }

  Variable& addGlobal(const std::string& name, Type type) {
    Variable var;
    const std::string key = itemKey(module_, name);
    auto spelling = sharedSpellings_.find(key);
    var.asmName = labelPrefix(module_) + "v_" +
                  (spelling != sharedSpellings_.end() ? spelling->second : name);
    var.type = type;
    var.isPublic = inDeclareModule_;
    bssLines_.push_back(var.asmName + " r" + cellLetter(type) + " 1");
    return globals_[key] = var;
  }

  // Reserves cells (dwords, qwords on x64) in the running procedure's frame; returns the offset
  // of the lowest.
  int reserveFrame(int cells) {
    procedure_->frameSize += pointerSize() * cells;
    return -procedure_->frameSize;
  }

  Variable& addLocal(const std::string& name, Type type) {
    Variable var;
    var.type = type;
    var.spelling = name;
    var.offset = reserveFrame(1);
    var.frameRegister = reg("bp");
    return procedure_->locals[lowerCase(name)] = var;
  }

  // A static variable keeps its value between calls: it lives at a label of the procedure,
  // so_<procedure>.v_<name>, in the bss, or with its initial value in the data section.
  void declareStatic(const DeclItem& item, Type type) {
    if (item.kind != DeclItem::Kind::variable) {
      throw CompileError{item.line, "Static supports variables only."};
    }
    const std::string key = lowerCase(item.name);
    if (procedure_->locals.count(key) != 0) {
      throw CompileError{item.line, "The variable '" + item.name + "' is already declared."};
    }
    Variable var;
    var.type = type;
    var.spelling = item.name;
    var.asmName = labelPrefix(module_) + "so_" + procedure_->info->decl->name + ".v_" + item.name;
    std::string value;
    if (item.init && item.init->kind == Expr::Kind::string && type == Type::string) {
      value = stringLabel(item.init->text);
    } else if (item.init) {
      const std::optional<std::int64_t> number = fold(*item.init);
      if (!number || type == Type::string) {
        throw CompileError{item.line, "A static variable needs a constant initial value."};
      }
      if (*number != 0) value = std::to_string(*number);
    }
    if (value.empty()) {
      bssLines_.push_back(var.asmName + " r" + cellLetter(type) + " 1");
    } else {
      staticDataLines_.push_back(var.asmName + " d" + cellLetter(type) + " " + value);
    }
    procedure_->locals[key] = var;
  }

  void generateProcedure(const ProcedureDecl& decl) {
    if (nextLine_ > decl.line) {
      throw CompileError{decl.line, "A procedure must begin its line."};
    }
    flushLinesThrough(decl.line - 1);
    const ProcedureInfo& info = procedures_.at(itemKey(module_, decl.name));
    const std::string number = std::to_string(info.number);
    const bool classic = layout_ == ListingLayout::classic;
    procedureOrder_.push_back(info.index);
    std::vector<std::string> mainCode;  // the procedure's code is made apart, then placed
    mainCode.swap(code_);
    flushLinesThrough(decl.line);
    if (separateProcedures()) code_.back() += " ";  // as these generations copy it
    if (!separateProcedures()) code_.push_back("macro MP" + number + "{");
    code_.push_back("_Procedure" + number + ":");
    if (x64_) {
      // The register parameters go to the shadow space the caller left above the return
      // address, so that every parameter has its place in memory beside the stack ones.
      const std::size_t spilled = std::min<std::size_t>(decl.params.size(), 4);
      for (std::size_t i = 0; i < spilled; ++i) {
        emit("MOV qword [rsp+" + std::to_string(8 * (i + 1)) + "]," + kArgumentRegisters64[i]);
      }
    }
    emit("PUSH " + reg("bp"));
    emit("MOV " + reg("bp") + "," + reg("sp"));
    const std::size_t framePosition = code_.size();

    ProcedureContext context;
    context.info = &info;
    context.returnType = resolveType(decl.name, decl.returnType, std::nullopt);
    // The real compilers' end label takes the number after the entry label's.
    const std::string endNumber = classic ? number : std::to_string(info.number + 1);
    context.endLabel = "_EndProcedure" + endNumber;
    if (layout_ == ListingLayout::afterEndCode) context.zeroLabel = "_EndProcedureZero" + endNumber;
    for (std::size_t i = 0; i < decl.params.size(); ++i) {
      const Param& param = decl.params[i];
      const std::string key = lowerCase(param.name);
      if (context.locals.count(key) != 0) {
        throw CompileError{decl.line, "The parameter '" + param.name + "' appears twice."};
      }
      Variable var;
      var.type = resolveType(param.name, param.type, std::nullopt);
      var.spelling = param.name;
      // Above the saved frame register and the return address.
      var.offset = 2 * pointerSize() + pointerSize() * static_cast<int>(i);
      var.frameRegister = reg("bp");
      context.locals[key] = var;
    }
    procedure_ = std::move(context);
    const auto savedLoops = loops_;
    loops_.clear();
    generateBlock(decl.body);
    loops_ = savedLoops;
    flushLinesThrough(decl.endLine);
    if (procedure_->zeroUsed) placeLabel(procedure_->zeroLabel);
    emit("XOR " + reg("ax") + "," + reg("ax"));
    placeLabel(procedure_->endLabel);
    emit("MOV " + reg("sp") + "," + reg("bp"));
    emit("POP " + reg("bp"));
    // These generations pad some code lines with blanks.
    const std::string padding = separateProcedures() ? std::string(24, ' ') : "";
    // On x64 every convention leaves the stack to the caller.
    if (!x64_ && decl.convention() == CallingConvention::stdcall && !decl.params.empty()) {
      emit("RET " + std::to_string(4 * decl.params.size()) + padding);
    } else {
      emit("RET" + padding);
    }
    if (procedure_->asmEquates) code_.push_back("PS" + number + "=0");
    if (!separateProcedures()) code_.push_back("}");

    const int localsSize = procedure_->frameSize;
    // An x64 frame keeps rsp 8 bytes past a multiple of 16 between statements, as at the
    // procedure's entry, so that a call's SUB rsp,40 aligns it; with the pushed rbp that makes
    // frame sizes of 16k + 8 bytes.
    const int frameSize = x64_ ? (localsSize + 7) / 16 * 16 + 8 : localsSize;
    if (procedure_->asmEquates) {
      const std::vector<std::string> equates = inlineAsmEquates(number, frameSize);
      code_.insert(code_.begin() + static_cast<std::ptrdiff_t>(*procedure_->asmEquates),
                   equates.begin(), equates.end());
    }
    // The frame is known only now: reserve it and clear the locals, as the language promises.
    // Clearing runs from the top down, so a large frame meets the stack's guard page in order.
    std::vector<std::string> frame;
    const int cell = pointerSize();
    const std::string size = wordSize();
    if (frameSize > 0) frame.push_back("  SUB " + reg("sp") + "," + std::to_string(frameSize));
    if (localsSize > 0) {
      if (localsSize <= cell * kUnrolledClearing) {
        for (int offset = cell; offset <= localsSize; offset += cell) {
          frame.push_back("  MOV " + size + " [" + reg("bp") + "-" + std::to_string(offset) +
                          "],0");
        }
      } else {
        const std::string loop = newLabel("ClearFrame");
        const std::string counter = reg("cx");
        const std::string scale = std::to_string(cell);
        frame.push_back("  MOV " + counter + "," + std::to_string(frameSize / cell));
        frame.push_back(loop + ":");
        frame.push_back("  MOV " + size + " [" + reg("sp") + "+" + counter + "*" + scale + "-" +
                        scale + "],0");
        frame.push_back("  DEC " + counter);
        frame.push_back("  JNZ " + loop);
      }
    }
    code_.insert(code_.begin() + static_cast<std::ptrdiff_t>(framePosition), frame.begin(),
                 frame.end());
    procedure_.reset();
    code_.swap(mainCode);
    if (separateProcedures()) {
      procedureCode_[info.index] = std::move(mainCode);
    } else {
      code_.insert(code_.end(), mainCode.begin(), mainCode.end());
    }
  }

  // Inline assembly names a procedure's parameters and locals p.v_<name>: "esp+PS<n>+<offset>"
  // with the offset from the bottom of the frame, where esp stands between statements, and
  // PS<n> the bytes pushed on top of it, which is 0 as no statement leaves anything pushed.
  std::vector<std::string> inlineAsmEquates(const std::string& number, int frameSize) const {
    std::vector<const Variable*> params;
    std::vector<const Variable*> locals;
    for (const auto& [key, var] : procedure_->locals) {
      if (!var.asmName.empty()) continue;  // statics have labels of their own
      (var.offset > 0 ? params : locals).push_back(&var);
    }
    std::sort(params.begin(), params.end(),
              [](const Variable* a, const Variable* b) { return a->offset < b->offset; });
    std::sort(locals.begin(), locals.end(),
              [](const Variable* a, const Variable* b) { return a->offset > b->offset; });
    params.insert(params.end(), locals.begin(), locals.end());
    std::vector<std::string> equates;
    for (const Variable* var : params) {
      equates.push_back("p.v_" + var->spelling + " equ " + reg("sp") + "+PS" + number + "+" +
                        std::to_string(frameSize + var->offset));
    }
    return equates;
  }

  void generateRead(const Stmt& stmt) {
    const Variable var = resolveVariable(*stmt.target);
    const Type type = stmt.defaultType ? *stmt.defaultType : var.type;
    if (type == Type::string || var.type == Type::string) {
      throw CompileError{stmt.line, "Read supports numeric values only."};
    }
    const std::string pointer = reg("dx");
    emit("MOV " + pointer + "," + wordSize() + " [PB_DataPointer]");
    load(type, "[" + pointer + "]");
    emit("ADD " + pointer + "," + std::to_string(cellSize(type)));
    emit("MOV " + std::string(wordSize()) + " [PB_DataPointer]," + pointer);
    store(var.type, var.memory());
  }

  std::string dataLabel(const std::string& name, int line) const {
    auto found = dataLabels_.find(itemKey(module_, name));
    if (found == dataLabels_.end()) {
      throw CompileError{line, "The label '" + name + "' is not declared."};
    }
    return found->second;
  }

  void generateData(const Stmt& stmt) {
    for (const DataItem& item : stmt.data) {
      switch (item.kind) {
        case DataItem::Kind::label:
          dataLines_.push_back(dataLabel(item.text, item.line) + ":");
          break;
        case DataItem::Kind::includeBinary: {
          std::filesystem::path path = item.text;
          if (path.is_relative()) path = options_.sourceFolder / path;
          std::error_code error;
          if (!std::filesystem::is_regular_file(path, error)) {
            throw CompileError{item.line, "IncludeBinary: file not found (" + item.text + ")."};
          }
          const std::string text = path.string();
          if (text.find('\'') != std::string::npos) {
            throw CompileError{item.line, "IncludeBinary: the path must not contain a quote."};
          }
          dataLines_.push_back("file '" + text + "'");
          break;
        }
        case DataItem::Kind::values:
          if (item.type == Type::string) {
            for (const ExprPtr& value : item.values) {
              if (value->kind != Expr::Kind::string) {
                throw CompileError{item.line, "Data.s needs strings."};
              }
              // The data lines accept only db/dw/dd, so UTF-16 text is written as words. FASM
              // reads a quoted text after dw as one number made of its bytes (two characters
              // share a word, more are out of range), so every code unit is a number.
              dataLines_.push_back(options_.unicode
                                       ? "dw " + numberOperands(utf16Units(value->text))
                                       : "db " + textOperands(byteUnits(value->text)));
            }
            break;
          }
          {
            std::string line = "d" + cellLetter(item.type) + " ";
            for (std::size_t i = 0; i < item.values.size(); ++i) {
              if (i > 0) line += ",";
              line += dataValue(*item.values[i], item.type);
            }
            dataLines_.push_back(line);
          }
          break;
      }
    }
  }

  std::string dataValue(const Expr& value, Type type) {
    if (const std::optional<std::int64_t> number = fold(value)) return std::to_string(*number);
    const bool dword = type == Type::longInt || type == Type::integer;
    if (dword && value.kind == Expr::Kind::labelAddress) return dataLabel(value.text, value.line);
    if (dword && value.kind == Expr::Kind::addressOf && value.left->kind == Expr::Kind::call) {
      if (const ProcedureInfo* found = findProcedure(*value.left)) {
        reference(*found, true);
        return "_Procedure" + std::to_string(found->number);
      }
    }
    throw CompileError{value.line, "Data needs constant values."};
  }

  // ---- Variables and memory --------------------------------------------------------------

  // The variable a name refers to, created on first use as PureBasic does without
  // EnableExplicit: a local inside a procedure, a main-program variable outside.
  Variable& resolveVariable(const Expr& name) {
    const std::string key = lowerCase(name.text);
    const Type wanted = resolveType(name.text, name.type, std::nullopt);
    Variable* var = nullptr;
    if (!name.module.empty()) {  // "module::name" never creates a variable
      var = findScoped(globals_, name.module, name.text, name.line);
      if (var == nullptr) notPublic(name, "variable");
    } else if (procedure_) {
      auto local = procedure_->locals.find(key);
      if (local != procedure_->locals.end()) {
        var = &local->second;
      } else {
        Variable* shared = findScoped(globals_, "", name.text, name.line);
        if (shared == nullptr) shared = importedVariable(key);
        if (shared != nullptr && shared->global) var = shared;
      }
      if (var == nullptr) return addLocal(name.text, wanted);
    } else {
      var = findScoped(globals_, "", name.text, name.line);
      if (var == nullptr) var = importedVariable(key);
      if (var == nullptr) return addGlobal(name.text, wanted);
    }
    if (name.type && var->type != wanted) {
      throw CompileError{name.line, "The variable '" + name.text + "' already has another type."};
    }
    if (!var->importedAs.empty()) addExtern(importExterns_, var->importedAs);
    return *var;
  }

  // Imported variables belong to no module (see declareImportedVariable).
  Variable* importedVariable(const std::string& key) {
    auto found = globals_.find(key);
    return found != globals_.end() && !found->second.importedAs.empty() ? &found->second : nullptr;
  }

  // A procedure sees its own arrays and lists, then the global ones; "module::name" reaches a
  // module's public ones from anywhere.
  template <typename T>
  const T* findVisible(const std::map<std::string, T>& globals,
                       const std::map<std::string, T>* locals, const Expr& ref) const {
    if (locals != nullptr && ref.module.empty()) {
      auto local = locals->find(lowerCase(ref.text));
      if (local != locals->end()) return &local->second;
    }
    const T* found = findScoped(globals, ref.module, ref.text, ref.line);
    if (found == nullptr || (procedure_ && ref.module.empty() && !found->global)) return nullptr;
    return found;
  }
  const Array* findArray(const Expr& ref) const {
    return findVisible(arrays_, procedure_ ? &procedure_->arrays : nullptr, ref);
  }
  const List* findList(const Expr& ref) const {
    return findVisible(lists_, procedure_ ? &procedure_->lists : nullptr, ref);
  }
  const ProcedureInfo* findProcedure(const Expr& ref) const {
    return findScoped(procedures_, ref.module, ref.text, ref.line);
  }

  // Loads a cell into eax (rax), narrower ones with their sign.
  void load(Type type, const std::string& memory) {
    const int size = cellSize(type);
    if (size < 4 || (size == 4 && x64_)) {
      emit(std::string(size == 4 ? "MOVSXD " : "MOVSX ") + reg("ax") + "," + cellName(type) + " " +
           memory);
    } else {
      emit("MOV " + reg("ax") + "," + cellName(type) + " " + memory);
    }
  }
  void store(Type type, const std::string& memory) {
    static const char* const registers[] = {"al", "ax", "", "eax", "", "", "", "rax"};
    emit("MOV " + cellName(type) + " " + memory + "," + registers[cellSize(type) - 1]);
  }

  // The memory operand of the array element whose index is in ecx (rcx). An x64 instruction
  // cannot add a register to a label relative to rip, so a global array's address is taken into
  // rdx first.
  std::string elementMemory(const Array& array) {
    const int size = cellSize(array.type);
    std::string base = array.base();
    if (x64_ && !array.asmName.empty()) {
      emit("LEA rdx,[" + array.asmName + "]");
      base = "rdx";
    }
    return "[" + base + "+" + reg("cx") + (size == 1 ? "" : "*" + std::to_string(size)) + "]";
  }

  // Leaves the index of an array element in ecx (and checks it is one number).
  const Array& elementIndex(const Expr& call, const Array& array) {
    if (call.args.size() != 1) {
      throw CompileError{call.line, "The array '" + call.text + "' has one dimension."};
    }
    requireNumber(*call.args[0]);
    emit("MOV " + reg("cx") + "," + reg("ax"));
    return array;
  }

  // Leaves the address of the current element of a list in edx.
  void currentElement(const List& list) {
    const std::string pointer = reg("dx");
    emit("MOV " + pointer + "," + wordSize() + " " + list.memory());
    emit("MOV " + pointer + "," + wordSize() + " [" + pointer + "]");
  }

  void checkKind(ValueKind kind, Type target, int line) {
    if ((kind == ValueKind::string) != (target == Type::string)) {
      throw CompileError{line, target == Type::string ? "A string is expected here."
                                                      : "A number is expected here."};
    }
  }

  void assignValue(const Variable& target, const Expr& value) {
    checkKind(generateExpression(value), target.type, value.line);
    store(target.type, target.memory());
  }

  void generateAssignment(const Expr& target, const Expr& value) {
    if (target.kind == Expr::Kind::name) {
      const Variable var = resolveVariable(target);
      assignValue(var, value);
      return;
    }
    if (const Array* array = findArray(target)) {
      elementIndex(target, *array);
      push("cx");
      checkKind(generateExpression(value), array->type, value.line);
      pop("cx");
      store(array->type, elementMemory(*array));
      return;
    }
    if (const List* list = findList(target)) {
      if (!target.args.empty()) syntaxErrorAt(target.line);
      checkKind(generateExpression(value), list->type, value.line);
      currentElement(*list);
      store(list->type, "[" + reg("dx") + "]");
      return;
    }
    if (!target.module.empty()) notPublic(target, "array or list");
    throw CompileError{target.line, "'" + target.text + "()' is not an array or a linked list."};
  }

  [[noreturn]] static void syntaxErrorAt(int line) { throw CompileError{line, "Syntax error."}; }

  // ---- Expressions -----------------------------------------------------------------------

  std::optional<std::int64_t> fold(const Expr& expr) const {
    switch (expr.kind) {
      case Expr::Kind::number:
        return expr.value;
      case Expr::Kind::constant:
        return findConstant(expr.text, expr.module, expr.line);
      case Expr::Kind::unary: {
        const auto operand = fold(*expr.left);
        if (!operand) return std::nullopt;
        if (expr.text == "-") return -*operand;
        if (expr.text == "~") return ~*operand;
        return *operand == 0 ? 1 : 0;
      }
      case Expr::Kind::binary: {
        const auto left = fold(*expr.left);
        const auto right = fold(*expr.right);
        if (!left || !right) return std::nullopt;
        const std::string& op = expr.text;
        if (op == "+") return *left + *right;
        if (op == "-") return *left - *right;
        if (op == "*") return *left * *right;
        if (op == "/" || op == "%") {
          if (*right == 0) throw CompileError{expr.line, "Division by zero."};
          return op == "/" ? *left / *right : *left % *right;
        }
        if (op == "&") return *left & *right;
        if (op == "|") return *left | *right;
        // The shift counts as the processor takes them: 5 bits of them, 6 on x64.
        const std::int64_t mask = x64_ ? 63 : 31;
        if (op == "<<")
          return static_cast<std::int64_t>(static_cast<std::uint64_t>(*left) << (*right & mask));
        if (op == ">>") return *left >> (*right & mask);
        return std::nullopt;  // comparisons and logic are generated as code
      }
      default:
        return std::nullopt;
    }
  }

  // A constant seen as findScoped sees items; the built-in ones are seen everywhere.
  std::optional<std::int64_t> findConstant(const std::string& name, const std::string& prefix = "",
                                           int line = 0) const {
    const auto visible = [&](const std::string& module) -> std::optional<std::int64_t> {
      const std::string key = itemKey(module, name);
      auto found = constants_.find(key);
      if (found == constants_.end() || (module != module_ && publicConstants_.count(key) == 0)) {
        return std::nullopt;
      }
      return found->second;
    };
    if (!prefix.empty()) return visible(moduleNamed(prefix, line));
    if (const auto own = visible(module_)) return own;
    if (auto used = usedModules_.find(module_); used != usedModules_.end()) {
      for (const std::string& module : used->second) {
        if (const auto value = visible(module)) return value;
      }
    }
    // The built-in constants, which every part of a program sees, modules included.
    if (auto builtin = builtinConstants_.find(lowerCase(name));
        builtin != builtinConstants_.end()) {
      return builtin->second;
    }
    return std::nullopt;
  }

  void requireNumber(const Expr& expr) {
    if (generateExpression(expr) != ValueKind::number) {
      throw CompileError{expr.line, "A number is expected here, not a string."};
    }
  }

  // Generates code that leaves the value in eax.
  ValueKind generateExpression(const Expr& expr) {
    if (const std::optional<std::int64_t> value = fold(expr)) {
      emit(x64_ ? "MOV rax," + std::to_string(*value)
                : "MOV eax," + std::to_string(static_cast<std::int32_t>(*value)));
      return ValueKind::number;
    }
    switch (expr.kind) {
      case Expr::Kind::string:
        loadAddress(stringLabel(expr.text));
        return ValueKind::string;
      case Expr::Kind::constant:
        throw CompileError{expr.line, "The constant #" +
                                          (expr.module.empty() ? "" : expr.module + "::") +
                                          expr.text + " is not declared."};
      case Expr::Kind::name: {
        const Variable& var = resolveVariable(expr);
        const Variable copy = var;
        load(copy.type, copy.memory());
        return copy.type == Type::string ? ValueKind::string : ValueKind::number;
      }
      case Expr::Kind::call:
        return generateCall(expr);
      case Expr::Kind::apiCall:
        return generateWindowsCall(expr);
      case Expr::Kind::unary:
        requireNumber(*expr.left);
        if (expr.text == "-") {
          emit("NEG " + reg("ax"));
        } else if (expr.text == "~") {
          emit("NOT " + reg("ax"));
        } else {
          emit("TEST " + reg("ax") + "," + reg("ax"));
          emit("SETZ al");
          emit("MOVZX eax,al");  // which clears the upper half of rax too
        }
        return ValueKind::number;
      case Expr::Kind::binary:
        generateBinary(expr);
        return ValueKind::number;
      case Expr::Kind::addressOf:
        generateAddress(*expr.left);
        return ValueKind::number;
      case Expr::Kind::labelAddress:
        loadAddress(dataLabel(expr.text, expr.line));
        return ValueKind::number;
      case Expr::Kind::number:
        break;
    }
    return ValueKind::number;
  }

  void generateBinary(const Expr& expr) {
    const std::string& op = expr.text;
    const bool logical = op == "and" || op == "or" || op == "xor";
    const std::string ax = reg("ax");
    const std::string cx = reg("cx");
    const auto truth = [&] {
      emit("TEST " + ax + "," + ax);
      emit("SETNZ al");
      emit("MOVZX eax,al");
    };
    requireNumber(*expr.left);
    if (logical) truth();
    push("ax");
    requireNumber(*expr.right);
    if (logical) truth();
    emit("MOV " + cx + "," + ax);
    pop("ax");
    static const std::map<std::string, std::string> simple = {
        {"+", "ADD"}, {"-", "SUB"},   {"*", "IMUL"}, {"&", "AND"},
        {"|", "OR"},  {"and", "AND"}, {"or", "OR"},  {"xor", "XOR"}};
    static const std::map<std::string, std::string> comparisons = {
        {"=", "SETE"}, {"<>", "SETNE"}, {"<", "SETL"},
        {">", "SETG"}, {"<=", "SETLE"}, {">=", "SETGE"}};
    if (auto found = simple.find(op); found != simple.end()) {
      emit(found->second + " " + ax + "," + cx);
    } else if (op == "<<" || op == ">>") {
      emit((op == "<<" ? "SHL " : "SAR ") + ax + ",cl");
    } else if (op == "/" || op == "%") {
      emit(x64_ ? "CQO" : "CDQ");
      emit("IDIV " + cx);
      if (op == "%") emit("MOV " + ax + "," + reg("dx"));
    } else {
      emit("CMP " + ax + "," + cx);
      emit(comparisons.at(op) + " al");
      emit("MOVZX eax,al");
    }
  }

  void generateAddress(const Expr& target) {
    if (target.kind == Expr::Kind::name) {
      const Variable var = resolveVariable(target);
      if (var.asmName.empty()) {
        emit("LEA " + reg("ax") + "," + var.memory());
      } else {
        loadAddress(var.asmName);
      }
      return;
    }
    if (const Array* array = findArray(target)) {
      elementIndex(target, *array);
      const std::string memory = elementMemory(*array);
      emit("LEA " + reg("ax") + "," + memory);
      return;
    }
    const ProcedureInfo* procedure = findProcedure(target);
    if (procedure != nullptr && target.args.empty()) {
      reference(*procedure);
      loadAddress("_Procedure" + std::to_string(procedure->number));
      return;
    }
    throw CompileError{target.line, "'@" + target.text + "()' has no address."};
  }

  // The list or array an 'L' or 'A' argument names as "name()".
  const Storage& listOrArrayArgument(const Expr& arg, char kind) const {
    const Storage* storage = nullptr;
    if (arg.kind == Expr::Kind::call && arg.args.empty()) {
      storage = kind == 'L' ? static_cast<const Storage*>(findList(arg))
                            : static_cast<const Storage*>(findArray(arg));
    }
    if (storage == nullptr) {
      throw CompileError{
          arg.line, kind == 'L' ? "A linked list is expected here." : "An array is expected here."};
    }
    return *storage;
  }

  // Generates an argument into eax (rax): 's' parameters take strings, 'n' numbers, '*'
  // either (Windows functions take numbers and string pointers alike), 'L' a linked list (the
  // address of its list pointer) and 'A' an array (the address of its first element), both
  // written as "name()".
  void argumentValue(const Expr& arg, char kind) {
    if (kind == 'L' || kind == 'A') {
      const Storage& storage = listOrArrayArgument(arg, kind);
      if (storage.asmName.empty()) {
        emit("LEA " + reg("ax") + "," + storage.memory());
      } else {
        loadAddress(storage.asmName);
      }
      return;
    }
    const ValueKind value = generateExpression(arg);
    if (kind != '*' && (value == ValueKind::string) != (kind == 's')) {
      throw CompileError{arg.line, kind == 's' ? "Bad parameter type: a string is expected."
                                               : "Bad parameter type: a number is expected."};
    }
  }

  // Calls a function with its arguments, which are evaluated from the last to the first. x86:
  // they are pushed, and a cdecl caller removes them afterwards itself. x64: the call is
  // wrapped in SUB rsp,<n> and ADD rsp,<n>, which make room for the shadow space and the
  // arguments beyond the fourth and align rsp to 16 bytes at the CALL; each argument is
  // stored in its slot, and the first four are then loaded into rcx, rdx, r8 and r9.
  void callWithArguments(const std::vector<const Expr*>& args, const std::string& kinds,
                         const std::string& target) {
    if (!x64_) {
      for (std::size_t i = args.size(); i-- > 0;) {
        const Storage* storage = nullptr;
        if (kinds[i] == 'L' || kinds[i] == 'A') storage = &listOrArrayArgument(*args[i], kinds[i]);
        if (storage != nullptr && !storage->asmName.empty()) {
          emit("PUSH dword " + storage->asmName);
        } else {
          argumentValue(*args[i], kinds[i]);
          emit("PUSH eax");
        }
      }
      emit("CALL " + target);
      return;
    }
    const int stackArguments = std::max(static_cast<int>(args.size()) - 4, 0);
    int area = kShadowSpace + 8 * stackArguments;
    if ((pushed_ + area) % 16 != 8) area += 8;  // rsp stands at 8 past a multiple of 16 now
    const std::string size = std::to_string(area);
    emit("SUB rsp," + size);
    pushed_ += area;
    const auto slot = [](std::size_t i) {
      return i == 0 ? std::string("[rsp]") : "[rsp+" + std::to_string(8 * i) + "]";
    };
    for (std::size_t i = args.size(); i-- > 0;) {
      argumentValue(*args[i], kinds[i]);
      emit("MOV qword " + slot(i) + ",rax");
    }
    for (std::size_t i = 0; i < args.size() && i < 4; ++i) {
      emit(std::string("MOV ") + kArgumentRegisters64[i] + ",qword " + slot(i));
    }
    emit("CALL " + target);
    emit("ADD rsp," + size);
    pushed_ -= area;
  }

  static std::vector<const Expr*> argumentList(const Expr& call) {
    std::vector<const Expr*> args;
    for (const ExprPtr& arg : call.args) args.push_back(arg.get());
    return args;
  }

  ValueKind generateCall(const Expr& call) {
    if (const Array* array = findArray(call)) {
      elementIndex(call, *array);
      load(array->type, elementMemory(*array));
      return array->type == Type::string ? ValueKind::string : ValueKind::number;
    }
    if (const List* list = findList(call)) {
      if (!call.args.empty()) syntaxErrorAt(call.line);
      currentElement(*list);
      load(list->type, "[" + reg("dx") + "]");
      return list->type == Type::string ? ValueKind::string : ValueKind::number;
    }
    if (const ProcedureInfo* found = findProcedure(call)) return callProcedure(call, *found);
    if (!call.module.empty()) notPublic(call, "procedure, array or list");
    const std::string key = lowerCase(call.text);
    if (const LibraryFunction* function = findLibraryFunction(call.text)) {
      for (const LibraryForm& form : function->forms) {
        if (form.params.size() != call.args.size()) continue;
        const std::string symbol =
            librarySymbol(*function, form, options_.thread, options_.unicode, x64_);
        addExtern(pbExterns_, symbol);
        addUnique(pbLibraries_, function->library);
        callWithArguments(argumentList(call), form.params, symbol);
        // The x64 convention leaves the upper bits of a narrower result undefined.
        if (x64_) extendResult(function->result);
        return function->result == Type::string ? ValueKind::string : ValueKind::number;
      }
      throw CompileError{call.line, "Incorrect number of parameters for " + function->name + "()."};
    }
    if (auto found = imports_.find(key); found != imports_.end()) {
      const ImportInfo& info = found->second;
      const std::vector<Param>& params = info.function->params;
      if (call.args.size() != params.size()) {
        throw CompileError{call.line, "Incorrect number of parameters for " + call.text + "()."};
      }
      std::string kinds;
      for (const Param& param : params) kinds += isString(param.name, param.type) ? 's' : 'n';
      addExtern(importExterns_, info.external.declaration);
      callWithArguments(argumentList(call), kinds, info.external.label);
      if (!x64_ && info.cdecl && !params.empty()) {
        emit("ADD esp," + std::to_string(4 * params.size()));
      }
      if (x64_ && info.function->returnType) extendResult(*info.function->returnType);
      return info.returnsString ? ValueKind::string : ValueKind::number;
    }
    throw CompileError{call.line, call.text + "() is not a function, array, macro or linked list."};
  }

  ValueKind callProcedure(const Expr& call, const ProcedureInfo& info) {
    const std::vector<Param>& params = info.decl->params;
    std::size_t required = 0;  // up to the last parameter without a default value
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (!params[i].defaultValue) required = i + 1;
    }
    if (call.args.size() < required || call.args.size() > params.size()) {
      throw CompileError{call.line, "Incorrect number of parameters for " + call.text + "()."};
    }
    std::vector<const Expr*> args = argumentList(call);
    for (std::size_t i = args.size(); i < params.size(); ++i) {
      args.push_back(params[i].defaultValue.get());
    }
    std::string kinds;
    for (bool isStringParam : info.stringParams) kinds += isStringParam ? 's' : 'n';
    reference(info);
    callWithArguments(args, kinds, "_Procedure" + std::to_string(info.number));
    if (!x64_ && info.decl->convention() == CallingConvention::cdecl && !params.empty()) {
      emit("ADD esp," + std::to_string(4 * params.size()));
    }
    return info.returnsString ? ValueKind::string : ValueKind::number;
  }

  ValueKind generateWindowsCall(const Expr& call) {
    const WindowsFunction* function = findWindowsFunction(call.text);
    if (function == nullptr) {
      throw CompileError{call.line,
                         call.text + "_() is not a function, array, macro or linked list."};
    }
    if (static_cast<int>(call.args.size()) != function->paramCount) {
      throw CompileError{call.line, "Incorrect number of parameters for " + call.text + "_()."};
    }
    const std::string symbol = windowsSymbol(*function, options_.unicode, x64_);
    addExtern(apiExterns_, symbol);
    std::string library = function->library;
    std::transform(library.begin(), library.end(), library.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    addUnique(systemLibraries_, library);
    callWithArguments(argumentList(call), std::string(call.args.size(), '*'), symbol);
    return ValueKind::number;
  }

  const std::vector<std::string>& lines_;
  const CompileOptions& options_;
  const bool x64_;
  // The bytes pushed (or reserved for a call) below where the stack pointer stands between
  // statements; x64 calls align to 16 bytes from it.
  int pushed_ = 0;
  int nextLine_ = 1;
  int labels_ = 0;
  Type defaultType_ = Type::longInt;

  std::vector<std::string> code_;  // the main program; in the macro layouts with the procedures
  std::vector<std::string> stringLines_;
  std::vector<std::string> bssLines_;
  std::vector<std::string> dataLines_;
  std::map<std::string, std::string> stringLabels_;

  std::vector<std::string> pbLibraries_;
  std::vector<std::string> systemLibraries_;
  std::vector<std::string> importLibraries_;
  std::vector<std::string> pbExterns_;
  std::vector<std::string> apiExterns_;
  std::vector<std::string> importExterns_;
  std::set<std::string> externSet_;

  std::map<std::string, Variable> globals_;
  std::map<std::string, Array> arrays_;
  std::map<std::string, List> lists_;
  std::map<std::string, ProcedureInfo> procedures_;
  std::map<std::string, ImportInfo> imports_;
  std::map<std::string, std::int64_t> constants_;
  std::map<std::string, std::string> dataLabels_;
  std::map<std::string, std::string> sharedSpellings_;

  // Tables hold a module's items under "<module>::<name>" (see itemKey).
  struct ModuleInfo {
    std::string spelling;      // as its DeclareModule writes it
    bool implemented = false;  // its Module has been seen (first pass)
    bool opened = false;       // the code generation has reached its DeclareModule
  };
  std::map<std::string, ModuleInfo> modules_;              // by lower-case name
  std::map<std::string, const Stmt*> declaredProcedures_;  // the Declare lines of DeclareModules
  std::set<std::string> publicConstants_;
  std::map<std::string, std::vector<std::string>> usedModules_;  // by the part that uses them
  std::string module_;         // the module being generated, in lower case; empty outside
  std::string collectModule_;  // the same for the first pass
  bool inDeclareModule_ = false;
  std::vector<int> procedureOrder_;  // classic: the procedures in source order
  const ListingLayout layout_;
  const std::map<std::string, std::int64_t> builtinConstants_;  // by lower-case name
  std::vector<ProcedureInfo*> bySource_;                        // by index
  std::vector<int> numberOrder_;             // indices in number order (not classic)
  std::map<int, std::set<int>> references_;  // indices referred to, by referring index (-1: main)
  std::vector<int> kept_;                    // indices the listing keeps, in number order
  std::map<int, std::vector<std::string>> procedureCode_;  // separate procedures, by index
  std::vector<std::string> staticDataLines_;               // statics with an initial value

  std::optional<ProcedureContext> procedure_;
  std::vector<std::pair<std::string, std::string>> loops_;  // break and continue targets
};

}  // namespace

std::string generateListing(const Program& program, const std::vector<std::string>& sourceLines,
                            const CompileOptions& options) {
  return Generator(sourceLines, options).run(program);
}

}  // namespace standin
