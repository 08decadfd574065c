// The console front end: start-up, then the one action the command line asks for.
#pragma once

#include <string>
#include <vector>

#include "app/feedback.h"
#include "platform/platform.h"

namespace brisko::cli {

// Exit statuses of the console program.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Runs the program for the arguments after its name, on the platform (the real one in main,
// fakes in tests) with the feedback on the console, and returns the exit status. Usage texts,
// the version and the files a conversion wrote go to usageOut; usage errors and start-up help
// to errorOut.
int runConsole(const std::vector<std::string>& arguments, const platform::Platform& platform,
               app::Feedback& feedback, std::FILE* usageOut, std::FILE* errorOut);

}  // namespace brisko::cli
