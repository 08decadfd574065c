#include "source_text.h"

#include <cctype>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "compiler_directives.h"
#include "parser.h"

namespace standin {
namespace {

// Deep enough for any sensible program; stops an IncludeFile that includes itself.
constexpr int kMaxIncludeDepth = 16;

struct IncludeStatement {
  bool once = false;  // XIncludeFile
  std::string path;
};

bool isNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

// The include statement a line holds, if it begins with one. Throws a CompileError (line 0,
// for the caller to fill in) when the keyword is not followed by a quoted file name.
std::optional<IncludeStatement> includeStatement(const std::string& line) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return std::nullopt;
  std::size_t end = start;
  while (end < line.size() && isNameChar(line[end])) ++end;
  const std::string keyword = lowerCase(line.substr(start, end - start));
  if (keyword != "includefile" && keyword != "xincludefile") return std::nullopt;
  IncludeStatement statement;
  statement.once = keyword == "xincludefile";
  const std::size_t open = line.find_first_not_of(" \t", end);
  const std::size_t close =
      open == std::string::npos || line[open] != '"' ? std::string::npos : line.find('"', open + 1);
  const std::size_t rest =
      close == std::string::npos ? close : line.find_first_not_of(" \t", close + 1);
  if (close == std::string::npos || close == open + 1 ||
      (rest != std::string::npos && line[rest] != ';')) {
    throw CompileError{0, line.substr(start, end - start) +
                              " needs a file name in double quotes and nothing after it."};
  }
  statement.path = line.substr(open + 1, close - open - 1);
  return statement;
}

class Reader {
 public:
  explicit Reader(const std::map<std::string, std::int64_t>& builtins) : directives_(builtins) {}

  SourceText text;

  void read(const std::string& source, const std::filesystem::path& folder,
            const LineOrigin* includedFrom, const std::string& fileName, int depth) {
    const std::vector<std::string> lines = splitSourceLines(source);
    const std::size_t outerBlocks = directives_.beginFile();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      LineOrigin origin;
      origin.mainLine = includedFrom != nullptr ? includedFrom->mainLine : static_cast<int>(i + 1);
      origin.file = fileName;
      origin.fileLine = static_cast<int>(i + 1);
      text.lines.push_back(lines[i]);
      text.origins.push_back(origin);
      const int combinedLine = static_cast<int>(text.lines.size());
      const LineRole role = directives_.take(lines[i], combinedLine);
      if (role != LineRole::compiled) {
        // The listing copies only the lines that are compiled, and the directives around them.
        if (role == LineRole::skipped) text.lines.back().clear();
        text.codeLines.emplace_back();
        continue;
      }
      std::optional<IncludeStatement> statement;
      try {
        statement = includeStatement(lines[i]);
      } catch (const CompileError& error) {
        text.codeLines.push_back(lines[i]);
        throw CompileError{combinedLine, error.message};
      }
      text.codeLines.push_back(statement ? "" : lines[i]);
      if (statement) include(*statement, folder, origin, combinedLine, depth);
    }
    directives_.endFile(outerBlocks);
  }

 private:
  void include(const IncludeStatement& statement, const std::filesystem::path& folder,
               const LineOrigin& origin, int combinedLine, int depth) {
    std::filesystem::path path = statement.path;
    if (path.is_relative()) path = folder / path;
    std::error_code error;
    const std::filesystem::path identity = std::filesystem::weakly_canonical(path, error);
    const bool seen = !included_.insert(error ? path : identity).second;
    if (statement.once && seen) return;
    if (depth >= kMaxIncludeDepth) {
      throw CompileError{combinedLine, "Included files are nested too deeply."};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      throw CompileError{combinedLine, "The file cannot be opened (" + statement.path + ")."};
    }
    std::ostringstream content;
    content << in.rdbuf();
    read(content.str(), path.parent_path(), &origin, statement.path, depth + 1);
  }

  std::set<std::filesystem::path> included_;
  CompilerDirectives directives_;
};

}  // namespace

SourceText readSourceText(const std::string& source, const std::filesystem::path& folder,
                          const std::map<std::string, std::int64_t>& builtins) {
  Reader reader(builtins);
  try {
    reader.read(source, folder, nullptr, "", 0);
  } catch (const CompileError& error) {
    throw locateError(reader.text, error);
  }
  return std::move(reader.text);
}

CompileError locateError(const SourceText& text, const CompileError& error) {
  if (error.line < 1 || error.line > static_cast<int>(text.origins.size())) {
    return {text.origins.empty() ? 1 : text.origins.back().mainLine, error.message};
  }
  const LineOrigin& origin = text.origins[static_cast<std::size_t>(error.line - 1)];
  if (origin.file.empty()) return {origin.mainLine, error.message};
  return {origin.mainLine,
          error.message + " (" + origin.file + ", line " + std::to_string(origin.fileLine) + ")"};
}

}  // namespace standin
