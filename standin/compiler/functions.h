// What the compiler knows about the functions a program may call besides its own procedures:
// the functions of the stand-in PureBasic libraries and the Windows functions of its
// descriptor table.
#pragma once

#include <string>
#include <vector>

#include "ast.h"

namespace standin {

// One calling form of a library function. Parameter kinds: 'n' number, 's' string,
// 'L' linked list (passed as the address of its list pointer), 'A' array (passed as the address
// of its first element).
struct LibraryForm {
  std::string symbolName;  // the name between "_PB_" and the variant suffix, e.g. "Len"
  std::string params;
};

struct LibraryFunction {
  std::string name;     // as written in a program
  std::string library;  // the PureBasic library that provides it, e.g. "String"
  Type result;
  std::vector<LibraryForm> forms;  // distinguished by their parameter count
};

// The function of that name (compared without regard to case), or null.
const LibraryFunction* findLibraryFunction(const std::string& name);

// The external symbol of a form: "_PB_" + name, then "_THREAD" and "_UNICODE" under those
// switches when the form takes or returns a string, then "@" + the parameter bytes. x64
// symbols carry no decoration: "PB_" + name + the suffixes.
std::string librarySymbol(const LibraryFunction& function, const LibraryForm& form, bool thread,
                          bool unicode, bool x64 = false);

struct WindowsFunction {
  std::string name;     // without the A/W suffix
  std::string library;  // "Kernel32" or "User32"
  int paramCount;
  bool hasStringVariants;  // exported as NameA and NameW
};

// The descriptor table entry of that name (compared without regard to case), or null.
const WindowsFunction* findWindowsFunction(const std::string& name);

// "_" + name (+ "A", or "W" under /UNICODE, for string variants) + "@" + 4 * count; on x64
// the name and its A/W suffix alone.
std::string windowsSymbol(const WindowsFunction& function, bool unicode, bool x64 = false);

}  // namespace standin
