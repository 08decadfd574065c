// Windows command lines: one text that the program forms, split into arguments by the rules
// of the Microsoft C runtime. On POSIX this turns the command line back into an argument
// vector, so that the texts the program forms stay the same on every platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brisko::platform {

// The first argument is the program: up to the next double quote when the line starts with
// one, otherwise up to the first blank. Later arguments are separated by blanks; a double
// quote toggles quoting, "" inside quotes is one literal quote, and backslashes are literal
// unless they precede a double quote (2n backslashes + quote: n backslashes and a toggle;
// 2n+1: n backslashes and a literal quote).
std::vector<std::string> splitWindowsCommandLine(std::string_view commandLine);

}  // namespace brisko::platform
