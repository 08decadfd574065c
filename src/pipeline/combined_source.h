// The combined source of a library built in this run, assembled in one FASM run and cut into
// the members: every member's part in sections of its own. The procedures' parts are streamed
// into a file of the object folder while the split writes them, so the text of a large program
// is never held in memory whole; the main file, written once every declaration is known, holds
// the header, the extrn lines and the data part and includes the procedures' file after it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pipeline/generated_source.h"
#include "platform/file_system.h"

namespace brisko::pipeline {

class CombinedSource {
 public:
  // Creates the procedures' file "<base>_briskoProcedures.asm" in the folder (made when
  // missing), to be stored in the listing's encoding. Without it the library's sources are
  // assembled one by one.
  void start(platform::FileSystem& files, const std::string& folder, const std::string& baseName,
             const Listing& listing);
  // True while every part so far is stored.
  bool active() const { return procedures_ != nullptr && !failed_; }

  void addProcedure(std::string_view fragment);
  void setData(std::string_view fragment) { data_ = fragment; }

  // Stores the rest of the procedures' part and writes "<base>_briskoCombined.asm": the head
  // (header block, format and extrn lines), the data part, the include of the procedures'
  // file. The main file's path, or nothing when a file could not be stored.
  std::optional<std::string> finish(std::string_view head);

  // Deletes both files; what a run leaves of them goes too.
  void discard();

 private:
  void flush();

  platform::FileSystem* files_ = nullptr;
  std::string folder_;
  std::string baseName_;
  SourceEncoding encoding_;
  std::unique_ptr<platform::OutputFile> procedures_;
  std::string pending_;  // procedures' text not yet stored
  bool firstPiece_ = true;
  bool failed_ = false;
  std::string data_;
};

}  // namespace brisko::pipeline
