// The compile-time conditionals: the branch each compilation takes, what the listing keeps of
// the others, and the errors of the directives.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "compiler.h"

namespace standin {
namespace {

bool holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string listingOf(const std::string& source, const CompileOptions& options) {
  const CompileResult result = compileProgram(source, options);
  EXPECT_TRUE(result.ok) << "line " << result.errorLine << ": " << result.message;
  return result.listing;
}

// One Import block per processor, one entry per threading, one procedure per processor under
// the same name: only the chosen ones reach the listing, as externals, code or copied lines.
TEST(CompilerDirectives, ThreadingAndProcessorChooseTheImports) {
  const std::string source =
      "CompilerIf #PB_Compiler_Processor = #PB_Processor_x64\n"
      "  ImportC \"lib64.lib\"\n    CompilerIf #PB_Compiler_Thread\n"
      "      Variant() As \"v64_thread\"\n    CompilerElse\n      Variant() As \"v64_plain\"\n"
      "    CompilerEndIf\n  EndImport\n"
      "  Procedure Width()\n    ProcedureReturn 64\n  EndProcedure\n"
      "CompilerElse\n"
      "  Import \"lib86.lib\"\n    CompilerIf #PB_Compiler_Thread = 1\n"
      "      Variant() As \"_v86_thread@0\"\n    CompilerElse\n      Variant() As "
      "\"_v86_plain@0\"\n"
      "    CompilerEndIf\n  EndImport\n"
      "  Procedure Width()\n    ProcedureReturn 32\n  EndProcedure\n"
      "CompilerEndIf\n"
      "x = Variant() + Width()\n";
  const struct {
    bool thread;
    Target target;
    const char* library;
    const char* symbol;
    const char* extrn;
  } variants[] = {{false, Target::x86, "lib86.lib", "v86_plain", "extrn _v86_plain@0\r\n"},
                  {true, Target::x86, "lib86.lib", "v86_thread", "extrn _v86_thread@0\r\n"},
                  {false, Target::x64, "lib64.lib", "v64_plain", "'v64_plain' as ip_Variant"},
                  {true, Target::x64, "lib64.lib", "v64_thread", "'v64_thread' as ip_Variant"}};
  for (const auto& variant : variants) {
    CompileOptions options;
    options.thread = variant.thread;
    options.target = variant.target;
    const std::string listing = listingOf(source, options);
    const bool x64 = variant.target == Target::x64;
    EXPECT_TRUE(holds(listing, variant.extrn)) << listing;
    EXPECT_TRUE(holds(listing, x64 ? "  MOV rax,64\r\n" : "  MOV eax,32\r\n")) << listing;
    EXPECT_FALSE(holds(listing, x64 ? "MOV rax,32\r\n" : "MOV eax,64\r\n")) << listing;
    EXPECT_FALSE(holds(listing, x64 ? "ProcedureReturn 32" : "ProcedureReturn 64")) << listing;
    for (const auto& other : variants) {
      EXPECT_EQ(holds(listing, other.symbol), &other == &variant) << other.symbol;
      EXPECT_EQ(holds(listing, other.library), other.target == variant.target) << other.library;
    }
  }
}

// Each condition holds or not under the options given; the program's constants, built-in and
// its own (a module's ones scoped as in code), are seen.
TEST(CompilerDirectives, ConditionsAreConstantExpressions) {
  const char* const constants = "#Level = 3\nCompilerIf 0\n  #Hidden = 1\nCompilerEndIf\n";
  const char* const module =
      "#Size = 1\nDeclareModule m\n  #Size = 8\n  CompilerIf #Size <> 8\n    CompilerError \"x\"\n"
      "  CompilerEndIf\nEndDeclareModule\nModule m\nEndModule\n";
  const struct {
    const char* prelude;
    const char* condition;
    ListingLayout layout;
    bool unicode;
    bool holds;
  } cases[] = {
      {constants, "#PB_Compiler_Version = 420", ListingLayout::classic, false, true},
      {constants, "#PB_Compiler_Version = 531", ListingLayout::afterBss, false, true},
      {constants, "#PB_Compiler_Version >= 450 And #PB_Compiler_Version < 531",
       ListingLayout::macros, false, true},
      {constants, "#PB_Compiler_Version >= 450 And #PB_Compiler_Version < 531",
       ListingLayout::afterEndCode, false, false},
      {constants, "#PB_Compiler_Unicode", ListingLayout::classic, true, true},
      {constants, "#PB_Compiler_Unicode Or #PB_Compiler_Thread", ListingLayout::classic, false,
       false},
      {constants, "Not (#Level > 2 Or #level = 0)", ListingLayout::classic, false, false},
      {constants, "(#Level * 2 - 1) % 4 = 1 And Defined(Level, #PB_Constant)",
       ListingLayout::classic, false, true},
      {constants, "Defined(#Hidden, #PB_Constant)", ListingLayout::classic, false, false},
      {constants, "#PB_Compiler_OS = #PB_OS_Windows And 1 << 33 = 2", ListingLayout::classic, false,
       true},
      {module, "#Size = 1 And #m::Size = 8", ListingLayout::afterEndCode, false, true},
  };
  for (const auto& test : cases) {
    CompileOptions options;
    options.layout = test.layout;
    options.unicode = test.unicode;
    const std::string listing =
        listingOf(std::string(test.prelude) + "CompilerIf " + test.condition +
                      "\n  x = 1111\nCompilerElse\n  x = 2222\nCompilerEndIf\n",
                  options);
    EXPECT_EQ(holds(listing, "MOV eax,1111"), test.holds) << test.condition;
    EXPECT_EQ(holds(listing, "MOV eax,2222"), !test.holds) << test.condition;
  }
}

// Blocks nest; the listing copies the lines compiled and the directives around them, never a
// line of a branch not taken.
TEST(CompilerDirectives, NestedBlocksAndTheLinesTheListingCopies) {
  const std::string listing = listingOf(
      "x = 1\nCompilerIf #PB_Compiler_Thread ; no\n  CompilerIf 1\n    a = 1\n  CompilerEndIf\n"
      "CompilerElseIf 1 + 1 = 2\n  CompilerIf 0\n    b = 2\n  CompilerElse\n    c = 3\n"
      "  CompilerEndIf\nCompilerElseIf 1\n  d = 4\nCompilerElse\n  e = 5\nCompilerEndIf\n"
      "y = #PB_Compiler_Version\n",
      {});
  std::string copied;
  for (std::size_t at = listing.find("; :\r\n");
       (at = listing.find("\n; ", at)) != std::string::npos; ++at) {
    copied += listing.substr(at + 3, listing.find('\r', at) - at - 3) + "|";
  }
  EXPECT_EQ(copied,
            "x = 1|CompilerIf #PB_Compiler_Thread ; no|CompilerElseIf 1 + 1 = 2|CompilerIf 0|"
            "CompilerElse|c = 3|CompilerEndIf|CompilerElseIf 1|CompilerElse|CompilerEndIf|"
            "y = #PB_Compiler_Version|");
  EXPECT_TRUE(holds(listing, "  MOV eax,420\r\n"));  // code sees the compiler's constants
  for (const char* variable : {"v_x rd", "v_c rd", "v_y rd"}) EXPECT_TRUE(holds(listing, variable));
  for (const char* variable : {"v_a", "v_b", "v_d", "v_e"}) EXPECT_FALSE(holds(listing, variable));
}

// The errors of the directives, on the line they name, and the lines a branch not taken may hold
// without an error: text the compiler refuses, a CompilerError, an include of no file.
TEST(CompilerDirectives, ErrorsAndWhatABranchNotTakenMayHold) {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() /
      ("standin_directives_" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::create_directories(folder);
  std::ofstream(folder / "guard.pbi")
      << "; guard\nCompilerIf Not #PB_Compiler_Thread\n"
         "  CompilerError \"Compile with threads\"\nCompilerEndIf\n";
  std::ofstream(folder / "open.pbi") << "CompilerIf 1\n";
  std::ofstream(folder / "close.pbi") << "CompilerEndIf\n";
  const std::string untaken =
      "x = 1\nCompilerIf #PB_Compiler_Thread\n  CompilerError \"No threads, please\"\n"
      "  s$ = \"open\n  EndProcedure\n  IncludeFile \"nowhere.pbi\"\n  CompilerIf #Undeclared\n"
      "  CompilerEndIf\nCompilerElseIf 0\n  x = Missing(\nCompilerEndIf\n";
  const struct {
    std::string source;
    bool thread;
    int line;  // 0: compiles
    const char* message;
  } cases[] = {
      {untaken, false, 0, ""},
      {untaken, true, 3, "No threads, please"},
      {"x = 1\nXIncludeFile \"guard.pbi\"\n", false, 2, "Compile with threads (guard.pbi, line 3)"},
      {"x = 1\nXIncludeFile \"guard.pbi\"\n", true, 0, ""},
      {"XIncludeFile \"open.pbi\"\nCompilerEndIf\n", false, 1,
       "'CompilerEndIf' is missing. (open.pbi, line 1)"},
      {"CompilerIf 1\nIncludeFile \"close.pbi\"\n", false, 2,
       "'CompilerEndIf' without a matching 'CompilerIf'. (close.pbi, line 1)"},
      {"x = 1\nCompilerElse\n", false, 2, "'CompilerElse' without a matching 'CompilerIf'."},
      {"CompilerIf 1\nCompilerElse\nCompilerElseIf 1\nCompilerEndIf\n", false, 3,
       "'CompilerElseIf' is not expected after 'CompilerElse'."},
      {"x = 1\nCompilerIf 1\n  y = 2\n", false, 2, "'CompilerEndIf' is missing."},
      {"CompilerIf 0\nCompilerElseIf #Nowhere\nCompilerEndIf\n", false, 2,
       "The constant #Nowhere is not declared."},
      {"x = 2\nCompilerIf x > 1\nCompilerEndIf\n", false, 2, "constant expressions only"},
      {"CompilerIf 1\nCompilerElse 2\nCompilerEndIf\n", false, 2, "nothing may follow"},
      {"CompilerError Oops\n", false, 1, "needs a message in double quotes"},
      {"CompilerIf 1 : x = 1\nCompilerEndIf\n", false, 1, "Syntax error near ':'"},
      {"x = 1 : CompilerEndIf\n", false, 1, "'CompilerEndIf' must begin its line"},
  };
  for (const auto& test : cases) {
    CompileOptions options;
    options.sourceFolder = folder;
    options.thread = test.thread;
    const CompileResult result = compileProgram(test.source, options);
    EXPECT_EQ(result.ok, test.line == 0) << test.source << result.message;
    EXPECT_EQ(result.errorLine, test.line) << test.source;
    EXPECT_EQ(result.listing.empty(), test.line != 0);
    EXPECT_TRUE(holds(result.message, test.message)) << result.message;
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace standin
