// The names of the folders and files a conversion writes below its destination, and of the
// files it reads there: named here once.
#pragma once

#include <string>
#include <string_view>

namespace brisko::pipeline {

// The listing the compiler leaves in Source/; on systems whose names differ in case it is
// found whatever its case.
inline constexpr std::string_view kListingName = "PureBasic.asm";
inline constexpr std::string_view kDataSectionsSuffix = "_briskoDataSections";
inline constexpr std::string_view kLinkSourceSuffix = "_briskoLinkFile";
// In the object folder, while a library is assembled with one FASM run: the combined source,
// the procedures' part it includes, and the object FASM makes of it.
inline constexpr std::string_view kCombinedSourceSuffix = "_briskoCombined";
inline constexpr std::string_view kCombinedProceduresSuffix = "_briskoProcedures";
inline constexpr std::string_view kSourceFolderName = "Source";
inline constexpr std::string_view kBinFolderName = "Bin";
inline constexpr std::string_view kLogsFolderName = "Logs";
// Below Source/: where a library's objects are assembled and packed.
inline constexpr std::string_view kObjectFolderName = "briskoObjects";
inline constexpr std::string_view kLogName = "briskoLog.txt";

// The form of a file's base name that symbols carry: every character other than an ASCII
// letter, digit or "_" becomes "_" (one per character, not per byte), and a leading digit gets
// a "_" in front, so "my lib(2)" gives "my_lib_2_" and "2024" gives "_2024". FASM and
// PureBasic accept the result as part of a name.
std::string symbolFormOf(std::string_view baseName);

// The folders and files of one conversion: its destination (with its trailing separator) and
// the base name of its source file.
class OutputLayout {
 public:
  OutputLayout(std::string destination, std::string baseName);

  const std::string& destination() const { return destination_; }
  // The source file's name without its extension; files carry it.
  const std::string& baseName() const { return baseName_; }
  // The base name as symbols carry it (symbolFormOf).
  const std::string& symbolBase() const { return symbolBase_; }

  // destination + "Source", "Bin", "Logs" + separator; Source/briskoObjects/.
  std::string sourceFolder() const;
  std::string binFolder() const;
  std::string logsFolder() const;
  std::string objectFolder() const;

  // "<base>_briskoDataSections.asm" and "<base>_briskoLinkFile.asm", in Source/.
  std::string dataSectionsName() const;
  std::string linkSourceName() const;
  std::string logPath() const;
  // A file of Bin/ as the log names it, relative to Logs/: "../Bin/" + name.
  static std::string binPathFromLogs(std::string_view name);
  // A file of the object folder as the log names it: "../Source/briskoObjects/" + name.
  static std::string objectPathFromLogs(std::string_view name);

 private:
  std::string destination_;
  std::string baseName_;
  std::string symbolBase_;
};

}  // namespace brisko::pipeline
