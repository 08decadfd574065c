#include "language/preferences.h"

#include "platform/code_pages.h"
#include "platform/text_encoding.h"

namespace brisko::language {
namespace {

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

Preferences Preferences::parse(std::string_view bytes) {
  Preferences result;
  result.encoding_ = platform::encodingOf(bytes);
  const std::string_view content = platform::withoutByteOrderMark(bytes);
  std::string text;
  switch (result.encoding_) {
    case platform::TextEncoding::utf8:
      text = content;
      break;
    case platform::TextEncoding::utf16le:
      text = platform::utf16leToUtf8(content);
      break;
    case platform::TextEncoding::ansi:
      text = platform::ansiToUtf8(content);
      break;
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
  return std::string(platform::byteOrderMark(encoding_)) + platform::encodeText(text, encoding_);
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
