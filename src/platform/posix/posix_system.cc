#include <ftw.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "platform/installation_command.h"
#include "platform/system.h"

namespace brisko::platform {
namespace {

class SystemClock : public Clock {
 public:
  LocalTime now() const override {
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
  }
  std::int64_t steadyMilliseconds() const override {
    timespec moment{};
    ::clock_gettime(CLOCK_MONOTONIC, &moment);
    return static_cast<std::int64_t>(moment.tv_sec) * 1000 + moment.tv_nsec / 1000000;
  }
};

class SystemEnvironment : public Environment {
 public:
  std::optional<std::string> variable(const std::string& name) const override {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }
  std::string currentFolder() const override {
    std::vector<char> buffer(PATH_MAX + 1);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) return {};
    std::string folder = buffer.data();
    if (folder.back() != '/') folder += '/';
    return folder;
  }

  std::string executablePath() const override {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(n));
  }
};

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}

class PrivateTempFolder : public TempFolder {
 public:
  ~PrivateTempFolder() override {
    if (!path_.empty()) ::nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
  std::string path() override {
    if (path_.empty() && !tried_) {
      tried_ = true;
      const char* base = std::getenv("TMPDIR");
      std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
      if (pattern.back() != '/') pattern += '/';
      pattern += "brisko-XXXXXX";
      std::vector<char> buffer(pattern.begin(), pattern.end());
      buffer.push_back('\0');
      if (::mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
    }
    return path_.empty() ? std::string() : path_ + "/";
  }

 private:
  std::string path_;
  bool tried_ = false;
};

constexpr const char* kOpenCommandVariable = "BRISKO_PB_COMMAND";

class EnvironmentInstallationCommand : public InstallationCommandSource {
 public:
  std::optional<std::string> ideOpenCommand() const override {
    const char* value = std::getenv(kOpenCommandVariable);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }
};

}  // namespace

void initialiseConsole() {}

std::vector<std::string> programArguments(int argc, char** argv) {
  if (argc <= 1) return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

void returnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

int processorCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : static_cast<int>(count);
}

std::unique_ptr<Clock> makeSystemClock() {
  return std::make_unique<SystemClock>();
}
std::unique_ptr<Environment> makeSystemEnvironment() {
  return std::make_unique<SystemEnvironment>();
}
std::unique_ptr<TempFolder> makeSystemTempFolder() {
  return std::make_unique<PrivateTempFolder>();
}
std::unique_ptr<InstallationCommandSource> makeSystemInstallationCommandSource() {
  return std::make_unique<EnvironmentInstallationCommand>();
}

std::string ideOpenCommandPlace() {
  return kOpenCommandVariable;
}

}  // namespace brisko::platform
