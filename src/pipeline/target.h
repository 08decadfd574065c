// The processor the converted code is for, taken once from the listing's format line (or, for
// reused sources, from the data-sections source's) and handed to every stage that writes or
// packs code: what differs between 32-bit and 64-bit Windows code lives here alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brisko::pipeline {

class Target {
 public:
  // 32-bit Windows code unless told otherwise.
  constexpr Target() = default;
  static constexpr Target x86() { return Target(false); }
  static constexpr Target x64() { return Target(true); }
  // The target a "format ..." line names: "format MS64 COFF" is x64, anything else x86.
  static Target fromFormatLine(std::string_view line);

  // "x86" or "x64", as messages and the log name it.
  std::string_view name() const { return x64_ ? "x64" : "x86"; }
  // The format line of every generated source.
  std::string_view formatLine() const { return x64_ ? "format MS64 COFF" : "format MS COFF"; }
  // Cells are 4 bytes on x86 and 8 on x64: data items are aligned to that.
  std::string_view alignLine() const { return x64_ ? "align 8" : "align 4"; }
  // A section line of the data-sections source: x64 sections are aligned for the 8-byte cells'
  // "align 8" lines when the listing's line says nothing of alignment.
  std::string sectionLine(std::string_view line) const;
  // What polib's command line names in front of the objects: no machine on x86 (the
  // librarian's own default), /MACHINE:X64 for 64-bit objects.
  std::string_view librarianMachineOption() const { return x64_ ? "/MACHINE:X64 " : ""; }
  // The machine field of the target's COFF objects.
  std::uint16_t coffMachine() const { return x64_ ? 0x8664 : 0x014C; }
  // The suffix of PureBasic's default type, which untyped items of the wrapper get: the
  // integer, as wide as an address (".i" on x64; ".l", of the same size, on x86).
  std::string_view integerTypeSuffix() const { return x64_ ? ".i" : ".l"; }

  // ExitProcess as the target's code names it when the listing names it nowhere.
  std::string_view exitProcessName() const { return x64_ ? "ExitProcess" : "_ExitProcess@4"; }
  // The code of the end routine that "End" in a procedure jumps to: noValue and withValue are
  // the routine's two entry labels (without and with the exit code pushed), exitCodeCell the
  // cell the listing keeps the code in (empty when it keeps none) and exitProcess the name of
  // ExitProcess. On x64 the code goes to ExitProcess in rcx with the stack aligned for the call.
  std::vector<std::string> endRoutine(std::string_view noValue, std::string_view withValue,
                                      std::string_view exitCodeCell,
                                      std::string_view exitProcess) const;

  friend constexpr bool operator==(const Target&, const Target&) = default;

 private:
  constexpr explicit Target(bool x64) : x64_(x64) {}
  bool x64_ = false;
};

}  // namespace brisko::pipeline
