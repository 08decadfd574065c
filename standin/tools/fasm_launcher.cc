// compilers/fasm.exe of the stand-in installation: runs the real flat assembler with the same
// arguments. The assembler is the 32-bit x86 Linux program (BRISKO_REAL_FASM, else /usr/bin/fasm,
// else "fasm" on PATH). It is executed in place of this process, so arguments, standard output,
// standard error and the exit code are the assembler's own. A kernel that cannot run 32-bit
// programs refuses the exec; then the program runs under the user-mode emulator instead
// (BRISKO_QEMU_I386, else "qemu-i386" on PATH), again in place of this process.
#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

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

  std::vector<char*> args;
  args.push_back(fasm.data());
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

#include <string>

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

std::wstring fromEnvironment(const wchar_t* variable, const wchar_t* fallback) {
  wchar_t value[1024];
  const DWORD length = GetEnvironmentVariableW(variable, value, 1024);
  if (length == 0 || length >= 1024) return fallback;
  return std::wstring(value, length);
}

// Wine's own translation of a Windows path into a Unix path (any drive), when present.
using UnixFileName = char* (*)(const wchar_t*);

std::wstring unixPath(const std::wstring& argument) {
  static const auto translate = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                             "wine_get_unix_file_name")));
  if (argument.size() < 3 || argument[1] != L':' ||
      (argument[2] != L'\\' && argument[2] != L'/')) {
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
  std::wstring command = L"Z:\\bin\\sh -c " + quoted(L"f=$0; \"$@\" 2>\"$f.err\"; echo $? >\"$f.part\"; mv \"$f.part\" \"$f\"") + L" " +
                         quoted(codeFilePath) + L" " + quoted(qemu) + L" " + quoted(fasm);
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
    std::fprintf(stderr, "fasm launcher: cannot start the assembler (error %lu)\n",
                 GetLastError());
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
