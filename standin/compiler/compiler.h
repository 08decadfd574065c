// The stand-in compiler as a library: source text in, FASM listing (or an error) out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace standin {

// How the listing is arranged: today's stand-in layout, or that of a generation of the real
// compiler (see LISTING.md). The code, data and bss are the same in every layout.
enum class ListingLayout : std::uint8_t {
  classic,       // procedures as macros, invoked before the end code; "; :" marks the program
  macros,        // 4.2x-4.50: procedures as macros where the source has them, invoked at the end
  afterBss,      // 5.31: procedures in a second code section after the bss
  afterEndCode,  // 5.4x-6.0x: procedures after the end code in the one code section
};

// The layout a setting names ("classic", "macros", "after-bss", "after-end-code"; blank is
// classic); nothing for an unknown name.
std::optional<ListingLayout> listingLayoutNamed(const std::string& name);

// The compiler version a layout's listing and banner name, e.g. "5.31".
std::string listingVersion(ListingLayout layout);

// The processor the listing is written for. An x64 listing always has the after-end-code
// layout, whatever the options name.
enum class Target : std::uint8_t { x86, x64 };

// The target a setting names ("x86", "x64", in any case; blank is x86); nothing for any other
// text.
std::optional<Target> targetNamed(const std::string& name);

// How the version lines name the target: "x86" or "x64".
std::string targetName(Target target);

struct CompileOptions {
  bool thread = false;   // /THREAD: thread-safe variants of the string functions
  bool unicode = false;  // /UNICODE: UTF-16 strings and the W forms of Windows functions
  bool inlineAsm = false;
  ListingLayout layout = ListingLayout::classic;
  Target target = Target::x86;
  std::filesystem::path
      sourceFolder;  // where IncludeBinary and IncludeFile look for relative paths
};

// The constants the compiler defines for every program, by their names in lower case without
// "#": #True, #False, #Null and what the compile-time conditionals ask about the compilation
// (#PB_Compiler_Thread, #PB_Compiler_Unicode, #PB_Compiler_Processor, #PB_Compiler_Version,
// #PB_Compiler_OS and the values these are compared with).
std::map<std::string, std::int64_t> builtinConstants(const CompileOptions& options);

struct CompileResult {
  bool ok = false;
  int errorLine = 0;    // 1-based, when not ok
  std::string message;  // when not ok
  std::string listing;  // when ok: the commented listing, lines ending with CR LF
};

CompileResult compileProgram(const std::string& sourceText, const CompileOptions& options);

}  // namespace standin
