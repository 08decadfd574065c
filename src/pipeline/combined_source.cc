#include "pipeline/combined_source.h"

#include "pipeline/output_layout.h"

namespace brisko::pipeline {
namespace {

// The procedures' text is stored in pieces of about this size.
constexpr std::size_t kPieceSize = std::size_t{1} << 20;

std::string proceduresName(const std::string& baseName) {
  return baseName + std::string(kCombinedProceduresSuffix) + ".asm";
}

std::string mainName(const std::string& baseName) {
  return baseName + std::string(kCombinedSourceSuffix) + ".asm";
}

}  // namespace

void CombinedSource::start(platform::FileSystem& files, const std::string& folder,
                           const std::string& baseName, const Listing& listing) {
  files_ = &files;
  folder_ = folder;
  baseName_ = baseName;
  encoding_ = sourceEncodingOf(listing);
  files.makeFolders(folder);
  procedures_ = files.createFile(folder + proceduresName(baseName));
}

void CombinedSource::addProcedure(std::string_view fragment) {
  if (!active()) return;
  pending_.append(fragment);
  if (pending_.size() >= kPieceSize) flush();
}

void CombinedSource::flush() {
  if (!active() || (pending_.empty() && !firstPiece_)) return;
  if (!procedures_->write(encodedPiece(pending_, encoding_, firstPiece_))) failed_ = true;
  firstPiece_ = false;
  pending_.clear();
}

std::optional<std::string> CombinedSource::finish(std::string_view head) {
  flush();
  if (!active() || !procedures_->close()) {
    failed_ = true;
    return std::nullopt;
  }
  SourceText text;
  text.append(head);
  text.append(data_);
  text.line("include \"" + proceduresName(baseName_) + "\"");
  data_ = std::string();
  const std::string path = folder_ + mainName(baseName_);
  if (!files_->writeFile(path, encodedPiece(text.text(), encoding_, true))) {
    failed_ = true;
    return std::nullopt;
  }
  return path;
}

void CombinedSource::discard() {
  if (files_ == nullptr) return;
  procedures_.reset();
  files_->deleteFile(folder_ + proceduresName(baseName_));
  files_->deleteFile(folder_ + mainName(baseName_));
  files_ = nullptr;
  pending_ = std::string();
  data_ = std::string();
}

}  // namespace brisko::pipeline
