// Bringing the program up: language texts, the PureBasic installation and its three tools.
#pragma once

#include <optional>
#include <string>

#include "app/configuration.h"
#include "app/feedback.h"
#include "language/language_table.h"
#include "platform/platform.h"

namespace brisko::session {

// What a front end adds to the platform for the start-up.
struct StartupOptions {
  // Whether the front end obtained its start-up resources (the window's icon); a front end
  // without a window has none to load and passes true.
  bool resourcesObtained = true;
  // The installation folder given directly (console option); replaces discovery.
  std::optional<std::string> pbFolderOverride;
  // The front end takes the installation folder as an option (the console's --pb-folder), so
  // the explanation after a missing tool names that way too.
  bool pbFolderOption = false;
};

// Where the installation folder came from: the front end's option, the IDE's open command
// (the registry on Windows, BRISKO_PB_COMMAND on POSIX), or nowhere (the tool paths are then
// relative to the current folder).
enum class InstallationSource { option, openCommand, none };

struct StartupState {
  app::ToolchainPaths paths;
  language::LanguageTable texts;
  InstallationSource pbFolderSource = InstallationSource::none;
  // What the IDE's open command held; nothing when it could not be read (or was not read
  // because the folder was given directly).
  std::optional<std::string> openCommand;
  // checkTools' result when start-up ended at the tool checks.
  std::optional<language::TextId> missingTool;
};

// A tool passes when its file exists, is not a folder and is larger than zero bytes.
bool toolFilePresent(const platform::FileSystem& files, const std::string& path);

// Nothing when the compiler and FASM are present; otherwise the text that names the first one
// that is missing, compiler first (noCompiler, noFasm). polib is not needed: an
// installation without one gets libraries packed by brisko.
std::optional<language::TextId> checkTools(const platform::FileSystem& files,
                                           const app::ToolchainPaths& paths);

// Runs the start-up steps up to the tool checks. On success fills state, attaches its texts
// to the feedback and returns true; on failure the fatal message has been shown and the
// program must end. The message about a missing tool goes on to say where brisko looked for
// it, where that installation folder came from (the option, or the IDE's open command and
// what it held, or that it was missing or empty) and how to point brisko at an installation.
bool startUp(const platform::Platform& platform, app::Feedback& feedback,
             const StartupOptions& options, StartupState& state);

// The fixed English messages shown before any language text exists.
inline constexpr const char* kInitialisingProblem =
    "There was a problem initialising the program.\n\nTerminating brisko.";
inline constexpr const char* kLanguageFileProblem =
    "There was a problem loading the language file.\nNot even the default language file could "
    "be unpacked!\n\nTerminating brisko.";

}  // namespace brisko::session
