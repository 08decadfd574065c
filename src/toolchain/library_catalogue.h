// The functions the installed PureBasic libraries and the Windows descriptor files offer, read
// once at start-up from the installation's library folders. The wrapper writer looks external
// symbols up here to write the dummy calls that make the PureBasic linker pull in libraries.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/feedback.h"
#include "language/text_ids.h"
#include "platform/file_system.h"

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

// Where the scan reports progress: "Scanning " + file name as status detail, and a poll of the
// user interface before each folder entry.
struct CatalogueScan {
  const platform::FileSystem& files;
  app::Feedback& feedback;
  app::WindowServices& window;
};

// Reads PureLibraries/, PureLibraries/UserLibraries/ and PureLibraries/Windows/ below pbFolder
// (which ends with a separator), sorts the functions and collects the .lib names of Compilers/.
// Returns nothing, or functionLists when a library file cannot be read, is empty, or a file of
// the Windows folder is no descriptor file; the scan stops there, and the caller reports it.
// Missing folders are skipped.
std::optional<language::TextId> buildLibraryCatalogue(const CatalogueScan& scan,
                                                      const std::string& pbFolder,
                                                      LibraryCatalogue& catalogue);

// One PureBasic library file: nothing (also for a file without the signatures, which is
// ignored) or functionLists.
std::optional<language::TextId> readPureLibrary(const platform::FileSystem& files,
                                                const std::string& path,
                                                LibraryCatalogue& catalogue);
// One Windows descriptor file: nothing or functionLists.
std::optional<language::TextId> readWindowsLibrary(const platform::FileSystem& files,
                                                   const std::string& path,
                                                   LibraryCatalogue& catalogue);

// The parsers behind the two readers, on bytes already read; path names the file (its file
// part matters to both formats). They never read outside data. The Windows parser returns
// functionLists for data without the descriptor signature (and adds nothing), otherwise
// nothing.
void parsePureLibrary(std::string_view data, const std::string& path, LibraryCatalogue& catalogue);
std::optional<language::TextId> parseWindowsLibrary(std::string_view data, const std::string& path,
                                                    LibraryCatalogue& catalogue);

}  // namespace brisko::toolchain
