// The configuration records that start-up fills and every later stage reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brisko::app {

// Where the PureBasic installation and its tools are; filled once at start-up.
struct ToolchainPaths {
  std::string pbFolder;      // installation folder with its trailing separator; empty if none
  std::string compilerPath;  // pbFolder + "compilers\PBcompiler.exe"
  std::string fasmPath;      // pbFolder + "compilers\fasm.exe"
  std::string polibPath;     // pbFolder + "compilers\polib.exe"
  std::string tempFolder;    // the user's temporary folder with its trailing separator
};

// Forms the three tool paths from a folder by plain concatenation (nothing is normalised, so
// an empty folder gives relative paths).
ToolchainPaths toolchainPathsFor(const std::string& pbFolder, const std::string& tempFolder);

// Option bits of one user action.
enum OptionBit : std::uint32_t {
  kCommented = 0x01,
  kInlineAsm = 0x02,
  kThreadsafe = 0x04,
  kUnicode = 0x08,
  kExportGlobals = 0x10,
  kPbWrapper = 0x20,
  kLogFile = 0x40,
  kUseExistingAsmFiles = 0x80,
  kCHeader = 0x100,   // a C header beside the output
  kVariants = 0x200,  // the output with and without the thread-safe option, in one run
};

// The processors PureBasic compiles for.
enum class Processor { x86, x64 };

enum class OutputFormat : int { objectFile = 0, staticLibrary = 1 };

struct ConversionOptions {
  std::uint32_t flags = 0;
  OutputFormat outputFormat = OutputFormat::objectFile;

  bool has(OptionBit bit) const { return (flags & bit) != 0; }
  ConversionOptions with(OptionBit bit) const {
    ConversionOptions copy = *this;
    copy.flags |= bit;
    return copy;
  }
};

enum class RequestMode { check, convert };

// What one press of a button (or one console command) hands on.
struct ConversionRequest {
  std::string sourcePath;  // trimmed of leading and trailing spaces
  std::string destinationFolder;
  ConversionOptions options;
  RequestMode mode = RequestMode::check;
  // The installation folder of the other processor's PureBasic, whose builds the conversion
  // makes too; empty for none. otherProcessor is the processor it was named for (the console's
  // --pb-folder-x64 and --pb-folder-x86); nothing means the processor the main installation
  // does not compile for (the window's field).
  std::string otherPbFolder;
  std::optional<Processor> otherProcessor;
};

}  // namespace brisko::app
