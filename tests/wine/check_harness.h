// The checks of the programs run under wine (gui_driver.exe, win32_platform_test.exe). A check
// groups related expectations and prints one line when it ends: "ok   NAME", or "FAIL NAME"
// followed by its problems and notes, each indented by five spaces. summary() prints
// "N passed, M failed" and gives the exit code. gui.sh and smoke.sh read these lines.
//
// The CHECK and CHECK_EQ macros add an expectation to the innermost check in progress;
// runTests runs each test case as one check named after it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/wide_text.h"

namespace brisko::wine_checks {

inline int checksPassed = 0;
inline int checksFailed = 0;

// A text in double quotes with line feeds and carriage returns shown, so that message texts
// compare visibly.
inline std::string shown(std::wstring_view text) {
  std::wstring escaped;
  for (wchar_t c : text) {
    if (c == L'\n') {
      escaped += L"\\n";
    } else if (c == L'\r') {
      escaped += L"\\r";
    } else {
      escaped += c;
    }
  }
  std::string quoted(1, '"');
  quoted += platform::win32::narrow(escaped);
  quoted += '"';
  return quoted;
}

class Check {
 public:
  explicit Check(std::string name) : name_(std::move(name)), outer_(current_) { current_ = this; }
  Check(const Check&) = delete;
  Check& operator=(const Check&) = delete;
  ~Check() {
    finish();
    current_ = outer_;
  }

  // The innermost check in progress, which CHECK and CHECK_EQ add to.
  static Check& current() {
    if (current_ == nullptr) {
      std::fprintf(stderr, "an expectation outside of any check\n");
      std::abort();
    }
    return *current_;
  }

  bool expect(bool condition, const std::string& what) {
    ++expectations_;
    if (!condition) problems_.push_back(what);
    return condition;
  }
  bool expectEq(const std::string& what, long long actual, long long expected) {
    return expect(actual == expected, what + " is " + std::to_string(actual) + ", expected " +
                                          std::to_string(expected));
  }
  bool expectEq(const std::string& what, std::wstring_view actual, std::wstring_view expected) {
    return expect(actual == expected,
                  what + " is " + shown(actual) + ", expected " + shown(expected));
  }
  // A problem that makes the rest of the check impossible.
  void fail(const std::string& what) { expect(false, what); }
  // Context printed under a failure.
  void note(const std::string& text) { notes_.push_back(text); }
  bool ok() const { return problems_.empty(); }

  // Prints the check's line (once); a check without expectations fails.
  void finish() {
    if (finished_) return;
    finished_ = true;
    if (expectations_ == 0) problems_.push_back("nothing was checked");
    if (problems_.empty()) {
      ++checksPassed;
      std::printf("ok   %s\n", name_.c_str());
    } else {
      ++checksFailed;
      std::printf("FAIL %s\n", name_.c_str());
      for (const std::string& problem : problems_) std::printf("     %s\n", problem.c_str());
      for (const std::string& line : notes_) std::printf("     (%s)\n", line.c_str());
    }
    std::fflush(stdout);
  }

 private:
  static inline Check* current_ = nullptr;
  std::string name_;
  Check* outer_;
  int expectations_ = 0;
  std::vector<std::string> problems_;
  std::vector<std::string> notes_;
  bool finished_ = false;
};

struct TestCase {
  const char* name;
  std::function<void()> body;
};

// Runs each test as one check: it passes when none of its CHECKs failed.
inline void runTests(const std::vector<TestCase>& tests) {
  for (const TestCase& test : tests) {
    Check check(test.name);
    test.body();
  }
}

// Prints "N passed, M failed"; the exit code: 0 when every check passed, 1 otherwise.
inline int summary() {
  std::printf("%d passed, %d failed\n", checksPassed, checksFailed);
  std::fflush(stdout);
  return checksFailed == 0 ? 0 : 1;
}

}  // namespace brisko::wine_checks

#define CHECK(condition)                                                                    \
  ::brisko::wine_checks::Check::current().expect(                                           \
      static_cast<bool>(condition),                                                         \
      std::string(__FILE__ ":") + std::to_string(__LINE__) + ": check failed: " #condition)

#define CHECK_EQ(actual, expected)                                                         \
  do {                                                                                     \
    const auto& a_ = (actual);                                                             \
    const auto& e_ = (expected);                                                           \
    ::brisko::wine_checks::Check::current().expect(                                        \
        static_cast<bool>(a_ == e_), std::string(__FILE__ ":") + std::to_string(__LINE__) + ": " #actual " != " \
                      #expected);                                                          \
  } while (false)
