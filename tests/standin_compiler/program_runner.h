// Compiles a program with the stand-in compiler, assembles its whole listing into one object
// and runs it with a harness that calls the listing's entry point. The program's x64 listing is
// assembled too, into an MS64 COFF object, and run natively, and must give the same results.
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

// The same for x64 listings, which start at PureBasicStart.
inline const char* const kMainHarness64 = R"(#include "x64_harness.h"
HARNESS_MSABI void pb_main(void) __asm__("PureBasicStart");
int harness_main(void) { pb_main(); return 99; }
)";

struct ProgramRun {
  std::string error;  // a compile, assembly or link failure
  std::string listing;
  int exitCode = -1;
  std::string output;
};

// Compiles the program for its target and assembles it (an x64 listing into an MS64 COFF
// object); unless the harness is empty, links it with the harness and the objects and runs it.
inline ProgramRun runTarget(const std::string& source, const CompileOptions& options,
                            const std::string& harness,
                            const std::vector<std::filesystem::path>& objects) {
  namespace ts = brisko::testsupport;
  ProgramRun run;
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
  const bool x64 = options.target == Target::x64;
  if (x64)
    log = ts::runCommand("llvm-objdump -f " + ts::shellQuote(folder.string()) + "/PureBasic.obj")
              .output;
  if (x64 && log.find("file format coff-x86-64") == std::string::npos) {
    run.error = "not an x64 object: " + log;
    return run;
  }
  if (harness.empty()) return run;
  std::vector<std::filesystem::path> inputs = {folder / "PureBasic.obj"};
  inputs.insert(inputs.end(), objects.begin(), objects.end());
  const ts::X86Run ran =
      ts::linkAndRun(inputs, harness, folder, x64 ? ts::Target::x64 : ts::Target::x86);
  if (!ran.linked) {
    run.error = ran.log;
    return run;
  }
  run.exitCode = ran.exitCode;
  run.output = ran.output;
  std::filesystem::remove_all(folder);
  return run;
}

// Other objects the program needs (e.g. what it imports) are linked with it. An x86 program in
// the classic layout runs as x64 code too, and must give the same exit code and output; with
// another harness or other objects, whose x64 forms are not known here, it is only assembled.
inline ProgramRun compileAndRun(const std::string& source, CompileOptions options = {},
                                const std::string& harness = kMainHarness,
                                const std::vector<std::filesystem::path>& objects = {}) {
  ProgramRun run = runTarget(source, options, harness, objects);
  if (options.target == Target::x64 || options.layout != ListingLayout::classic) return run;
  const bool compared = harness == kMainHarness && objects.empty();
  options.target = Target::x64;
  const ProgramRun x64 = runTarget(source, options, compared ? kMainHarness64 : "", {});
  if (!x64.error.empty() || (compared && run.error.empty() &&
                             (x64.exitCode != run.exitCode || x64.output != run.output))) {
    run.error = "x64: " + x64.error + " exit code " + std::to_string(x64.exitCode) +
                ", output: " + x64.output;
    run.listing = x64.listing;
  }
  return run;
}

}  // namespace standin::testing
