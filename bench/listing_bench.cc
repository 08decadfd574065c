// Measures the listing stages (analysis with the data-sections source, then the split into one
// source per procedure) on generated x86 and x64 listings of 1,000, 10,000 and 50,000
// procedures, and sets
// each time against the I/O floor: the time the same file-system calls take to store the same
// output files with nothing computed. Prints a table and always exits with 0.
//
//   brisko_bench [--folder FOLDER]    runs the measurement in the temporary folder or FOLDER
//   brisko_bench --sample N FOLDER [--x64]
//                                     writes the listing of N procedures (x86, or x64) and the
//                                     PureBasic source it stands for (to compare with the
//                                     stand-in)
//   brisko_bench --library-build [PB_FOLDER] [--folder FOLDER]
//                                     sets the library build of generated programs of 2,000 and
//                                     20,000 procedures (x86 and x64) against the object build
//                                     of the same listing: the built brisko converts them with
//                                     the installation in PB_FOLDER (default: purebasic/ beside
//                                     the bin/ folder of this program, where the build lays out
//                                     the stand-in), in the temporary folder or FOLDER, and its
//                                     time and peak memory are measured

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/configuration.h"
#include "app/feedback.h"
#include "app/services.h"
#include "language/language_loader.h"
#include "language/language_table.h"
#include "listing_builder.h"
#include "memory_file_system.h"
#include "pipeline/conversion.h"
#include "pipeline/run_conversion.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/system_file_system.h"

extern char** environ;

namespace {

using namespace brisko;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------------------------
// The services the stages receive: the real file system, no window, no messages shown (the
// last error is kept to explain a failed run).

class SilentFeedback : public app::Feedback {
 public:
  std::string lastMessage;

 protected:
  void showStatus(std::string_view) override {}
  void showStatusDetail(std::string_view) override {}
  void showMessage(std::string_view, std::string_view message, app::MessageIcon) override {
    lastMessage = message;
  }
};

struct BenchServices {
  std::unique_ptr<platform::FileSystem> files = platform::makeSystemFileSystem();
  std::unique_ptr<platform::ProcessLauncher> processes = platform::makeProcessLauncher();
  std::unique_ptr<platform::Clock> clock = platform::makeSystemClock();
  language::LanguageTable texts;
  SilentFeedback feedback;
  app::WindowServices window;
  app::ToolchainPaths paths;
  app::Services services{*files, *processes, *clock, feedback, window, paths};

  BenchServices() {
    // The built-in English texts (an empty in-memory tree holds no language file).
    const platform::MemoryFileSystem memory;
    if (language::loadLanguageTable(memory, "/languages/", texts)) {
      feedback.attachTexts(&texts);
    }
  }
};

// ---------------------------------------------------------------------------------------------
// Measurement.

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Measurement {
  int procedures = 0;
  app::OutputFormat format = app::OutputFormat::objectFile;
  std::uint64_t listingBytes = 0;
  std::size_t files = 0;
  std::uint64_t outputBytes = 0;
  double stages = std::numeric_limits<double>::infinity();  // best of the runs, seconds
  double floor = std::numeric_limits<double>::infinity();
  std::string failure;
  bool ok() const { return failure.empty(); }
  double ratio() const { return stages / floor; }
};

constexpr int kRuns = 5;

// Measures one listing and output format. Every timed step writes into folders of its own, and
// nothing is deleted until all sizes are measured: how fast a file system creates files can
// depend on what was deleted shortly before (ext4 without a journal, for one, steps over
// every inode freed in the last minute, but not over those freed in the current second), and
// that would weigh on brisko and the floor unequally. The floor's first run follows brisko's
// first; later runs alternate which goes first.
class FormatMeasurement {
 public:
  FormatMeasurement(BenchServices& bench, const std::string& folder, const std::string& listingPath,
                    app::OutputFormat format)
      : bench_(bench),
        files_(*bench.files),
        folder_(folder),
        listingPath_(listingPath),
        format_(format) {}

  void run(Measurement& m) {
    for (int r = 0; r < kRuns && m.ok(); ++r) {
      const bool floorFirst = r % 2 == 1;
      if (floorFirst) storeOutputs(r, m);
      if (m.ok()) convert(r, m);
      if (m.ok() && r == 0) takeOutputs(m);
      if (m.ok() && !floorFirst) storeOutputs(r, m);
    }
  }

 private:
  std::string destination(const char* kind, int r) const {
    return folder_ + kind + std::to_string(r) + "/";
  }

  // A destination with its Source folder, as the driver prepares it.
  bool makeDestination(const std::string& destination, Measurement& m) {
    if (files_.makeFolder(destination) && files_.makeFolder(destination + "Source/")) return true;
    m.failure = "cannot create " + destination + "Source/";
    return false;
  }

  // The listing stages as the driver runs them.
  void convert(int r, Measurement& m) {
    const std::string destination = this->destination("brisko", r);
    if (!makeDestination(destination, m)) return;
    app::ConversionOptions options;
    options.outputFormat = format_;
    pipeline::Conversion conversion(bench_.services, {destination + "bench.pb", options},
                                    pipeline::OutputLayout(destination, "bench"));
    conversion.listingPath = listingPath_;
    const Clock::time_point start = Clock::now();
    const app::Outcome result = pipeline::convertListing(conversion);
    const double seconds = secondsSince(start);
    if (!result.succeeded()) {
      m.failure = "stages returned " + std::to_string(static_cast<int>(result.reportedText())) +
                  ": " + bench_.feedback.lastMessage;
      return;
    }
    m.stages = std::min(m.stages, seconds);
  }

  // Reads what the first conversion wrote into memory: the names and bytes the floor stores.
  void takeOutputs(Measurement& m) {
    const std::string sourceFolder = destination("brisko", 0) + "Source/";
    const auto entries = files_.listFolder(sourceFolder);
    if (!entries) {
      m.failure = "cannot list " + sourceFolder;
      return;
    }
    for (const platform::FolderEntry& entry : *entries) {
      std::optional<std::string> bytes = files_.readFile(sourceFolder + entry.name);
      if (!bytes) {
        m.failure = "cannot read back " + sourceFolder + entry.name;
        return;
      }
      m.outputBytes += bytes->size();
      outputs_.emplace_back(entry.name, std::move(*bytes));
    }
    m.files = outputs_.size();
  }

  // The floor: the same files with the same bytes, each created, written once and closed.
  void storeOutputs(int r, Measurement& m) {
    const std::string destination = this->destination("floor", r);
    if (!makeDestination(destination, m)) return;
    const std::string sourceFolder = destination + "Source/";
    const Clock::time_point start = Clock::now();
    for (const auto& [name, bytes] : outputs_) {
      std::unique_ptr<platform::OutputFile> file = files_.createFile(sourceFolder + name);
      if (!file || !file->write(bytes) || !file->close()) {
        m.failure = "cannot store " + sourceFolder + name;
        return;
      }
    }
    m.floor = std::min(m.floor, secondsSince(start));
  }

  BenchServices& bench_;
  platform::FileSystem& files_;
  std::string folder_;
  std::string listingPath_;
  app::OutputFormat format_;
  std::vector<std::pair<std::string, std::string>> outputs_;  // file name, bytes
};

std::string measurementFolderOf(const std::string& folder, int procedures,
                                app::OutputFormat format) {
  return folder + std::to_string(procedures) +
         (format == app::OutputFormat::objectFile ? "-object/" : "-library/");
}

std::string listingPathOf(const std::string& folder, int procedures) {
  return folder + "listing-" + std::to_string(procedures) + ".asm";
}

Measurement measure(BenchServices& bench, const std::string& folder, int procedures,
                    const std::string& listingPath, std::uint64_t listingBytes,
                    app::OutputFormat format) {
  Measurement m;
  m.procedures = procedures;
  m.format = format;
  m.listingBytes = listingBytes;
  const std::string measurementFolder = measurementFolderOf(folder, procedures, format);
  if (!bench.files->makeFolder(measurementFolder)) {
    m.failure = "cannot create " + measurementFolder;
    return m;
  }
  FormatMeasurement(bench, measurementFolder, listingPath, format).run(m);
  return m;
}

std::string withThousands(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return digits;
}

double megabytes(std::uint64_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

const Measurement* find(const std::vector<Measurement>& all, int procedures,
                        app::OutputFormat format) {
  for (const Measurement& m : all) {
    if (m.procedures == procedures && m.format == format && m.ok()) return &m;
  }
  return nullptr;
}

int writeSample(int procedures, const std::string& folder, bool x64) {
  const testing::GeneratedProgram program = testing::generateProgram(procedures, x64);
  auto files = platform::makeSystemFileSystem();
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  if (!files->writeFile(base + "PureBasic.asm", program.listing) ||
      !files->writeFile(base + "bench.pb", program.source)) {
    std::fprintf(stderr, "cannot write into %s\n", base.c_str());
    return 1;
  }
  return 0;
}

// The table and the aims of one target's listings.
void benchTarget(BenchServices& bench, const std::string& folder, bool x64) {
  const int sizes[] = {1000, 10000, 50000};
  std::vector<Measurement> all;
  std::printf("%s listings (%s):\n\n", x64 ? "x64" : "x86",
              x64 ? "5.4x and later, procedures after the end code" : "procedures as macros");
  std::printf("%11s  %-7s  %10s  %7s  %10s  %10s  %10s  %6s\n", "procedures", "output",
              "listing MB", "files", "output MB", "brisko ms", "floor ms", "ratio");
  for (int procedures : sizes) {
    const testing::GeneratedProgram program = testing::generateProgram(procedures, x64);
    const std::string listingPath = listingPathOf(folder, procedures);
    if (!bench.files->writeFile(listingPath, program.listing)) {
      std::fprintf(stderr, "cannot write %s\n", listingPath.c_str());
      return;
    }
    for (app::OutputFormat format :
         {app::OutputFormat::objectFile, app::OutputFormat::staticLibrary}) {
      const Measurement m =
          measure(bench, folder, procedures, listingPath, program.listing.size(), format);
      const char* formatName = format == app::OutputFormat::objectFile ? "object" : "library";
      if (!m.ok()) {
        std::printf("%11s  %-7s  failed: %s\n", withThousands(procedures).c_str(), formatName,
                    m.failure.c_str());
      } else {
        std::printf("%11s  %-7s  %10.1f  %7s  %10.1f  %10.1f  %10.1f  %6.2f\n",
                    withThousands(procedures).c_str(), formatName, megabytes(m.listingBytes),
                    withThousands(m.files).c_str(), megabytes(m.outputBytes), m.stages * 1000,
                    m.floor * 1000, m.ratio());
      }
      std::fflush(stdout);
      all.push_back(m);
    }
  }

  // Nothing is deleted while measuring (see FormatMeasurement).
  for (int procedures : sizes) {
    std::error_code ignored;
    std::filesystem::remove(listingPathOf(folder, procedures), ignored);
    for (app::OutputFormat format :
         {app::OutputFormat::objectFile, app::OutputFormat::staticLibrary}) {
      std::filesystem::remove_all(measurementFolderOf(folder, procedures, format), ignored);
    }
  }

  std::printf(
      "\nTargets: at most 2x the floor at every size; 10x the input in at most 11x the "
      "time.\n");
  for (app::OutputFormat format :
       {app::OutputFormat::objectFile, app::OutputFormat::staticLibrary}) {
    const char* formatName = format == app::OutputFormat::objectFile ? "object" : "library";
    const Measurement* small = find(all, 1000, format);
    const Measurement* medium = find(all, 10000, format);
    const Measurement* large = find(all, 50000, format);
    if (!small || !medium || !large) {
      std::printf("%-8s incomplete\n", formatName);
      continue;
    }
    const double worst = std::max({small->ratio(), medium->ratio(), large->ratio()});
    // Growth allowed: 1.1 times the growth of the input.
    const double tenfold = medium->stages / small->stages;
    const double fivefold = large->stages / medium->stages;
    std::printf(
        "%-8s worst ratio %.2f (%s); 10x input: %.1fx time (%s); 5x input (10,000 to "
        "50,000): %.1fx time (%s)\n",
        formatName, worst, worst <= 2.0 ? "met" : "MISSED", tenfold,
        tenfold <= 11.0 ? "met" : "MISSED", fivefold, fivefold <= 5.5 ? "met" : "MISSED");
  }
  std::printf("\n");
}

// Runs in the private temporary folder, or in the given existing folder.
int runBenchmark(std::string folder) {
  BenchServices bench;
  std::unique_ptr<platform::TempFolder> temp = platform::makeSystemTempFolder();
  if (folder.empty()) folder = temp->path();
  if (folder.empty()) {
    std::fprintf(stderr, "no temporary folder\n");
    return 0;
  }
  if (folder.back() != '/') folder += '/';
  std::printf("Listing stages (analysis, data sections, split) against the I/O floor,\n");
  std::printf("best of %d runs each; times in milliseconds.\n\n", kRuns);
  benchTarget(bench, folder, false);
  benchTarget(bench, folder, true);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// The library build with the installation's FASM and polib: the same sources assembled with one
// FASM run at a time and with one per processor.

// The library build set against the object build of the same listing: the built brisko is run
// on a copy of the installation whose compiler leaves a generated listing, in the object format
// and in the library format, and the time each takes and brisko's own peak memory (its
// high-water mark, sampled every 5 ms; FASM and polib are other processes) are measured.
struct BuildRun {
  double seconds = std::numeric_limits<double>::infinity();
  long peakKilobytes = 0;
  std::string failure;
};

// Runs brisko to its end; the time it took and its peak memory.
BuildRun runBrisko(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::vector<std::string> owned = arguments;
  for (std::string& argument : owned) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  BuildRun run;
  const Clock::time_point start = Clock::now();
  pid_t child = -1;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    run.failure = "brisko did not start";
  } else {
    // brisko's own peak, not that of the FASM it starts (which rusage would report when larger):
    // its high-water mark, read while it runs.
    int status = 0;
    const std::string statusFile = "/proc/" + std::to_string(child) + "/status";
    while (waitpid(child, &status, WNOHANG) == 0) {
      std::ifstream in(statusFile);
      std::string line;
      while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
          run.peakKilobytes = std::max(run.peakKilobytes, std::atol(line.c_str() + 6));
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.seconds = secondsSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) run.failure = "brisko failed";
  }
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

struct LibraryAgainstObject {
  int procedures = 0;
  bool x64 = false;
  BuildRun object;
  BuildRun library;     // packed by the installation's polib
  BuildRun ownLibrary;  // an installation without polib: packed by brisko
};

LibraryAgainstObject measureBuilds(const std::string& brisko, const std::string& pbFolder,
                                   const std::string& folder, int procedures, bool x64) {
  namespace fs = std::filesystem;
  LibraryAgainstObject m;
  m.procedures = procedures;
  m.x64 = x64;
  const fs::path work =
      fs::path(folder) / ("build-" + std::to_string(procedures) + (x64 ? "-x64" : "-x86"));
  std::error_code ignored;
  fs::remove_all(work, ignored);
  // Two copies of the installation: one with polib, one without.
  const fs::path installation = work / "installation";
  const fs::path withoutPolib = work / "installation-without-polib";
  for (const fs::path& copy : {installation, withoutPolib}) {
    fs::create_directories(copy / "compilers");
    for (const fs::directory_entry& entry : fs::directory_iterator(pbFolder)) {
      if (entry.path().filename() != "compilers") {
        fs::create_directory_symlink(entry.path(), copy / entry.path().filename());
      }
    }
    fs::create_symlink(fs::path(pbFolder) / "compilers" / "fasm.exe", copy / "compilers/fasm.exe");
  }
  fs::create_symlink(fs::path(pbFolder) / "compilers" / "polib.exe",
                     installation / "compilers/polib.exe");
  const fs::path listing = work / "listing.asm";
  std::FILE* out = std::fopen(listing.c_str(), "wb");
  const std::string text = testing::generateProgram(procedures, x64).listing;
  if (out != nullptr) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
  }
  const fs::path compiler = installation / "compilers" / "PBcompiler.exe";
  if ((out = std::fopen(compiler.c_str(), "wb")) != nullptr) {
    const std::string script = "#!/bin/sh\ncp '" + listing.string() + "' PureBasic.asm\n";
    std::fwrite(script.data(), 1, script.size(), out);
    std::fclose(out);
  }
  fs::permissions(compiler, fs::perms::owner_all, fs::perm_options::add);
  fs::create_symlink(compiler, withoutPolib / "compilers" / "PBcompiler.exe");
  if ((out = std::fopen((work / "bench.pb").c_str(), "wb")) != nullptr) std::fclose(out);
  for (int r = 0; r < kRuns; ++r) {
    for (BuildRun* best : {&m.object, &m.library, &m.ownLibrary}) {
      std::vector<std::string> arguments = {
          brisko,
          "--pb-folder",
          (best == &m.ownLibrary ? withoutPolib : installation).string(),
          "convert",
          (work / "bench.pb").string(),
          "--jobs",
          std::to_string(platform::processorCount())};
      if (best != &m.object) arguments.push_back("--lib");
      const BuildRun run = runBrisko(arguments);
      if (!run.failure.empty()) best->failure = run.failure;
      best->seconds = std::min(best->seconds, run.seconds);
      best->peakKilobytes = std::max(best->peakKilobytes, run.peakKilobytes);
    }
  }
  fs::remove_all(work, ignored);
  return m;
}

int runLibraryAgainstObject(std::string pbFolder, std::string folder) {
  const std::string bin = platform::folderPart(platform::makeSystemEnvironment()->executablePath());
  if (pbFolder.empty()) pbFolder = bin + "../purebasic/";
  pbFolder = platform::withTrailingSeparator(pbFolder);
  const std::string brisko = bin + "brisko";
  std::unique_ptr<platform::TempFolder> temp = platform::makeSystemTempFolder();
  if (folder.empty()) folder = temp->path();
  if (folder.empty() || !std::filesystem::exists(pbFolder + "compilers/fasm.exe") ||
      !std::filesystem::exists(brisko)) {
    std::fprintf(stderr, "no temporary folder, no %scompilers/fasm.exe or no %s\n",
                 pbFolder.c_str(), brisko.c_str());
    return 0;
  }
  std::vector<LibraryAgainstObject> measured;
  for (int procedures : {2000, 20000}) {
    for (const bool x64 : {false, true}) {
      measured.push_back(measureBuilds(brisko, pbFolder, folder, procedures, x64));
    }
  }
  std::printf(
      "Library build against object build of the same listing (the whole conversion by\n"
      "%s with the installation in %s;\nbest of %d runs, --jobs %d; peak memory of brisko"
      " itself):\n\n",
      brisko.c_str(), pbFolder.c_str(), kRuns, platform::processorCount());
  std::printf("%11s  %6s  %8s  %19s  %19s  %21s\n", "procedures", "target", "object",
              "library (polib)", "library (brisko)", "peak MB obj/lib/lib");
  for (const LibraryAgainstObject& m : measured) {
    std::string failure = m.object.failure;
    for (const BuildRun* run : {&m.library, &m.ownLibrary}) {
      if (failure.empty()) failure = run->failure;
    }
    if (!failure.empty()) {
      std::printf("%11s  %6s  failed: %s\n", withThousands(m.procedures).c_str(),
                  m.x64 ? "x64" : "x86", failure.c_str());
      continue;
    }
    const auto megabytes = [](const BuildRun& run) {
      return static_cast<double>(run.peakKilobytes) / 1024.0;
    };
    std::printf("%11s  %6s  %7.2fs  %7.2fs (x %5.2f)  %7.2fs (x %5.2f)  %6.1f/%6.1f/%6.1f\n",
                withThousands(m.procedures).c_str(), m.x64 ? "x64" : "x86", m.object.seconds,
                m.library.seconds, m.library.seconds / m.object.seconds, m.ownLibrary.seconds,
                m.ownLibrary.seconds / m.object.seconds, megabytes(m.object), megabytes(m.library),
                megabytes(m.ownLibrary));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = platform::programArguments(argc, argv);
  if ((args.size() == 3 || (args.size() == 4 && args[3] == "--x64")) && args[0] == "--sample" &&
      std::atoi(args[1].c_str()) > 0) {
    return writeSample(std::atoi(args[1].c_str()), args[2], args.size() == 4);
  }
  if (args.size() == 2 && args[0] == "--folder") return runBenchmark(args[1]);
  if (!args.empty() && args[0] == "--library-build") {
    std::string pbFolder;
    std::string folder;
    bool valid = true;
    for (std::size_t i = 1; i < args.size() && valid; ++i) {
      if (args[i] == "--folder" && i + 1 < args.size()) {
        folder = args[++i];
      } else if (pbFolder.empty() && args[i] != "--folder") {
        pbFolder = args[i];
      } else {
        valid = false;
      }
    }
    if (valid) return runLibraryAgainstObject(pbFolder, folder);
  }
  if (!args.empty()) {
    std::fprintf(stderr,
                 "usage: brisko_bench [--folder FOLDER]\n"
                 "       brisko_bench --sample PROCEDURES FOLDER [--x64]\n"
                 "       brisko_bench --library-build [PB_FOLDER] [--folder FOLDER]\n");
    return 2;
  }
  return runBenchmark({});
}
