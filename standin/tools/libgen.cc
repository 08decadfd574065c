// Writes the library files of the stand-in installation from their description:
//
//   standin_libgen <description file> <installation folder>
//
// Fills <folder>/PureLibraries, PureLibraries/UserLibraries, PureLibraries/Windows and
// Compilers. These folders belong to the generator: files in them that the description does
// not name (left from an earlier description) are removed, sub-folders are left alone.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <system_error>

#include "library_files.h"

namespace fs = std::filesystem;
using namespace brisko::standin;

namespace {

bool writeFile(const fs::path& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) std::cerr << "standin_libgen: cannot write " << path.string() << "\n";
  return static_cast<bool>(out);
}

void removeStaleFiles(const fs::path& folder, const std::set<std::string>& keep) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::error_code typeError;
    if (entry.is_regular_file(typeError) && !keep.count(entry.path().filename().string())) {
      fs::remove(entry.path(), typeError);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: standin_libgen <description file> <installation folder>\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "standin_libgen: cannot open " << argv[1] << "\n";
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LibraryDescription description;
  std::string error;
  if (!parseDescription(text, description, error)) {
    std::cerr << argv[1] << ": " << error << "\n";
    return 1;
  }

  const fs::path root = argv[2];
  const fs::path pure = root / "PureLibraries";
  const fs::path user = pure / "UserLibraries";
  const fs::path windows = pure / "Windows";
  const fs::path compilers = root / "Compilers";
  std::error_code ec;
  for (const fs::path& folder : {pure, user, windows, compilers}) {
    fs::create_directories(folder, ec);
    if (ec) {
      std::cerr << "standin_libgen: cannot create " << folder.string() << "\n";
      return 1;
    }
  }

  std::set<std::string> pureFiles, userFiles, windowsFiles, archiveFiles;
  bool ok = true;
  for (const PureLibrary& library : description.pureLibraries) {
    ok &= writeFile((library.userLibrary ? user : pure) / library.fileName,
                    encodePureLibrary(library));
    (library.userLibrary ? userFiles : pureFiles).insert(library.fileName);
  }
  for (const WindowsLibrary& library : description.windowsLibraries) {
    ok &= writeFile(windows / library.fileName, encodeWindowsLibrary(library));
    windowsFiles.insert(library.fileName);
  }
  for (const CompilerArchive& archive : description.archives) {
    ok &= writeFile(compilers / archive.fileName, encodeCompilerArchive(archive));
    archiveFiles.insert(archive.fileName);
  }
  removeStaleFiles(pure, pureFiles);
  removeStaleFiles(user, userFiles);
  removeStaleFiles(windows, windowsFiles);
  removeStaleFiles(compilers, archiveFiles);
  return ok ? 0 : 1;
}
