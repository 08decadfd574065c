#include "platform/paths.h"

namespace brisko::platform {

std::string folderPart(std::string_view path) {
  const auto last = path.find_last_of("\\/");
  if (last == std::string_view::npos) return {};
  return std::string(path.substr(0, last + 1));
}

std::string filePart(std::string_view path) {
  const auto last = path.find_last_of("\\/");
  if (last == std::string_view::npos) return std::string(path);
  return std::string(path.substr(last + 1));
}

namespace {

// Where the extension's dot stands in a path; npos when its file part has no dot.
std::size_t extensionDot(std::string_view path) {
  const auto dot = path.rfind('.');
  const auto last = path.find_last_of("\\/");
  if (dot == std::string_view::npos || (last != std::string_view::npos && dot < last)) {
    return std::string_view::npos;
  }
  return dot;
}

}  // namespace

std::string_view extensionOf(std::string_view path) {
  const std::size_t dot = extensionDot(path);
  return dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
}

std::string_view withoutExtension(std::string_view path) {
  return path.substr(0, extensionDot(path));
}

std::string withTrailingSeparator(std::string_view folder) {
  std::string result(folder);
  if (!result.empty() && !isPathSeparator(result.back())) result += kPathSeparator;
  return result;
}

std::string absolutePath(std::string_view path, std::string_view folder) {
  if (path.empty() || isAbsolutePath(path)) return std::string(path);
  return std::string(folder) + std::string(path);
}

std::string nativeSeparators(std::string_view path) {
  std::string result(path);
  for (char& c : result) {
    if (isPathSeparator(c)) c = kPathSeparator;
  }
  return result;
}

}  // namespace brisko::platform
