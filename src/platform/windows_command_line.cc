#include "platform/windows_command_line.h"

namespace brisko::platform {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> splitWindowsCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  std::size_t pos = 0;
  const std::size_t n = line.size();

  // The program name: no backslash processing.
  std::string program;
  if (n > 0 && line[0] == '"') {
    const auto close = line.find('"', 1);
    program = std::string(line.substr(1, close == std::string_view::npos ? close : close - 1));
    pos = close == std::string_view::npos ? n : close + 1;
  }
  while (pos < n && !isBlank(line[pos])) program += line[pos++];
  if (n == 0) return arguments;
  arguments.push_back(program);

  for (;;) {
    while (pos < n && isBlank(line[pos])) ++pos;
    if (pos >= n) break;
    std::string argument;
    bool quoted = false;
    while (pos < n) {
      const char c = line[pos];
      if (!quoted && isBlank(c)) break;
      if (c == '\\') {
        std::size_t count = 0;
        while (pos < n && line[pos] == '\\') {
          ++count;
          ++pos;
        }
        if (pos < n && line[pos] == '"') {
          argument.append(count / 2, '\\');
          if (count % 2 == 1) {
            argument += '"';
            ++pos;
          }
          // An even count leaves the quote to be handled as a toggle below.
        } else {
          argument.append(count, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && pos + 1 < n && line[pos + 1] == '"') {
          argument += '"';
          pos += 2;
          continue;
        }
        quoted = !quoted;
        ++pos;
        continue;
      }
      argument += c;
      ++pos;
    }
    arguments.push_back(argument);
  }
  return arguments;
}

}  // namespace brisko::platform
