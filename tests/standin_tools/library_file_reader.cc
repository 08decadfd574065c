#include "library_file_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace brisko::standin_test {
namespace {

bool bytesAt(const Bytes& d, std::size_t at, const char* text) {
  const std::size_t n = std::strlen(text);
  return at + n <= d.size() && std::memcmp(d.data() + at, text, n) == 0;
}

// Moves the cursor past a NUL-terminated string; returns the string.
std::string takeString(const Bytes& d, std::size_t& cur) {
  std::string s;
  while (cur < d.size() && d[cur] != 0) s += static_cast<char>(d[cur++]);
  ++cur;
  return s;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool excluded(const std::string& name, const std::string& fileName) {
  const std::string u = upper(name);
  return u.ends_with("_END") || u.ends_with("_INIT") || u == upper("INIT" + fileName) ||
         u == upper("END" + fileName);
}

std::string tokenFor(std::uint8_t code, const std::string& previous) {
  switch (code) {
    case 1:
    case 2:
    case 4:
    case 0x41:
    case 0x43:
    case 0x44:
      return "a";
    case 8:
      return "a()";
    case 0x20:
      return "b()";
    case 0x40:
      return "a$";
    default:
      return previous;
  }
}

}  // namespace

PureLibraryView readPureLibraryFile(const Bytes& d, const std::string& fileName) {
  PureLibraryView view;
  view.signatures = bytesAt(d, 0, "ERUP") && bytesAt(d, 8, "3BIL") && bytesAt(d, 16, "LIB3");
  if (!view.signatures) return view;
  std::size_t cur = 20;
  takeString(d, cur);
  ++cur;
  if (cur >= d.size()) return view;
  const auto first = static_cast<std::int8_t>(d[cur++]);
  for (int i = 0; i < first; ++i) takeString(d, cur);
  if (first != 0) ++cur;
  takeString(d, cur);
  if (cur >= d.size()) return view;
  const auto second = static_cast<std::int8_t>(d[cur++]);
  for (int i = 0; i < second; ++i) takeString(d, cur);
  if (cur >= d.size()) return view;

  std::string previousToken;
  while (cur < d.size()) {
    if (bytesAt(d, cur, "ERUP") || bytesAt(d, cur + 8, "1TAD")) {
      view.markerAt = cur;
      break;
    }
    const std::string name = takeString(d, cur);
    const std::size_t countAt = cur;
    if (countAt >= d.size()) break;
    const std::uint8_t k = d[cur++];
    std::string parameters;
    const bool skip = excluded(name, fileName);
    for (std::uint8_t i = 0; i < k && cur < d.size(); ++i, ++cur) {
      if (skip) continue;
      previousToken = tokenFor(d[cur], previousToken);
      parameters += (i ? ", " : "") + previousToken;
    }
    cur += 4;
    while (cur < d.size() && d[cur] == 0) ++cur;
    if (cur < d.size() && d[cur] == '(') takeString(d, cur);
    view.entryNames.push_back(name);
    auto byteAt = [&d](std::size_t at) { return at < d.size() ? d[at] : 0; };
    if (!skip && (k != 0 || byteAt(countAt + 3) != 0 || byteAt(countAt + 5) != 0)) {
      view.functions.push_back({name, "(" + parameters + ")", 0});
    }
  }
  return view;
}

std::optional<std::vector<CataloguedFunction>> readWindowsFile(const Bytes& d,
                                                               const std::string& fileName) {
  if (!bytesAt(d, 0, "ERUPLLDE")) return std::nullopt;
  std::vector<CataloguedFunction> functions;
  std::size_t cur = fileName.size() + 10;
  while (cur < d.size()) {
    CataloguedFunction f;
    f.name = takeString(d, cur);
    f.parameterCount = cur < d.size() ? static_cast<std::int8_t>(d[cur]) : 0;
    cur += 2;
    functions.push_back(f);
  }
  return functions;
}

}  // namespace brisko::standin_test
