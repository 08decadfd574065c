#include "language/language_loader.h"

#include <optional>
#include <string_view>
#include <vector>

#include "language/builtin_english.h"
#include "language/preferences.h"
#include "language/xml_document.h"
#include "platform/paths.h"
#include "platform/text_encoding.h"

namespace brisko::language {
namespace {

enum class FileForm { kXml, kPreferences, kUnsupported };

// The byte-order mark decides the form. The UTF-32 little-endian mark starts like the UTF-16
// one, so the four-byte marks are looked at first.
FileForm formOf(std::string_view bytes) {
  using namespace std::string_view_literals;
  if (bytes.starts_with("\xFF\xFE\x00\x00"sv) || bytes.starts_with("\x00\x00\xFE\xFF"sv)) {
    return FileForm::kUnsupported;
  }
  switch (platform::encodingOf(bytes)) {
    case platform::TextEncoding::utf8:
      // The mark followed by "<?xml": the four bytes after the "<" decide. A file that is
      // only the mark has none of them.
      return bytes.size() >= 8 && bytes.substr(4, 4) == "?xml" ? FileForm::kXml
                                                               : FileForm::kPreferences;
    case platform::TextEncoding::utf16le:
      return FileForm::kXml;
    case platform::TextEncoding::ansi:
      break;
  }
  if (bytes.starts_with("\xFE\xFF"sv)) return FileForm::kUnsupported;
  return FileForm::kPreferences;
}

// Every child of the root named "Group" contributes the texts of its children after the
// first, which must be its "Name".
bool readXmlTexts(std::string_view bytes, std::vector<std::string>& texts) {
  const std::optional<XmlElement> root = parseXml(bytes);
  if (!root) return false;
  for (const XmlElement& child : root->children) {
    if (child.name != "Group") continue;
    if (child.children.empty() || child.children.front().name != "Name") return false;
    for (std::size_t i = 1; i < child.children.size(); ++i) {
      texts.push_back(child.children[i].text);
    }
  }
  return true;
}

// Every value of every key of every group, in file order.
void readPreferenceTexts(std::string_view bytes, std::vector<std::string>& texts) {
  const Preferences preferences = Preferences::parse(bytes);
  for (const PreferenceGroup* group : preferences.namedGroups()) {
    for (const PreferenceLine& line : group->lines) {
      if (line.kind == PreferenceLine::Kind::kKey) texts.push_back(line.value);
    }
  }
}

// The texts of a language file's bytes, in either form.
bool readLanguageTexts(std::string_view bytes, LanguageTable& table) {
  std::vector<std::string> texts;
  switch (formOf(bytes)) {
    case FileForm::kXml:
      if (!readXmlTexts(bytes, texts)) return false;
      break;
    case FileForm::kPreferences:
      readPreferenceTexts(bytes, texts);
      break;
    case FileForm::kUnsupported:
      return false;
  }
  if (texts.empty()) return false;
  table = LanguageTable(std::move(texts));
  return true;
}

// The first entry whose extension (the text after the last dot) is exactly "lan", files and
// folders alike; nothing when there is none or the folder cannot be listed.
std::optional<std::string> chooseLanguageFile(const platform::FileSystem& files,
                                              const std::string& languagesFolder) {
  const auto entries = files.listFolder(languagesFolder);
  if (!entries) return std::nullopt;
  for (const platform::FolderEntry& entry : *entries) {
    if (platform::extensionOf(entry.name) == "lan") {
      return languagesFolder + entry.name;
    }
  }
  return std::nullopt;
}

}  // namespace

bool loadLanguageTable(const platform::FileSystem& files, const std::string& languagesFolder,
                       LanguageTable& table) {
  const std::optional<std::string> chosen = chooseLanguageFile(files, languagesFolder);
  if (chosen && files.exists(*chosen) && !files.isFolder(*chosen)) {
    const std::optional<std::string> bytes = files.readFile(*chosen);
    return bytes && readLanguageTexts(*bytes, table);
  }
  // No usable language file: the built-in one is read as any other file would be.
  return readLanguageTexts(builtinEnglishFile(), table);
}

void addMissingBuiltinTexts(LanguageTable& table) {
  std::vector<std::string> english;
  if (!readXmlTexts(builtinEnglishFile(), english)) return;
  for (std::size_t i = table.size(); i < english.size(); ++i) table.append(english[i]);
}

}  // namespace brisko::language
