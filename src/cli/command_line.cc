#include "cli/command_line.h"

#include <charconv>
#include <map>
#include <string_view>

#include "language/text_ids.h"

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
      {"--use-existing-asm", {app::kUseExistingAsmFiles, false}},
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
         option == "--jobs";
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
  if (name == "check") {
    line.command = Command::check;
  } else if (name == "convert") {
    line.command = Command::convert;
  } else if (name == "register-ide") {
    line.command = Command::registerIde;
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
  if (lib) line.options.outputFormat = app::OutputFormat::staticLibrary;
  return result;
}

std::string usageText() {
  return "usage: brisko [GLOBAL] check SOURCE [--threadsafe] [--unicode] [--inline-asm]\n"
         "       brisko [GLOBAL] convert SOURCE [--dest DIR] [--lib] [--threadsafe] [--unicode]\n"
         "              [--inline-asm] [--export-globals] [--log] [--wrapper] "
         "[--use-existing-asm]\n"
         "              [--jobs N]   (FASM runs at once for --lib; default: one per processor)\n"
         "       brisko [GLOBAL] register-ide\n"
         "       brisko [GLOBAL] SOURCE [convert options]   (as convert)\n"
#ifdef _WIN32
         "GLOBAL: --pb-folder DIR   the PureBasic installation folder (instead of the one the "
         "registry names)\n"
#else
         "GLOBAL: --pb-folder DIR   the PureBasic installation folder (overrides "
         "BRISKO_PB_COMMAND)\n"
#endif
         "        --tools-file FILE the PureBasic IDE's tools file\n"
         "        --help, --version\n";
}

std::string missingToolHelp(const session::StartupState& state) {
  if (!state.missingTool) return {};
  const app::ToolchainPaths& paths = state.paths;
  std::string text;
  switch (*state.missingTool) {
    case language::TextId::noCompiler:
      text = "brisko looked for the compiler at " + paths.compilerPath + "\n";
      break;
    case language::TextId::noFasm:
      text = "brisko looked for FASM at " + paths.fasmPath + "\n";
      break;
    case language::TextId::noPolib:
      text = "brisko looked for polib at " + paths.polibPath + "\n";
      break;
    default:
      return {};
  }
  switch (state.pbFolderSource) {
    case session::InstallationSource::option:
      text += "The installation folder " + paths.pbFolder + " comes from the --pb-folder option.\n";
      break;
    case session::InstallationSource::openCommand:
#ifdef _WIN32
      text += "The installation folder " + paths.pbFolder +
              " comes from the PureBasic IDE's open command in the registry.\n";
#else
      text += "The installation folder " + paths.pbFolder +
              " comes from the BRISKO_PB_COMMAND environment variable.\n";
#endif
      break;
    case session::InstallationSource::none:
#ifdef _WIN32
      text +=
          "The registry names no PureBasic installation, so the path was tried relative to "
          "the current folder.\n";
#else
      text +=
          "BRISKO_PB_COMMAND names no PureBasic installation, so the path was tried "
          "relative to the current folder.\n";
#endif
      break;
  }
#ifdef _WIN32
  text +=
      "Use --pb-folder DIR to name the installation folder, or install PureBasic so that "
      "the registry holds the IDE's open command (see README).\n";
#else
  text +=
      "Use --pb-folder DIR, or set BRISKO_PB_COMMAND to the PureBasic IDE's open command "
      "(see README).\n";
#endif
  return text;
}

}  // namespace brisko::cli
