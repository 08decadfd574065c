// Path texts as the program forms them. Windows joins folders with "\", POSIX with "/";
// both separators are accepted wherever a path is taken apart.
#pragma once

#include <string>
#include <string_view>

namespace brisko::platform {

// The separator the platform joins folders with ("\\" on Windows, "/" elsewhere).
extern const char kPathSeparator;

inline bool isPathSeparator(char c) {
  return c == '\\' || c == '/';
}

// The folder part of a path: everything up to and including its last separator; empty when
// the path has none.
std::string folderPart(std::string_view path);
// The file part of a path: everything after its last separator.
std::string filePart(std::string_view path);
// The text after the last dot of a path's file part; empty when it has none.
std::string_view extensionOf(std::string_view path);
// A path without the last dot of its file part and what follows it.
std::string_view withoutExtension(std::string_view path);
// A folder text with a separator at its end (unchanged when it already has one or is empty).
std::string withTrailingSeparator(std::string_view folder);
// True for an absolute path: on POSIX one starting with "/", on Windows one with a drive or a
// leading separator.
bool isAbsolutePath(std::string_view path);
// A path made absolute against folder (which ends with a separator); an absolute path, on
// POSIX one starting with "/", on Windows one with a drive or a leading separator, stays.
std::string absolutePath(std::string_view path, std::string_view folder);
// Replaces every "\" and "/" by the platform's separator.
std::string nativeSeparators(std::string_view path);

class Environment;

// The folder where brisko keeps the user's settings, with its trailing separator:
// %APPDATA%\brisko\ on Windows, $XDG_CONFIG_HOME/brisko/ or else ~/.config/brisko/ on POSIX
// (a relative XDG_CONFIG_HOME is ignored, as the XDG base directory rules have it). Empty when the
// environment names no such place. The folder is not made here.
std::string userSettingsFolder(const Environment& environment);

}  // namespace brisko::platform
