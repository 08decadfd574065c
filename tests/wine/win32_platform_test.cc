// Tests of the Win32 platform layer, built by the Windows cross build and run under wine
// (GoogleTest is not available for that target). The program starts copies of itself in
// "--child" mode as the tools whose output is captured.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "check_harness.h"
#include "platform/installation_command.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/system_file_system.h"
#include "platform/text.h"
#include "platform/win32/registry.h"
#include "platform/win32/wide_text.h"
#include "platform/windows_command_line.h"

namespace {

using namespace brisko::platform;
using brisko::platform::win32::narrow;
using brisko::platform::win32::widen;
using brisko::wine_checks::TestCase;

// ---- the child program

std::string pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 31 + seed) & 0xFF);
  }
  return bytes;
}

void writeAll(DWORD which, const std::string& bytes) {
  const HANDLE handle = GetStdHandle(which);
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr)) {
      return;
    }
    done += written;
  }
}

// Child commands: "out SIZE SEED EXIT", "err SIZE SEED EXIT", "both", "cwd", "args ...".
int runChild(const std::vector<std::string>& arguments) {
  const std::string& command = arguments.at(1);
  if (command == "out" || command == "err") {
    const auto size = std::stoul(arguments.at(2));
    const auto seed = static_cast<unsigned>(std::stoul(arguments.at(3)));
    writeAll(command == "out" ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, pattern(size, seed));
    return std::stoi(arguments.at(4));
  }
  if (command == "both") {
    writeAll(STD_OUTPUT_HANDLE, "to standard output");
    writeAll(STD_ERROR_HANDLE, "to standard error");
    return 0;
  }
  if (command == "cwd") {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, folder);
    writeAll(STD_OUTPUT_HANDLE, narrow(std::wstring_view(folder, length)));
    return 0;
  }
  if (command == "args") {
    std::string text;
    for (std::size_t i = 2; i < arguments.size(); ++i) text += arguments[i] + "\n";
    writeAll(STD_OUTPUT_HANDLE, text);
    return 0;
  }
  return 99;
}

// ---- helpers of the tests

std::string executable() {
  return makeSystemEnvironment()->executablePath();
}

std::string withoutTrailingBackslash(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

// A fresh folder in the temporary folder, removed with its content afterwards.
class Scratch {
 public:
  Scratch() {
    auto temp = makeSystemTempFolder();
    path_ = temp->path() + "brisko-platform-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter_++) + "\\";
    files_->makeFolder(path_);
  }
  ~Scratch() { removeTree(path_); }
  const std::string& path() const { return path_; }
  FileSystem& files() { return *files_; }

 private:
  void removeTree(const std::string& folder) {
    if (auto entries = files_->listFolder(folder)) {
      for (const auto& entry : *entries) {
        if (entry.isFolder) {
          removeTree(folder + entry.name + "\\");
        } else {
          files_->deleteFile(folder + entry.name);
        }
      }
    }
    RemoveDirectoryW(widen(withoutTrailingBackslash(folder)).c_str());
  }

  static inline int counter_ = 0;
  std::unique_ptr<FileSystem> files_ = makeSystemFileSystem();
  std::string path_;
};

std::string childLine(const std::string& program, const std::string& arguments) {
  std::string line = "\"";
  line += program;
  line += "\" --child ";
  line += arguments;
  return line;
}

// Reads standard output the way the compiler run does: 1,024-byte pieces while running.
std::string collectOutput(ChildProcess& child, bool& piecesFull) {
  std::string output;
  char buffer[1024];
  piecesFull = true;
  bool sawShort = false;
  while (child.isRunning()) {
    const std::size_t n = child.readOutput(buffer, sizeof buffer);
    if (sawShort && n > 0) piecesFull = false;  // only the last piece may be short
    if (n < sizeof buffer) sawShort = true;
    output.append(buffer, n);
  }
  return output;
}

// Polls isRunning the way the tool runs with standard error captured do; false when the
// child has not ended within the time limit (a stalled pipe, for one).
bool waitWhileRunning(ChildProcess& child, DWORD limitMilliseconds = 30000) {
  const DWORD startedAt = GetTickCount();
  while (child.isRunning()) {
    if (GetTickCount() - startedAt > limitMilliseconds) return false;
  }
  return true;
}

// ---- file system

void fileSystemWritesReadsAndMeasuresFiles() {
  Scratch scratch;
  FileSystem& files = scratch.files();
  const std::string file = scratch.path() + "data.bin";
  const std::string bytes = std::string("line\r\n\0\xff", 8) + pattern(70000, 7);

  CHECK(!files.exists(file));
  CHECK(files.writeFile(file, bytes));
  CHECK(files.exists(file));
  CHECK(!files.isFolder(file));
  CHECK(files.isFolder(scratch.path()));
  CHECK(!files.fileSize(scratch.path()));
  CHECK_EQ(files.fileSize(file).value_or(0), bytes.size());
  CHECK_EQ(files.readFile(file).value_or(""), bytes);
  CHECK(!files.readFile(scratch.path()));
  CHECK(!files.readFile(scratch.path() + "missing.txt"));

  // Appending keeps what is there and creates a missing file.
  auto appended = files.appendFile(file);
  CHECK(appended != nullptr);
  if (appended) {
    CHECK(appended->write("tail"));
    CHECK(appended->close());
    CHECK(!appended->write("after close"));
  }
  CHECK_EQ(files.readFile(file).value_or(""), bytes + "tail");
  auto fresh = files.appendFile(scratch.path() + "log.txt");
  CHECK(fresh && fresh->write("one") && fresh->close());
  CHECK_EQ(files.readFile(scratch.path() + "log.txt").value_or(""), std::string("one"));

  // Creating truncates.
  CHECK(files.writeFile(file, "short"));
  CHECK_EQ(files.fileSize(file).value_or(0), 5u);
  CHECK(!files.createFile(scratch.path() + "no-such-folder\\x.txt"));
}

void fileSystemMovesDeletesAndMakesFolders() {
  Scratch scratch;
  FileSystem& files = scratch.files();
  const std::string a = scratch.path() + "a.txt";
  const std::string b = scratch.path() + "b.txt";
  CHECK(files.writeFile(a, "A"));
  CHECK(files.writeFile(b, "B"));
  CHECK(!files.moveFile(a, b));  // the target exists
  CHECK_EQ(files.readFile(b).value_or(""), std::string("B"));
  CHECK(files.deleteFile(b));
  CHECK(!files.deleteFile(b));
  CHECK(files.moveFile(a, b));
  CHECK(!files.exists(a));
  CHECK_EQ(files.readFile(b).value_or(""), std::string("A"));

  const std::string folder = scratch.path() + "Source\\";
  CHECK(files.makeFolder(folder));  // with its trailing separator
  CHECK(files.isFolder(folder));
  CHECK(!files.makeFolder(folder));                     // exists already
  CHECK(!files.makeFolder(scratch.path() + "x\\y\\"));  // one level only
  CHECK(!files.deleteFile(folder));
  CHECK(!files.moveFile(folder, scratch.path() + "Moved"));
}

void fileSystemListsFoldersWithUnicodeNames() {
  Scratch scratch;
  FileSystem& files = scratch.files();
  const std::string unicodeName =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC \xF0\x9F\x98\x80.pb";
  CHECK(files.writeFile(scratch.path() + unicodeName, "x"));
  CHECK(files.makeFolder(scratch.path() + "Bin"));
  CHECK(files.writeFile(scratch.path() + "plain.txt", ""));

  const auto entries = files.listFolder(scratch.path());
  CHECK(entries.has_value());
  int seen = 0;
  for (const auto& entry : entries.value_or(std::vector<FolderEntry>{})) {
    CHECK(entry.name != "." && entry.name != "..");
    if (entry.name == unicodeName) seen += entry.isFolder ? 100 : 1;
    if (entry.name == "Bin") seen += entry.isFolder ? 10 : 100;
    if (entry.name == "plain.txt") seen += entry.isFolder ? 100 : 1;
  }
  CHECK_EQ(entries.value_or(std::vector<FolderEntry>{}).size(), 3u);
  CHECK_EQ(seen, 12);
  CHECK_EQ(files.readFile(scratch.path() + unicodeName).value_or(""), std::string("x"));

  // Without a trailing separator too; a missing folder cannot be listed; an empty one can.
  CHECK_EQ(files.listFolder(withoutTrailingBackslash(scratch.path()))
               .value_or(std::vector<FolderEntry>{})
               .size(),
           3u);
  CHECK(!files.listFolder(scratch.path() + "missing\\"));
  const auto empty = files.listFolder(scratch.path() + "Bin");
  CHECK(empty.has_value() && empty->empty());
}

// ---- system services

void environmentReadsVariablesAndTheExecutable() {
  auto environment = makeSystemEnvironment();
  const std::string value = "caf\xC3\xA9 " + std::string(600, 'v');
  SetEnvironmentVariableW(L"BRISKO_TEST_VALUE", widen(value).c_str());
  SetEnvironmentVariableW(L"BRISKO_TEST_EMPTY", L"");
  SetEnvironmentVariableW(L"BRISKO_TEST_MISSING", nullptr);
  CHECK_EQ(environment->variable("BRISKO_TEST_VALUE").value_or(""), value);
  const auto empty = environment->variable("BRISKO_TEST_EMPTY");
  CHECK(empty.has_value() && empty->empty());
  CHECK(!environment->variable("BRISKO_TEST_MISSING"));

  const std::string path = environment->executablePath();
  CHECK(path.size() > 3 && path[1] == ':' && path[2] == '\\');
  CHECK(asciiLowerCase(path).ends_with("win32_platform_test.exe"));
  CHECK(makeSystemFileSystem()->exists(path));
}

void tempFolderIsTheUsersOwnLongPath() {
  auto temp = makeSystemTempFolder();
  const std::string path = temp->path();
  CHECK(!path.empty() && path.back() == '\\');
  CHECK(makeSystemFileSystem()->isFolder(path));
  CHECK(path.find('~') == std::string::npos);
  CHECK_EQ(temp->path(), path);
  temp.reset();  // leaves the folder in place
  CHECK(makeSystemFileSystem()->isFolder(path));
}

void clockGivesTheLocalDateAndTime() {
  SYSTEMTIME before{};
  GetLocalTime(&before);
  const LocalTime now = makeSystemClock()->now();
  CHECK_EQ(now.year, static_cast<int>(before.wYear));
  CHECK_EQ(now.month, static_cast<int>(before.wMonth));
  CHECK(now.day >= 1 && now.day <= 31);
  CHECK(now.hour >= 0 && now.hour <= 23);
  CHECK(now.minute >= 0 && now.minute <= 59);
}

// ---- processes

void processCapturesStandardOutputInFullPieces() {
  auto launcher = makeProcessLauncher();
  auto child = launcher->start(childLine(executable(), "out 100000 3 7"), "",
                               CapturedStream::standardOutput);
  CHECK(child != nullptr);
  if (!child) return;
  bool piecesFull = false;
  const std::string output = collectOutput(*child, piecesFull);
  CHECK_EQ(output.size(), 100000u);
  CHECK(output == pattern(100000, 3));
  CHECK(piecesFull);
  CHECK_EQ(child->exitCode(), 7);
  char buffer[16];
  CHECK_EQ(child->readOutput(buffer, sizeof buffer), 0u);
  CHECK(!child->isRunning());
}

void processDrainsAChildThatWritesMuchToStandardError() {
  auto launcher = makeProcessLauncher();
  // Far more than a pipe holds: the child would stall if the pipe were not emptied.
  auto child =
      launcher->start(childLine(executable(), "err 300000 5 0"), "", CapturedStream::standardError);
  CHECK(child != nullptr);
  if (!child) return;
  CHECK(waitWhileRunning(*child));
  const std::string bytes = child->errorBytes();
  CHECK_EQ(bytes.size(), 300000u);
  CHECK(bytes == pattern(300000, 5));
  CHECK_EQ(child->exitCode(), 0);

  auto quiet =
      launcher->start(childLine(executable(), "err 0 0 1234"), "", CapturedStream::standardError);
  CHECK(quiet != nullptr);
  if (!quiet) return;
  CHECK_EQ(quiet->exitCode(), 1234);
  CHECK(quiet->errorBytes().empty());
}

// What reaches our own standard handle `which` (swapped for a pipe while the child runs) when
// the child writes to both streams and `captured` is read by us.
std::string otherStreamOfChild(DWORD which, CapturedStream captured, const std::string& expected) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  CHECK(CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
  const HANDLE ours = GetStdHandle(which);
  SetStdHandle(which, writeEnd);
  auto child = makeProcessLauncher()->start(childLine(executable(), "both"), "", captured);
  SetStdHandle(which, ours);
  CloseHandle(writeEnd);
  CHECK(child != nullptr);
  if (child) {
    char piece[64];
    if (captured == CapturedStream::standardOutput) {
      while (child->readOutput(piece, sizeof piece) > 0) {
      }
    }
    CHECK(waitWhileRunning(*child));
    if (captured == CapturedStream::standardError) CHECK_EQ(child->errorBytes(), expected);
    child.reset();
  }
  std::string received;
  char buffer[256];
  DWORD n = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) received.append(buffer, n);
  CloseHandle(readEnd);
  return received;
}

// A child whose standard output is captured writes its errors to ours; one whose standard
// error is captured writes its output nowhere (FASM's banner stays off the console).
void processGivesTheChildOurErrorsAndNoOutput() {
  CHECK_EQ(otherStreamOfChild(STD_ERROR_HANDLE, CapturedStream::standardOutput, ""),
           std::string("to standard error"));
  CHECK_EQ(
      otherStreamOfChild(STD_OUTPUT_HANDLE, CapturedStream::standardError, "to standard error"),
      std::string());
}

void processRunsInTheWorkingFolderAndFailsWithoutIt() {
  Scratch scratch;
  auto launcher = makeProcessLauncher();
  auto child = launcher->start(childLine(executable(), "cwd"), scratch.path(),
                               CapturedStream::standardOutput);
  CHECK(child != nullptr);
  if (child) {
    bool piecesFull = false;
    const std::string folder = collectOutput(*child, piecesFull);
    CHECK_EQ(asciiLowerCase(withoutTrailingBackslash(folder)),
             asciiLowerCase(withoutTrailingBackslash(scratch.path())));
  }
  CHECK(!launcher->start(childLine(executable(), "cwd"), scratch.path() + "missing\\",
                         CapturedStream::standardOutput));
  CHECK(!launcher->start("\"" + scratch.path() + "no-such-tool.exe\" /x", "",
                         CapturedStream::standardOutput));
  CHECK(!launcher->start("", "", CapturedStream::standardOutput));
}

// A program in a folder with blanks and non-ASCII letters, with arguments that need the C
// runtime's quoting rules; the child reads them through programArguments.
void processPassesTheCommandLineAsGiven() {
  Scratch scratch;
  FileSystem& files = scratch.files();
  const std::string folder = scratch.path() + "Tools f\xC3\xBCr PB\\";
  CHECK(files.makeFolder(folder));
  const std::string copy = folder + "child tool.exe";
  CHECK(CopyFileW(widen(executable()).c_str(), widen(copy).c_str(), TRUE));

  // Each argument and its quoted form in the command line.
  const std::vector<std::pair<std::string, std::string>> quoted = {
      {"plain", "plain"},
      {"two words", "\"two words\""},
      {"quote\"inside", "\"quote\\\"inside\""},
      {"trailing\\", "\"trailing\\\\\""},
      {"\xE2\x82\xAC uro", "\"\xE2\x82\xAC uro\""},
      {"", "\"\""}};
  std::vector<std::string> arguments;
  std::string line = "args";
  for (const auto& [argument, form] : quoted) {
    arguments.push_back(argument);
    line += ' ' + form;
  }
  auto child =
      makeProcessLauncher()->start(childLine(copy, line), "", CapturedStream::standardOutput);
  CHECK(child != nullptr);
  if (!child) return;
  bool piecesFull = false;
  std::string expected;
  for (const auto& argument : arguments) expected += argument + "\n";
  CHECK_EQ(collectOutput(*child, piecesFull), expected);
  CHECK_EQ(child->exitCode(), 0);
}

void processReleasesAChildWhoseOutputIsNeverRead() {
  auto child = makeProcessLauncher()->start(childLine(executable(), "out 2000000 1 0"), "",
                                            CapturedStream::standardOutput);
  CHECK(child != nullptr);
  const DWORD startedAt = GetTickCount();
  child.reset();  // must not wait forever on the full pipe
  CHECK(GetTickCount() - startedAt < 20000);
}

// ---- registry

class RegistryKey {
 public:
  explicit RegistryKey(std::wstring subKey) : subKey_(std::move(subKey)) {
    RegCreateKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key_, nullptr);
  }
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, subKey_.c_str());
  }
  void setDefault(DWORD type, const std::wstring& text, bool withZero = true) {
    const auto bytes = static_cast<DWORD>((text.size() + (withZero ? 1 : 0)) * sizeof(wchar_t));
    RegSetValueExW(key_, nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
  }

 private:
  std::wstring subKey_;
  HKEY key_ = nullptr;
};

void registryReadsTheDefaultValueOfTheKey() {
  const std::string subKey = "Software\\brisko-platform-test-" +
                             std::to_string(GetCurrentProcessId()) + "\\shell\\open\\command";
  CHECK(!readRegistryDefaultValue(RegistryRoot::currentUser, subKey));

  RegistryKey key(widen(subKey));
  CHECK(!readRegistryDefaultValue(RegistryRoot::currentUser, subKey));  // no default value yet
  const std::string command = "\"C:\\Programme\\PureBasic \xC3\xA4\\PureBasic.exe\" \"%1\"";
  key.setDefault(REG_SZ, widen(command));
  CHECK_EQ(readRegistryDefaultValue(RegistryRoot::currentUser, subKey).value_or(""), command);
  CHECK(!readRegistryDefaultValue(RegistryRoot::localMachine, subKey));

  // The type is ignored, and the text ends at its first zero or at the end of the data.
  key.setDefault(REG_EXPAND_SZ, std::wstring(L"first") + L'\0' + L"second");
  CHECK_EQ(readRegistryDefaultValue(RegistryRoot::currentUser, subKey).value_or(""),
           std::string("first"));
  key.setDefault(REG_BINARY, L"no zero", false);
  CHECK_EQ(readRegistryDefaultValue(RegistryRoot::currentUser, subKey).value_or(""),
           std::string("no zero"));

  // 511 characters and the zero fill the 1,024-byte buffer; one more cannot be read.
  key.setDefault(REG_SZ, std::wstring(511, L'x'));
  CHECK_EQ(readRegistryDefaultValue(RegistryRoot::currentUser, subKey).value_or(""),
           std::string(511, 'x'));
  key.setDefault(REG_SZ, std::wstring(512, L'x'));
  CHECK(!readRegistryDefaultValue(RegistryRoot::currentUser, subKey));
}

void versionClassIsThatOfAnNt6OrLaterSystem() {
  const int versionClass = windowsVersionClass();
  std::printf("  version class: %d\n", versionClass);
  CHECK(versionClass == 70 || versionClass == 75 || versionClass == 100);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = programArguments(argc, argv);
  if (!arguments.empty() && arguments.front() == "--child") return runChild(arguments);

  const std::vector<TestCase> tests = {
      {"file system writes, reads and measures files", fileSystemWritesReadsAndMeasuresFiles},
      {"file system moves, deletes and makes folders", fileSystemMovesDeletesAndMakesFolders},
      {"file system lists folders with Unicode names", fileSystemListsFoldersWithUnicodeNames},
      {"environment reads variables and the executable", environmentReadsVariablesAndTheExecutable},
      {"temporary folder is the user's own long path", tempFolderIsTheUsersOwnLongPath},
      {"clock gives the local date and time", clockGivesTheLocalDateAndTime},
      {"process captures standard output in full pieces",
       processCapturesStandardOutputInFullPieces},
      {"process drains a child that writes much to standard error",
       processDrainsAChildThatWritesMuchToStandardError},
      {"process gives the child our standard error and no standard output",
       processGivesTheChildOurErrorsAndNoOutput},
      {"process runs in the working folder and fails without it",
       processRunsInTheWorkingFolderAndFailsWithoutIt},
      {"process passes the command line as given", processPassesTheCommandLineAsGiven},
      {"process releases a child whose output is never read",
       processReleasesAChildWhoseOutputIsNeverRead},
      {"registry reads the default value of the key", registryReadsTheDefaultValueOfTheKey},
      {"version class is that of an NT 6 or later system", versionClassIsThatOfAnNt6OrLaterSystem},
  };
  brisko::wine_checks::runTests(tests);
  return brisko::wine_checks::summary();
}
