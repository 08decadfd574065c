#include "cli/command_line.h"

#include <charconv>
#include <initializer_list>
#include <map>
#include <string_view>

#include "platform/installation_command.h"
#include "platform/paths.h"

namespace brisko::cli {
namespace {

struct Flag {
  app::OptionBit bit;
  bool checkToo;  // also allowed with "check"
};

const std::map<std::string, Flag>& optionFlags() {
  static const std::map<std::string, Flag> flags = {
      {"--threadsafe", {app::kThreadsafe, true}},
      {"--unicode", {app::kUnicode, true}},
      {"--inline-asm", {app::kInlineAsm, true}},
      {"--export-globals", {app::kExportGlobals, false}},
      {"--log", {app::kLogFile, false}},
      {"--wrapper", {app::kPbWrapper, false}},
      {"--c-header", {app::kCHeader, false}},
      {"--use-existing-asm", {app::kUseExistingAsmFiles, false}},
      {"--variants", {app::kVariants, false}},
  };
  return flags;
}

// More FASM runs at once than this would only exhaust the process table and the open files.
constexpr int kMaxJobs = 256;

// Reads the value of --jobs, a whole number from 1 to kMaxJobs in decimal digits only, into
// jobs; returns the usage error when it is not one.
std::string readJobCount(const std::string& text, std::optional<int>& jobs) {
  const bool digitsOnly =
      !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  if (!digitsOnly || text.find_first_not_of('0') == std::string::npos) {
    return "option --jobs needs a whole number of at least 1";
  }
  int count = 0;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || count > kMaxJobs) {
    return "option --jobs takes at most " + std::to_string(kMaxJobs);
  }
  jobs = count;
  return {};
}

bool takesValue(std::string_view option) {
  return option == "--pb-folder" || option == "--tools-file" || option == "--dest" ||
         option == "--jobs" || option == "--pb-folder-x64" || option == "--pb-folder-x86";
}

std::optional<Command> commandNamed(std::string_view word) {
  if (word == "check") return Command::check;
  if (word == "convert") return Command::convert;
  if (word == "register-ide") return Command::registerIde;
  return std::nullopt;
}

// The command whose help is asked for: the first argument that names a command and is no
// option's value; none for the general help.
Command helpTopic(const std::vector<std::string>& arguments) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (takesValue(arguments[i])) {
      ++i;
    } else if (const auto command = commandNamed(arguments[i])) {
      return *command;
    }
  }
  return Command::none;
}

}  // namespace

ParseResult parseCommandLine(const std::vector<std::string>& arguments) {
  ParseResult result;
  CommandLine& line = result.commandLine;
  std::vector<std::string> positional;
  std::vector<std::string> convertOnly;
  std::vector<std::string> actionOptions;
  bool lib = false;

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    // "--option=VALUE" gives an option its value in the same argument as "--option VALUE"
    // does in two.
    std::string arg = arguments[i];
    std::optional<std::string> attached;
    if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      attached = arg.substr(equals + 1);
      arg.resize(equals);
      if (!takesValue(arg)) {
        result.error = (arg == "--help" || arg == "--version" || arg == "--lib" ||
                        optionFlags().count(arg) != 0)
                           ? "option " + arg + " takes no value"
                           : "unknown option " + arguments[i];
        return result;
      }
    }
    auto value = [&](const char* name) -> std::optional<std::string> {
      if (attached) return attached;
      if (i + 1 >= arguments.size()) {
        result.error = std::string("option ") + name + " needs a value";
        return std::nullopt;
      }
      return arguments[++i];
    };
    if (arg == "--help" || arg == "-h") {
      line.command = Command::help;
      line.helpTopic = helpTopic(arguments);
      return result;
    }
    if (arg == "--version") {
      line.command = Command::version;
      return result;
    }
    if (arg == "--pb-folder") {
      line.pbFolder = value("--pb-folder");
    } else if (arg == "--tools-file") {
      line.toolsFile = value("--tools-file");
    } else if (arg == "--dest") {
      actionOptions.push_back(arg);
      line.destination = value("--dest");
      convertOnly.push_back(arg);
    } else if (arg == "--jobs") {
      actionOptions.push_back(arg);
      convertOnly.push_back(arg);
      if (const auto text = value("--jobs")) result.error = readJobCount(*text, line.jobs);
    } else if (arg == "--pb-folder-x64" || arg == "--pb-folder-x86") {
      actionOptions.push_back(arg);
      convertOnly.push_back(arg);
      if (line.otherPbFolder) {
        result.error = "give one of --pb-folder-x64 and --pb-folder-x86";
      } else {
        line.otherPbFolder = value(arg.c_str());
        line.otherProcessor = arg == "--pb-folder-x64" ? app::Processor::x64 : app::Processor::x86;
      }
    } else if (arg == "--lib") {
      actionOptions.push_back(arg);
      lib = true;
      convertOnly.push_back(arg);
    } else if (auto flag = optionFlags().find(arg); flag != optionFlags().end()) {
      line.options.flags |= flag->second.bit;
      actionOptions.push_back(arg);
      if (!flag->second.checkToo) convertOnly.push_back(arg);
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      result.error = "unknown option " + arg;
    } else {
      positional.push_back(arg);
    }
    if (!result.error.empty()) return result;
  }

  if (positional.empty()) {
    result.error = "no command given";
    return result;
  }
  const std::string name = positional[0];
  std::size_t commandWords = 1;
  if (const auto command = commandNamed(name)) {
    line.command = *command;
  } else if (positional.size() == 1) {
    // The IDE starts a registered tool with the source path as its only argument: that
    // converts the source as "convert" would.
    line.command = Command::convert;
    commandWords = 0;
  } else {
    result.error = "unknown command " + name;
    return result;
  }

  const std::size_t sources = positional.size() - commandWords;
  if (line.command == Command::registerIde) {
    if (sources != 0) result.error = "register-ide takes no source file";
  } else if (sources != 1) {
    result.error = name + " takes exactly one source file";
  } else {
    line.source = positional[commandWords];
  }
  if (result.error.empty() && line.command == Command::registerIde && !actionOptions.empty()) {
    result.error = "register-ide takes no option " + actionOptions.front();
  } else if (result.error.empty() && line.command == Command::check && !convertOnly.empty()) {
    result.error = "option " + convertOnly.front() + " belongs to convert";
  }
  if (result.error.empty() && line.options.has(app::kUseExistingAsmFiles)) {
    // Reused sources are those of one build, in Source/.
    for (const std::string& option : actionOptions) {
      if (option == "--variants" || option.starts_with("--pb-folder-x")) {
        result.error = "option " + option + " does not go with --use-existing-asm";
        break;
      }
    }
  }
  if (lib) line.options.outputFormat = app::OutputFormat::staticLibrary;
  return result;
}

namespace {

// The console's own texts: the synopsis, and the help that says what each option does. They
// are English and not in the language file, which holds what both front ends show.
constexpr std::string_view kCheckUsage =
    "brisko [GLOBAL] check SOURCE [--threadsafe] [--unicode] [--inline-asm]\n";
constexpr std::string_view kConvertUsage =
    "brisko [GLOBAL] convert SOURCE [--dest DIR] [--lib] [--wrapper] [--c-header]\n"
    "              [--export-globals] [--log] [--use-existing-asm] [--jobs N] [--threadsafe]\n"
    "              [--unicode] [--inline-asm] [--variants] [--pb-folder-x64 DIR]\n"
    "              [--pb-folder-x86 DIR]\n";
constexpr std::string_view kSourceAloneUsage =
    "brisko [GLOBAL] SOURCE [convert options]   (as convert)\n";
constexpr std::string_view kRegisterUsage = "brisko [GLOBAL] register-ide\n";
constexpr std::string_view kGlobalUsage =
    "GLOBAL: [--pb-folder DIR] [--tools-file FILE] [--help] [--version]\n";

constexpr std::string_view kCommands =
    "Commands:\n"
    "  check SOURCE        run the PureBasic compiler on SOURCE and show its verdict\n"
    "  convert SOURCE      turn SOURCE's procedures, data and exported variables into an\n"
    "                      MS-COFF object or static library\n"
    "  register-ide        add brisko to the PureBasic IDE's tools menu\n"
    "  SOURCE              convert SOURCE with the default options (how the IDE starts brisko)\n"
    "Options may stand before or after SOURCE; a value may follow its option after \"=\"\n"
    "(--jobs=2). \"brisko COMMAND --help\" shows the help of one command.\n";
constexpr std::string_view kCheckDescription =
    "check runs the PureBasic compiler on SOURCE with the compiler options below and shows\n"
    "its verdict; it writes nothing.\n";
constexpr std::string_view kConvertDescription =
    "convert turns SOURCE's procedures, data and exported variables into an MS-COFF object or\n"
    "static library; \"brisko SOURCE\" does the same with the default options.\n";
constexpr std::string_view kRegisterDescription =
    "register-ide adds brisko to the PureBasic IDE's tools menu: in the IDE's tools file it\n"
    "raises ToolCount by one and appends a [Tool_<n>] group that starts this brisko on the\n"
    "IDE's current source, then names the file and the tool's number. It changes nothing\n"
    "when brisko is registered there already or while the IDE runs.\n";

constexpr std::string_view kCompilerOptions =
    "Compiler options (check and convert):\n"
    "  --threadsafe        compile with PureBasic's threadsafe runtime libraries\n"
    "  --unicode           compile in Unicode mode\n"
    "  --inline-asm        compile the source's inline assembly\n";
constexpr std::string_view kConvertOptions =
    "Conversion options (convert):\n"
    "  --dest DIR          write below DIR, made when missing (default: SOURCE's folder)\n"
    "  --lib               write a static library with one member per procedure, not an object\n"
    "  --wrapper           also write Bin/<base>.pbi, a PureBasic include whose Import blocks\n"
    "                      declare the output's procedures, arrays and variables\n"
    "  --c-header          also write Bin/<base>.h, a C header that declares them for C and\n"
    "                      C++ programs\n"
    "  --export-globals    export Global variables too (Public ones always are)\n"
    "  --log               write the conversion's log to Logs/briskoLog.txt\n"
    "  --use-existing-asm  skip the compiler and assemble the sources in SOURCE's Source/\n"
    "                      folder as you edited them (an object when the link source is\n"
    "                      there, else a library)\n"
    "  --jobs N            FASM runs at once for a library, 1 to 256 (default: one per\n"
    "                      processor); the builds of one run share them\n"
    "  --variants          build both thread variants: Bin/<base>.lib as compiled without\n"
    "                      --threadsafe and Bin/<base>_thread.lib as compiled with it\n"
    "  --pb-folder-x64 DIR also build for x64 with the installation in DIR (the main one\n"
    "                      then compiles for x86): Bin/<base>_x64.lib (and _x64_thread.lib)\n"
    "  --pb-folder-x86 DIR also build for x86 with the installation in DIR (the main one\n"
    "                      then compiles for x64, whose builds get _x64 in their names)\n"
    "With --variants or a second installation, --wrapper writes one Bin/<base>.pbi that\n"
    "imports the build matching the program that includes it; a build that was not made\n"
    "stops that program's compilation with a CompilerError naming the option that makes it.\n";
constexpr std::string_view kGlobalOptions =
    "Global options:\n"
    "  --pb-folder DIR     the PureBasic installation folder, instead of the one the IDE's\n"
    "                      open command names\n"
    "  --tools-file FILE   the IDE's tools file for register-ide, instead of the one the IDE's\n"
    "                      open command names\n"
    "  --help, -h          show this help; after a command, that command's help\n"
    "  --version           show brisko's version\n";
// %PLACE% stands for where the platform reads the open command.
constexpr std::string_view kFinding =
    "Finding PureBasic:\n"
    "  The PureBasic IDE's open command names the installation; brisko reads it from\n"
    "    %PLACE%\n"
    "  where it looks like\n"
    "    \"<installation folder>/PureBasic.exe\" \"%1\" \"\" \"\" \"<tools file>\"\n"
    "  The folder of its first quoted path is the installation folder, which holds\n"
    "  compilers/PBcompiler.exe, compilers/fasm.exe and compilers/polib.exe; its fifth quoted\n"
    "  item is the IDE's tools file. --pb-folder DIR names the installation folder instead.\n";
constexpr std::string_view kWritten =
    "What convert writes, below --dest DIR or else below SOURCE's folder (<base> is SOURCE's\n"
    "file name without its extension):\n"
    "  Bin/<base>.obj      the object; with --lib, Bin/<base>.lib, the library\n"
    "  Bin/<base>_thread.lib, Bin/<base>_x64.lib, Bin/<base>_x64_thread.lib\n"
    "                      the other builds, with --variants and --pb-folder-x64\n"
    "  Bin/<base>.pbi      the PureBasic wrapper, with --wrapper\n"
    "  Bin/<base>.h        the C header, with --c-header\n"
    "  Source/             the generated assembly sources: one per procedure and the data's\n"
    "                      (a library's objects are made in Source/briskoObjects/; the other\n"
    "                      builds' work folders are Source/briskoVariants/<build>/)\n"
    "  Logs/briskoLog.txt  the log, with --log\n"
    "Nothing else in Bin/ is touched, and your own files in Source/ stay.\n";
constexpr std::string_view kExamples =
    "Examples:\n"
    "  brisko convert demo.pb\n"
    "      writes the object Bin/demo.obj below demo.pb's folder\n"
    "  brisko convert demo.pb --lib --wrapper --dest out\n"
    "      writes the library out/Bin/demo.lib and out/Bin/demo.pbi, the include that\n"
    "      imports it into a PureBasic program\n"
    "  brisko convert demo.pb --lib --wrapper --variants --pb-folder-x64 /opt/pb64\n"
    "      writes demo.lib, demo_thread.lib, demo_x64.lib, demo_x64_thread.lib and one\n"
    "      demo.pbi for programs of either processor, thread-safe or not\n";

// The sections joined by blank lines, with the platform's path separator and the place of
// the open command.
std::string helpPages(std::initializer_list<std::string_view> sections) {
  std::string text;
  for (const std::string_view section : sections) {
    if (!text.empty()) text += '\n';
    text += section;
  }
  text = platform::nativeSeparators(text);
  const std::string_view marker = "%PLACE%";
  if (const std::size_t at = text.find(marker); at != std::string::npos) {
    text.replace(at, marker.size(), platform::ideOpenCommandPlace());
  }
  return text;
}

// Every command's synopsis and the global options.
std::string synopsis() {
  std::string text;
  for (const std::string_view line :
       {kCheckUsage, kConvertUsage, kRegisterUsage, kSourceAloneUsage}) {
    text += text.empty() ? "usage: " : "       ";
    text += line;
  }
  return text + std::string(kGlobalUsage);
}

}  // namespace

std::string usageText() {
  return platform::nativeSeparators(synopsis() + "\"brisko --help\" says what each option does.\n");
}

std::string helpText(Command topic) {
  const std::string usage = "usage: ";
  switch (topic) {
    case Command::check:
      return helpPages({usage + std::string(kCheckUsage) + std::string(kGlobalUsage),
                        kCheckDescription, kCompilerOptions, kGlobalOptions, kFinding});
    case Command::convert:
      return helpPages({usage + std::string(kConvertUsage) + "       " +
                            std::string(kSourceAloneUsage) + std::string(kGlobalUsage),
                        kConvertDescription, kCompilerOptions, kConvertOptions, kGlobalOptions,
                        kFinding, kWritten, kExamples});
    case Command::registerIde:
      return helpPages({usage + std::string(kRegisterUsage) + std::string(kGlobalUsage),
                        kRegisterDescription, kGlobalOptions, kFinding});
    default:
      break;
  }
  return helpPages({synopsis(), kCommands, kCompilerOptions, kConvertOptions, kGlobalOptions,
                    kFinding, kWritten, kExamples});
}

}  // namespace brisko::cli
