// The syntax tree the parser builds and the code generator walks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// The value types of the subset. Strings are pointers to zero-terminated text.
enum class Type : std::uint8_t { byte, word, longInt, integer, string };

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
  enum class Kind {
    number,        // value
    string,        // text
    constant,      // "#name"
    name,          // a variable; type set when written with a suffix
    call,          // name(args): procedure, library function, array element or list element
    apiCall,       // name_(args): a Windows function; name holds it without "_"
    unary,         // op "-", "~" or "not" applied to left
    binary,        // left op right
    addressOf,     // "@" left, where left is a name or a call form
    labelAddress,  // "?name"
  };
  Kind kind = Kind::number;
  int line = 0;
  std::int64_t value = 0;
  std::string text;    // string text, name or operator
  std::string module;  // names and constants: "m" in "m::name", empty without a module prefix
  std::optional<Type> type;
  ExprPtr left;
  ExprPtr right;
  std::vector<ExprPtr> args;
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

// One item of a Global/Public/Define/Protected line.
struct DeclItem {
  enum class Kind { variable, array, list };
  Kind kind = Kind::variable;
  std::string name;
  std::optional<Type> type;
  ExprPtr init;  // variables: optional initial value; arrays: the highest index
  int line = 0;
};

struct Param {
  std::string name;
  std::optional<Type> type;
  ExprPtr defaultValue;
};

enum class CallingConvention { stdcall, cdecl };

struct ProcedureDecl {
  std::string keyword;  // "Procedure", "ProcedureC", "ProcedureDLL" or "ProcedureCDLL"
  std::string name;
  std::optional<Type> returnType;
  std::vector<Param> params;
  Block body;
  int line = 0;
  int endLine = 0;
  CallingConvention convention() const {
    return keyword == "ProcedureC" || keyword == "ProcedureCDLL" ? CallingConvention::cdecl
                                                                 : CallingConvention::stdcall;
  }
};

// An entry of an Import/ImportC block: a function "Name.t(params)", or, written without a
// parameter list, a variable "name.t" whose storage is the symbol.
struct ImportedFunction {
  std::string name;
  std::optional<Type> returnType;  // a variable's type
  std::vector<Param> params;
  bool variable = false;
  std::string symbol;  // from "As"; empty for the default decoration
  int line = 0;
};

struct DataItem {
  enum class Kind { label, values, includeBinary };
  Kind kind = Kind::values;
  std::string text;           // label name or file path
  Type type = Type::longInt;  // for values
  std::vector<ExprPtr> values;
  int line = 0;
};

struct IfBranch {
  ExprPtr condition;  // null for Else
  Block body;
  int line = 0;
};

struct Stmt {
  enum class Kind {
    assign,           // target = value
    call,             // value is the call
    ifChain,          // branches; endLine
    whileLoop,        // condition, body, endLine
    repeatLoop,       // body, condition (null for ForEver), endLine
    forLoop,          // target, value (from), limit, step, body, endLine
    procedureReturn,  // optional value
    declaration,      // keyword, items, defaultType
    procedure,        // procedure
    importBlock,      // text (library), cdecl, imports
    dataSection,      // data, endLine
    inlineAsm,        // text
    end,              // optional value
    breakLoop,
    continueLoop,
    read,           // target (a name), type
    restore,        // text (label)
    constantDef,    // text (name), value
    declare,        // a forward declaration: text (the procedure's name)
    declareModule,  // text (the module's name), body (its public part), endLine
    module,         // text (the module's name), body (its implementation), endLine
    useModule,      // keyword ("UseModule" or "UnuseModule"), text (the module's name)
  };
  Kind kind = Kind::call;
  int line = 0;
  int endLine = 0;
  std::string text;
  std::string keyword;
  ExprPtr target;
  ExprPtr value;
  ExprPtr limit;
  ExprPtr condition;
  std::int64_t step = 1;
  Block body;
  std::vector<IfBranch> branches;
  std::vector<DeclItem> items;
  std::optional<Type> defaultType;  // "Define.w" and friends
  std::unique_ptr<ProcedureDecl> procedure;
  bool cdecl = false;
  std::vector<ImportedFunction> imports;
  std::vector<DataItem> data;
};

struct Program {
  Block statements;
};

}  // namespace standin
