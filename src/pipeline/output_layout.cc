#include "pipeline/output_layout.h"

#include "platform/paths.h"

namespace brisko::pipeline {
namespace {

std::string folder(std::string_view parent, std::string_view name) {
  std::string path(parent);
  path += name;
  path += platform::kPathSeparator;
  return path;
}

}  // namespace

std::string symbolFormOf(std::string_view baseName) {
  std::string form;
  form.reserve(baseName.size() + 1);
  for (std::size_t i = 0; i < baseName.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(baseName[i]);
    const bool kept =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (kept) {
      form += static_cast<char>(c);
    } else if ((c & 0xC0) != 0x80) {
      form += '_';  // the lead byte of a character; its continuation bytes are dropped
    }
  }
  if (!form.empty() && form[0] >= '0' && form[0] <= '9') form.insert(form.begin(), '_');
  return form;
}

OutputLayout::OutputLayout(std::string destination, std::string baseName)
    : destination_(std::move(destination)),
      baseName_(std::move(baseName)),
      symbolBase_(symbolFormOf(baseName_)) {}

std::string OutputLayout::sourceFolder() const {
  return folder(destination_, kSourceFolderName);
}

std::string OutputLayout::binFolder() const {
  return folder(destination_, kBinFolderName);
}

std::string OutputLayout::logsFolder() const {
  return folder(destination_, kLogsFolderName);
}

std::string OutputLayout::objectFolder() const {
  return folder(sourceFolder(), kObjectFolderName);
}

std::string OutputLayout::dataSectionsName() const {
  return baseName_ + std::string(kDataSectionsSuffix) + ".asm";
}

std::string OutputLayout::linkSourceName() const {
  return baseName_ + std::string(kLinkSourceSuffix) + ".asm";
}

std::string OutputLayout::logPath() const {
  return logsFolder() + std::string(kLogName);
}

std::string OutputLayout::binPathFromLogs(std::string_view name) {
  std::string parent("..");
  parent += platform::kPathSeparator;
  return folder(parent, kBinFolderName) + std::string(name);
}

std::string OutputLayout::objectPathFromLogs(std::string_view name) {
  std::string parent("..");
  parent += platform::kPathSeparator;
  return folder(folder(parent, kSourceFolderName), kObjectFolderName) + std::string(name);
}

}  // namespace brisko::pipeline
