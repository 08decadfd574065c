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

int main() {
  std::fprintf(stderr, "fasm launcher: there is no flat assembler to run in this build\n");
  return 1;
}

#endif
