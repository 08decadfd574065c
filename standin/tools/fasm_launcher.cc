// compilers/fasm.exe of the stand-in installation: runs the real flat assembler with the same
// arguments. The assembler is the 32-bit x86 Linux program (BRISKO_REAL_FASM, else /usr/bin/fasm,
// else "fasm" on PATH). It is executed in place of this process, so arguments, standard output,
// standard error and the exit code are the assembler's own. A kernel that cannot run 32-bit
// programs refuses the exec; then the program runs under the user-mode emulator instead
// (BRISKO_QEMU_I386, else "qemu-i386" on PATH), again in place of this process. Unless the
// command line sets the memory limit, the launcher puts "-m <kilobytes>" in front of the
// arguments (see fasmMemoryKilobytes).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::uint64_t kMebibyte = 1024 * 1024;
// Used when the available memory cannot be learned.
constexpr std::uint64_t kFallbackMemory = 256 * kMebibyte;

// The memory the assembler gets, in kilobytes. The Windows console FASM, given no -m, asks
// GlobalMemoryStatus and takes a quarter of the available page file plus the available
// physical memory, or 2 GiB when either of the two is 2 GiB or more (negative as a signed
// 32-bit number); when the allocation fails it retries with half the size. The Linux fasm
// instead starts with a fixed 16 MiB, too little for the listing of a large object. The
// value follows the Windows rule, so that what assembles there assembles here; but the
// assembler is a 32-bit process (native or under qemu-i386) that cannot count on a single
// block of 2 GiB, so the value is halved while it exceeds 1 GiB, as those retries would do. It
// never goes below the Linux fasm's own 16 MiB.
std::uint64_t fasmMemoryKilobytes(std::uint64_t availablePhysical,
                                  std::uint64_t availablePageFile) {
  constexpr std::uint64_t kLarge = 2048 * kMebibyte;
  std::uint64_t bytes = availablePhysical >= kLarge || availablePageFile >= kLarge
                            ? kLarge
                            : availablePageFile / 4 + availablePhysical;
  while (bytes > 1024 * kMebibyte) bytes /= 2;
  return std::max(bytes, 16 * kMebibyte) / 1024;
}

// Whether an argument sets the assembler's memory limit ("-m 4096" or "-m4096", any case).
template <typename Char>
bool isMemoryOption(const Char* argument) {
  return argument[0] == '-' && (argument[1] == 'm' || argument[1] == 'M');
}

}  // namespace

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// The memory limit from /proc/meminfo: MemAvailable is the available physical memory, and with
// SwapFree it is what Windows calls the available page file (the commit room of RAM and swap).
std::uint64_t memoryKilobytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::uint64_t available = 0;
  std::uint64_t swapFree = 0;
  bool haveAvailable = false;
  std::string line;
  while (std::getline(meminfo, line)) {
    std::istringstream fields(line);
    std::string name;
    std::uint64_t kilobytes = 0;
    if (!(fields >> name >> kilobytes)) continue;
    if (name == "MemAvailable:") {
      available = kilobytes * 1024;
      haveAvailable = true;
    } else if (name == "SwapFree:") {
      swapFree = kilobytes * 1024;
    }
  }
  if (!haveAvailable) return kFallbackMemory / 1024;
  return fasmMemoryKilobytes(available, available + swapFree);
}

bool isExecutable(const std::string& path) {
  return access(path.c_str(), X_OK) == 0;
}

// The first executable file called `name` in the folders of PATH, or empty.
std::string findOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    // An empty entry means the current folder.
    const std::string folder = end > start ? folders.substr(start, end - start) : std::string(".");
    const std::string candidate = folder + "/" + name;
    if (isExecutable(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

std::string fromEnvironment(const char* variable) {
  const char* value = std::getenv(variable);
  return value ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
  std::string fasm = fromEnvironment("BRISKO_REAL_FASM");
  if (fasm.empty()) fasm = isExecutable("/usr/bin/fasm") ? "/usr/bin/fasm" : findOnPath("fasm");
  if (fasm.empty()) {
    std::fprintf(stderr,
                 "fasm launcher: the flat assembler was not found (install fasm or set "
                 "BRISKO_REAL_FASM)\n");
    return 1;
  }

  std::string memoryOption = "-m";
  std::string memoryLimit;
  bool memoryGiven = false;
  for (int i = 1; i < argc; ++i) memoryGiven = memoryGiven || isMemoryOption(argv[i]);
  std::vector<char*> args;
  args.push_back(fasm.data());
  if (!memoryGiven) {
    memoryLimit = std::to_string(memoryKilobytes());
    args.push_back(memoryOption.data());
    args.push_back(memoryLimit.data());
  }
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  execv(fasm.c_str(), args.data());
  const int directError = errno;

  // ENOEXEC: the kernel does not know the binary format (no 32-bit support). Anything else
  // (missing file, no permission) is a real failure that the emulator would not fix.
  if (directError != ENOEXEC) {
    std::fprintf(stderr, "fasm launcher: cannot run %s: %s\n", fasm.c_str(),
                 std::strerror(directError));
    return 1;
  }
  std::string qemu = fromEnvironment("BRISKO_QEMU_I386");
  if (qemu.empty()) qemu = findOnPath("qemu-i386");
  if (qemu.empty()) {
    std::fprintf(stderr,
                 "fasm launcher: this kernel cannot run %s and qemu-i386 was not found "
                 "(install qemu-user or set BRISKO_QEMU_I386)\n",
                 fasm.c_str());
    return 1;
  }
  args.insert(args.begin(), qemu.data());
  execv(qemu.c_str(), args.data());
  std::fprintf(stderr, "fasm launcher: cannot run %s: %s\n", qemu.c_str(), std::strerror(errno));
  return 1;
}

#else

#include <windows.h>

// Under wine a Windows program can start a native Linux program: CreateProcessW runs the file
// its Unix path names on drive Z:. The Windows build of the launcher therefore starts the
// 32-bit Linux assembler through the user-mode emulator, with the paths of its arguments
// turned into Unix paths (Z:\tmp\a.asm becomes /tmp/a.asm). The emulator is
// BRISKO_QEMU_I386 (default /usr/bin/qemu-i386), the assembler BRISKO_REAL_FASM (default
// /usr/bin/fasm), both Unix paths. A native program does not write into a pipe of a Windows
// caller, so its standard error goes to a file that the launcher copies to its own standard
// error afterwards; its standard output is the console's. Wine cannot report the
// exit code of a native process, nor wait for one, so a shell runs the assembler and then
// writes its exit code into a temporary file, whose appearance ends the wait.
namespace {

// The memory limit from GlobalMemoryStatusEx, the 64-bit form of what the Windows FASM asks.
std::uint64_t memoryKilobytes() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return kFallbackMemory / 1024;
  return fasmMemoryKilobytes(status.ullAvailPhys, status.ullAvailPageFile);
}

std::wstring fromEnvironment(const wchar_t* variable, const wchar_t* fallback) {
  wchar_t value[1024];
  const DWORD length = GetEnvironmentVariableW(variable, value, 1024);
  if (length == 0 || length >= 1024) return fallback;
  return std::wstring(value, length);
}

// Wine's own translation of a Windows path into a Unix path (any drive), when present.
using UnixFileName = char* (*)(const wchar_t*);

std::wstring unixPath(const std::wstring& argument) {
  static const auto translate = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (argument.size() < 3 || argument[1] != L':' || (argument[2] != L'\\' && argument[2] != L'/')) {
    return argument;
  }
  if (translate != nullptr) {
    if (char* path = translate(argument.c_str())) {
      std::wstring result;
      const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
      if (length > 0) {
        result.resize(static_cast<std::size_t>(length));
        MultiByteToWideChar(CP_UTF8, 0, path, -1, result.data(), length);
        result.resize(static_cast<std::size_t>(length - 1));
      }
      HeapFree(GetProcessHeap(), 0, path);
      if (!result.empty()) return result;
    }
  }
  if (argument[0] != L'Z' && argument[0] != L'z') return argument;
  std::wstring path = argument.substr(2);
  for (wchar_t& c : path) {
    if (c == L'\\') c = L'/';
  }
  return path;
}

// Quoted so that the emulator's command line splitting gives the argument back.
std::wstring quoted(const std::wstring& argument) {
  std::wstring text = L"\"";
  for (wchar_t c : argument) {
    if (c == L'"') text += L'\\';
    text += c;
  }
  return text + L"\"";
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return 1;
  wchar_t folder[MAX_PATH + 1];
  wchar_t codeFile[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 ||
      GetTempFileNameW(folder, L"fsm", 0, codeFile) == 0) {
    std::fprintf(stderr, "fasm launcher: no temporary file for the exit code\n");
    return 1;
  }
  // The shell creates the file once the assembler has ended.
  DeleteFileW(codeFile);
  const std::wstring codeFilePath = unixPath(codeFile);
  const std::wstring qemu = fromEnvironment(L"BRISKO_QEMU_I386", L"/usr/bin/qemu-i386");
  const std::wstring fasm = fromEnvironment(L"BRISKO_REAL_FASM", L"/usr/bin/fasm");
  std::wstring command =
      L"Z:\\bin\\sh -c " +
      quoted(L"f=$0; \"$@\" 2>\"$f.err\"; echo $? >\"$f.part\"; mv \"$f.part\" \"$f\"") + L" " +
      quoted(codeFilePath) + L" " + quoted(qemu) + L" " + quoted(fasm);
  bool memoryGiven = false;
  for (int i = 1; i < argc; ++i) memoryGiven = memoryGiven || isMemoryOption(argv[i]);
  if (!memoryGiven) command += L" -m " + std::to_wstring(memoryKilobytes());
  for (int i = 1; i < argc; ++i) command += L" " + quoted(unixPath(argv[i]));
  LocalFree(argv);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "fasm launcher: cannot start the assembler (error %lu)\n", GetLastError());
    DeleteFileW(codeFile);
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  // The process handle of a native program is signalled at once, so the launcher waits for
  // the exit-code file instead (at most an hour).
  int exitCode = 1;
  for (int waited = 0; waited < 3600 * 50; ++waited) {
    if (FILE* file = _wfopen(codeFile, L"r")) {
      if (std::fscanf(file, "%d", &exitCode) != 1) exitCode = 1;
      std::fclose(file);
      break;
    }
    Sleep(20);
  }
  DeleteFileW(codeFile);

  // The assembler's messages, passed on to this process's standard error.
  const std::wstring errorFile = std::wstring(codeFile) + L".err";
  if (FILE* file = _wfopen(errorFile.c_str(), L"rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      DWORD written = 0;
      WriteFile(GetStdHandle(STD_ERROR_HANDLE), buffer, static_cast<DWORD>(n), &written, nullptr);
    }
    std::fclose(file);
  }
  DeleteFileW(errorFile.c_str());
  return exitCode;
}

#endif
