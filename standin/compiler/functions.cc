#include "functions.h"

#include "parser.h"

namespace standin {
namespace {

// The functions of the stand-in libraries. Where a function has more than one calling form,
// the later forms carry a number after the name, as the libraries export them.
const std::vector<LibraryFunction>& libraryFunctions() {
  static const std::vector<LibraryFunction> functions = {
      {"MessageRequester",
       "Requester",
       Type::integer,
       {{"MessageRequester", "ss"}, {"MessageRequester2", "ssn"}}},
      {"Len", "String", Type::integer, {{"Len", "s"}}},
      {"PeekL", "Memory", Type::longInt, {{"PeekL", "n"}}},
      {"PokeL", "Memory", Type::integer, {{"PokeL", "nn"}}},
      {"PeekW", "Memory", Type::word, {{"PeekW", "n"}}},
      {"PokeW", "Memory", Type::integer, {{"PokeW", "nn"}}},
      {"PeekB", "Memory", Type::byte, {{"PeekB", "n"}}},
      {"PokeB", "Memory", Type::integer, {{"PokeB", "nn"}}},
      {"AddElement", "LinkedList", Type::integer, {{"AddElement", "L"}}},
      {"FirstElement", "LinkedList", Type::integer, {{"FirstElement", "L"}}},
      {"NextElement", "LinkedList", Type::integer, {{"NextElement", "L"}}},
      {"ResetList", "LinkedList", Type::integer, {{"ResetList", "L"}}},
      {"ClearList", "LinkedList", Type::integer, {{"ClearList", "L"}}},
      {"ListSize", "LinkedList", Type::integer, {{"ListSize", "L"}}},
      {"SortArray", "Sort", Type::integer, {{"SortArray", "An"}}},
      {"SortList", "Sort", Type::integer, {{"SortList", "Ln"}}},
      {"RandomizeArray", "Sort", Type::integer, {{"RandomizeArray", "A"}}},
  };
  return functions;
}

// The descriptor table of the Windows functions the compiler accepts as Name_(...).
const std::vector<WindowsFunction>& windowsFunctions() {
  static const std::vector<WindowsFunction> functions = {
      // Kernel32
      {"ExitProcess", "Kernel32", 1, false},
      {"GetCurrentProcessId", "Kernel32", 0, false},
      {"GetLastError", "Kernel32", 0, false},
      {"GetModuleHandle", "Kernel32", 1, true},
      {"GetTickCount", "Kernel32", 0, false},
      {"lstrcmp", "Kernel32", 2, true},
      {"lstrcpy", "Kernel32", 2, true},
      {"lstrlen", "Kernel32", 1, true},
      {"SetLastError", "Kernel32", 1, false},
      {"Sleep", "Kernel32", 1, false},
      // User32
      {"GetSystemMetrics", "User32", 1, false},
      {"MessageBeep", "User32", 1, false},
      {"MessageBox", "User32", 4, true},
  };
  return functions;
}

}  // namespace

const LibraryFunction* findLibraryFunction(const std::string& name) {
  const std::string key = lowerCase(name);
  for (const LibraryFunction& function : libraryFunctions()) {
    if (lowerCase(function.name) == key) return &function;
  }
  return nullptr;
}

std::string librarySymbol(const LibraryFunction& function, const LibraryForm& form, bool thread,
                          bool unicode, bool x64) {
  const bool usesStrings =
      function.result == Type::string || form.params.find('s') != std::string::npos;
  std::string symbol = (x64 ? "PB_" : "_PB_") + form.symbolName;
  if (usesStrings && thread) symbol += "_THREAD";
  if (usesStrings && unicode) symbol += "_UNICODE";
  if (x64) return symbol;
  return symbol + "@" + std::to_string(4 * form.params.size());
}

const WindowsFunction* findWindowsFunction(const std::string& name) {
  const std::string key = lowerCase(name);
  for (const WindowsFunction& function : windowsFunctions()) {
    if (lowerCase(function.name) == key) return &function;
  }
  return nullptr;
}

std::string windowsSymbol(const WindowsFunction& function, bool unicode, bool x64) {
  std::string symbol = (x64 ? "" : "_") + function.name;
  if (function.hasStringVariants) symbol += unicode ? "W" : "A";
  if (x64) return symbol;
  return symbol + "@" + std::to_string(4 * function.paramCount);
}

}  // namespace standin
