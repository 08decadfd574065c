// The functions the installed PureBasic libraries and the Windows descriptor files offer, read
// once at start-up from the installation's library folders (catalogue_scan, with the file
// readers pure_library_file and windows_library_file). The wrapper writer looks external
// symbols up here to write the dummy calls that make the PureBasic linker pull in libraries.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace brisko::toolchain {

struct LibraryRecord {
  std::string path;  // the library file as scanned (folder + file name)
  bool isPureLibrary = false;
};

struct LibraryFunction {
  const LibraryRecord* library = nullptr;
  std::string name;               // UTF-8, decoded from the file's ANSI bytes
  std::string parameterTemplate;  // PureBasic libraries: "(a, a$)", "()" ...
  int parameterCount = 0;         // Windows libraries
};

// Records are only appended (and the function list sorted once), so the references that
// functions hold to their library stay valid.
class LibraryCatalogue {
 public:
  const std::deque<LibraryRecord>& libraries() const { return libraries_; }
  const std::vector<LibraryFunction>& functions() const { return functions_; }
  // The *.lib files of the Compilers folder, each followed by ",".
  const std::string& compilerLibraryNames() const { return compilerLibraryNames_; }

  LibraryRecord& addLibrary(std::string path, bool isPureLibrary);
  void addFunction(LibraryFunction function);
  void addCompilerLibrary(std::string_view name);
  // Sorts the functions by name without regard to case; equal names keep their scan order.
  void sortFunctions();

  // The first function in list order of a library of the given kind whose name equals name
  // exactly; nullptr when there is none. Answered from an index, with the same result as a
  // walk of the list from its start.
  const LibraryFunction* findLibraryFunction(std::string_view name, bool isPureLibrary) const;

 private:
  struct FirstMatches {
    std::size_t pure = kNone;
    std::size_t windows = kNone;
  };
  static constexpr std::size_t kNone = ~std::size_t{0};
  // Lets the index be searched with a string_view.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
      return std::hash<std::string_view>{}(name);
    }
  };
  void rebuildIndex();
  // Records functions_[at] as the first of its name and kind unless an earlier one is.
  void indexFunction(std::size_t at);

  std::deque<LibraryRecord> libraries_;
  std::vector<LibraryFunction> functions_;
  std::string compilerLibraryNames_;
  std::unordered_map<std::string, FirstMatches, NameHash, std::equal_to<>> index_;
};

}  // namespace brisko::toolchain
