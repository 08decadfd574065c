// Programs that several end-to-end tests convert: the same source in every listing layout.
#pragma once

#include <string>
#include <vector>

namespace brisko::e2e {

// Procedures of every kind calling each other, recursion, exported and internal globals, an
// array, string constants (one holding ", ", which must survive the splitting of code lines at
// commas), data read through label addresses, library and Windows functions, and a procedure
// named like an x86 instruction.
inline const char* const kMathsSource =
    R"(; Exports, internal procedures, globals, arrays, strings and data
Public counter.l
Global hidden.l
Public Dim table.l(9)

DataSection
  primes:
  Data.l 2, 3, 5, 7, ?words
  words:
  Data.s "one, two"
EndDataSection

Procedure.l Factorial(n.l)
  If n < 2 : ProcedureReturn 1 : EndIf
  ProcedureReturn n * Factorial(n - 1)
EndProcedure

Procedure Square(x)
  ProcedureReturn x * x
EndProcedure

ProcedureDLL.l Compute(a.l, b.l)
  counter = counter + 1
  hidden = hidden + a
  ProcedureReturn Factorial(a) + Square(b)
EndProcedure

ProcedureCDLL.l Subtract(a, b, c)
  ProcedureReturn a - b - c
EndProcedure

ProcedureDLL Add(a, b)
  ProcedureReturn a + b
EndProcedure

ProcedureDLL Hidden()
  ProcedureReturn hidden
EndProcedure

ProcedureDLL FillTable(stride)
  For i = 0 To 9 : table(i) = i * stride : Next
EndProcedure

ProcedureDLL.s Separator()
  ProcedureReturn ", "
EndProcedure

ProcedureDLL Show(text$)
  ProcedureReturn MessageRequester("Shown", text$) + Len(text$)
EndProcedure

ProcedureDLL Ticks()
  ProcedureReturn GetTickCount_() + GetCurrentProcessId_() + MessageBox_(0, "body", "caption", 0)
EndProcedure

ProcedureDLL SumPrimes()
  Protected p = ?primes
  ProcedureReturn PeekL(p) + PeekL(p + 4) + PeekL(p + 8) + PeekL(p + 12)
EndProcedure

ProcedureDLL Words()
  ProcedureReturn PeekL(?primes + 16)
EndProcedure

counter = Compute(1, 1)
)";

inline const std::vector<std::string> kMathsExports = {"Compute",   "Subtract",  "Add",  "Hidden",
                                                       "FillTable", "Separator", "Show", "Ticks",
                                                       "SumPrimes", "Words"};
inline const std::vector<std::string> kMathsInternals = {"Factorial", "Square"};

// Calls every export by its undecorated name, as a C program would through a header.
inline const char* const kMathsHarness = R"(#include "x86_harness.h"
extern int counter __asm__("counter");
extern int table[10] __asm__("table");
int HARNESS_STDCALL Compute(int a, int b) __asm__("Compute");
int HARNESS_CDECL Subtract(int a, int b, int c) __asm__("Subtract");
int HARNESS_STDCALL Add(int a, int b) __asm__("Add");
int HARNESS_STDCALL Hidden(void) __asm__("Hidden");
void HARNESS_STDCALL FillTable(int stride) __asm__("FillTable");
const char* HARNESS_STDCALL Separator(void) __asm__("Separator");
int HARNESS_STDCALL Show(const char* text) __asm__("Show");
int HARNESS_STDCALL Ticks(void) __asm__("Ticks");
int HARNESS_STDCALL SumPrimes(void) __asm__("SumPrimes");
const char* HARNESS_STDCALL Words(void) __asm__("Words");

static void show(const char* name, int value) {
  harness_print(name);
  harness_print(" ");
  harness_print_int(value);
  harness_print("\n");
}

int harness_main(void) {
  int i, difference = 0;
  counter = 40;
  show("compute", Compute(5, 3));
  show("compute", Compute(3, 4));
  show("counter", counter);
  show("hidden", Hidden());
  for (i = 0; i < 100; i++) difference += Subtract(50, 8, i % 2);
  show("subtract", difference);
  show("add", Add(20, 22));
  FillTable(3);
  show("table", table[9] + table[1]);
  harness_print(Words());
  harness_print(Separator());
  harness_print("three\n");
  show("show", Show("hello"));
  show("ticks", Ticks());
  show("primes", SumPrimes());
  return 0;
}
)";

inline const char* const kMathsOutput =
    "compute 129\n"    // 5! + 3 * 3
    "compute 22\n"     // 3! + 4 * 4
    "counter 42\n"     // set by the harness, counted up by Compute
    "hidden 8\n"       // the internal global, 5 + 3
    "subtract 4150\n"  // 50 * 42 + 50 * 41: cdecl, the stack stays balanced
    "add 42\n"
    "table 30\n"  // 9 * 3 + 1 * 3
    "one, two, three\n"
    "Shown: hello\n"
    "show 6\n"  // the requester's 1 + Len("hello")
    "MessageBox caption: body\n"
    "ticks 123499\n"  // 123456 + 42 + 1 from the stubs
    "primes 17\n";

// Exports of every kind the wrapper declares, and calls of library and Windows functions that
// the wrapper's dummy calls must name.
inline const char* const kShapesSource =
    R"(; Shapes: a small library for the wrapper test
Public calls.l
Public Dim sides.l(3)
Global secret

ProcedureDLL.l Area(w.l, h.l)
  calls = calls + 1
  ProcedureReturn w * h
EndProcedure

ProcedureCDLL.l Perimeter(a, b, c)
  calls = calls + 1
  ProcedureReturn a + b + c
EndProcedure

ProcedureDLL FillSides(n)
  For i = 0 To 3 : sides(i) = n + i : Next
EndProcedure

ProcedureDLL NameLength(name$)
  ProcedureReturn Len(name$)
EndProcedure

ProcedureDLL Noise()
  ProcedureReturn GetTickCount_() + MessageBox_(0, "body", "caption", 0) + PeekL(?table)
EndProcedure

DataSection
  table:
  Data.l 5
EndDataSection
)";

// Uses the exports through the wrapper; the exit code adds up what they computed.
inline const char* const kClientSource =
    R"(XIncludeFile "out/Bin/shapes.pbi"

a = Area(3, 4)
p = Perimeter(5, 6, 7)
FillSides(10)
n = NameLength("four")
End a + p + n + calls * 100 + PeekL(@sides_arrayPTR + 8)
)";
inline constexpr int kClientExit = 12 + 18 + 4 + 2 * 100 + 12;  // below 256: exit codes are 8 bits

// A harness of x86 code made for x64 code: its header, and one calling convention for all.
inline std::string forX64(std::string harness) {
  const auto replace = [&harness](const std::string& from, const std::string& to) {
    for (std::size_t at = harness.find(from); at != std::string::npos;
         at = harness.find(from, at + to.size())) {
      harness.replace(at, from.size(), to);
    }
  };
  replace("x86_harness.h", "x64_harness.h");
  replace("HARNESS_STDCALL", "HARNESS_MSABI");
  replace("HARNESS_CDECL", "HARNESS_MSABI");
  return harness;
}

}  // namespace brisko::e2e
