#include "language/preferences.h"

#include "platform/code_pages.h"

namespace brisko::language {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kWhiteSpace = " \t";

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kWhiteSpace);
  return text.substr(first, last - first + 1);
}

// Splits at CR LF, LF or CR. A final line break does not start another line.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

}  // namespace

std::optional<std::string> PreferenceGroup::find(std::string_view key) const {
  for (const PreferenceLine& line : lines) {
    if (line.kind == PreferenceLine::Kind::kKey && line.key == key) return line.value;
  }
  return std::nullopt;
}

void PreferenceGroup::set(std::string_view key, std::string value) {
  for (PreferenceLine& line : lines) {
    if (line.kind == PreferenceLine::Kind::kKey && line.key == key) {
      line.value = std::move(value);
      return;
    }
  }
  lines.push_back({PreferenceLine::Kind::kKey, std::string(key), std::move(value)});
}

std::string encodeText(std::string_view utf8, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8:
      return std::string(utf8);
    case TextEncoding::kUtf16Le:
      return platform::utf8ToUtf16le(utf8);
    case TextEncoding::kAnsi:
      break;
  }
  return platform::utf8ToAnsi(utf8);
}

Preferences Preferences::parse(std::string_view bytes) {
  Preferences result;
  std::string text;
  if (bytes.starts_with(kUtf8Mark)) {
    result.encoding_ = TextEncoding::kUtf8;
    text = bytes.substr(kUtf8Mark.size());
  } else if (bytes.starts_with(kUtf16LeMark)) {
    result.encoding_ = TextEncoding::kUtf16Le;
    text = platform::utf16leToUtf8(bytes.substr(kUtf16LeMark.size()));
  } else {
    result.encoding_ = TextEncoding::kAnsi;
    text = platform::ansiToUtf8(bytes);
  }

  for (std::string_view raw : splitLines(text)) {
    const std::string_view line = trimmed(raw);
    PreferenceGroup& current = result.groups_.back();
    if (line.empty()) {
      current.lines.push_back({PreferenceLine::Kind::kBlank, {}, {}});
    } else if (line.front() == ';') {
      current.lines.push_back(
          {PreferenceLine::Kind::kComment, {}, std::string(trimmed(line.substr(1)))});
    } else if (line.front() == '[') {
      const std::string_view inner = line.substr(1, line.find(']') - 1);
      result.groups_.push_back({std::string(trimmed(inner)), true, {}});
    } else if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
      current.lines.push_back({PreferenceLine::Kind::kKey,
                               std::string(trimmed(line.substr(0, equals))),
                               std::string(trimmed(line.substr(equals + 1)))});
    } else {
      current.lines.push_back({PreferenceLine::Kind::kOther, {}, std::string(raw)});
    }
  }
  return result;
}

std::string Preferences::write() const {
  std::string text;
  for (const PreferenceGroup& group : groups_) {
    if (group.hasHeader) text += "[" + group.name + "]\r\n";
    for (const PreferenceLine& line : group.lines) {
      switch (line.kind) {
        case PreferenceLine::Kind::kKey:
          text += line.key + " = " + line.value;
          break;
        case PreferenceLine::Kind::kComment:
          text += "; " + line.value;
          break;
        case PreferenceLine::Kind::kBlank:
          break;
        case PreferenceLine::Kind::kOther:
          text += line.value;
          break;
      }
      text += "\r\n";
    }
  }
  switch (encoding_) {
    case TextEncoding::kUtf8:
      return std::string(kUtf8Mark) + text;
    case TextEncoding::kUtf16Le:
      return std::string(kUtf16LeMark) + encodeText(text, encoding_);
    case TextEncoding::kAnsi:
      break;
  }
  return encodeText(text, encoding_);
}

std::vector<const PreferenceGroup*> Preferences::namedGroups() const {
  std::vector<const PreferenceGroup*> named;
  for (const PreferenceGroup& group : groups_) {
    if (group.hasHeader) named.push_back(&group);
  }
  return named;
}

PreferenceGroup* Preferences::findGroup(std::string_view name) {
  for (PreferenceGroup& group : groups_) {
    if (group.hasHeader && group.name == name) return &group;
  }
  return nullptr;
}

const PreferenceGroup* Preferences::findGroup(std::string_view name) const {
  return const_cast<Preferences*>(this)->findGroup(name);
}

PreferenceGroup& Preferences::group(std::string_view name) {
  if (PreferenceGroup* found = findGroup(name)) return *found;
  return groups_.emplace_back(PreferenceGroup{std::string(name), true, {}});
}

}  // namespace brisko::language
