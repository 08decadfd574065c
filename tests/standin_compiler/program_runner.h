// Compiles a program with the stand-in compiler, assembles its whole listing into one object
// and runs it with a harness that calls the listing's entry point. The program's x64 listing
// is assembled too, into an MS64 COFF object, but not run.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "compiler.h"
#include "run_x86.h"

namespace standin::testing {

// A harness that runs the compiled main program; the program ends through ExitProcess, so the
// exit code 99 means it returned from its entry point, which it never should.
inline const char* const kMainHarness = R"(#include "x86_harness.h"
void pb_main(void) __asm__("main");
int harness_main(void) { pb_main(); return 99; }
)";

struct ProgramRun {
  std::string error;  // a compile, assembly or link failure
  std::string listing;
  int exitCode = -1;
  std::string output;
};

// What is wrong with the program's x64 listing: a compile or assembly error, or an object of
// another format. Empty when it is right.
inline std::string assembleX64(const std::string& source, CompileOptions options) {
  namespace ts = brisko::testsupport;
  options.target = Target::x64;
  const CompileResult compiled = compileProgram(source, options);
  if (!compiled.ok) return compiled.message;
  const std::filesystem::path folder = ts::makeTempFolder("standin_x64");
  std::ofstream(folder / "x64.asm", std::ios::binary) << compiled.listing;
  std::string log;
  if (ts::assembleFasm(folder / "x64.asm", folder / "x64.obj", &log)) {
    log = ts::runCommand("llvm-objdump -f " + ts::shellQuote((folder / "x64.obj").string())).output;
    if (log.find("file format coff-x86-64") != std::string::npos) log.clear();
  }
  std::filesystem::remove_all(folder);
  return log.empty() ? "" : log + compiled.listing;
}

// Other objects the program needs (e.g. what it imports) are linked with it.
inline ProgramRun compileAndRun(const std::string& source, CompileOptions options = {},
                                const std::string& harness = kMainHarness,
                                const std::vector<std::filesystem::path>& objects = {}) {
  namespace ts = brisko::testsupport;
  ProgramRun run;
  if (options.target == Target::x64 || options.layout == ListingLayout::classic) {
    run.error = assembleX64(source, options);
    if (!run.error.empty() || options.target == Target::x64) return run;
  }
  const CompileResult compiled = compileProgram(source, options);
  if (!compiled.ok) {
    run.error = "Line " + std::to_string(compiled.errorLine) + ": " + compiled.message;
    return run;
  }
  run.listing = compiled.listing;
  const std::filesystem::path folder = ts::makeTempFolder("standin_run");
  const std::filesystem::path asmFile = folder / "PureBasic.asm";
  {
    std::ofstream out(asmFile, std::ios::binary);
    out << compiled.listing;
  }
  std::string log;
  if (!ts::assembleFasm(asmFile, folder / "PureBasic.obj", &log)) {
    run.error = "fasm: " + log;
    return run;
  }
  std::vector<std::filesystem::path> inputs = {folder / "PureBasic.obj"};
  inputs.insert(inputs.end(), objects.begin(), objects.end());
  const ts::X86Run ran = ts::linkAndRun(inputs, harness, folder);
  if (!ran.linked) {
    run.error = ran.log;
    return run;
  }
  run.exitCode = ran.exitCode;
  run.output = ran.output;
  std::filesystem::remove_all(folder);
  return run;
}

}  // namespace standin::testing
