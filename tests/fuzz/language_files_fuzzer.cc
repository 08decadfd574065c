// Language and preferences files from arbitrary bytes: the bytes as the installed language
// file (its mark picks the XML or the preferences form), as an XML document and as a
// preferences file. A preferences file that is written back and read again must give the
// same groups and lines, as the IDE's tools file is rewritten in place.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "language/language_loader.h"
#include "language/language_table.h"
#include "language/preferences.h"
#include "language/xml_document.h"
#include "memory_file_system.h"

namespace {

using namespace brisko::language;

bool sameLines(const PreferenceGroup& a, const PreferenceGroup& b) {
  if (a.name != b.name || a.hasHeader != b.hasHeader || a.lines.size() != b.lines.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.lines.size(); ++i) {
    const PreferenceLine& x = a.lines[i];
    const PreferenceLine& y = b.lines[i];
    if (x.kind != y.kind || x.key != y.key || x.value != y.value) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  brisko::platform::MemoryFileSystem files;
  files.addFile("/program/languages/Fuzz.lan", std::string(bytes));
  LanguageTable table;
  if (loadLanguageTable(files, "/program/languages/", table)) {
    for (std::size_t i = 0; i <= table.size(); ++i) table.text(static_cast<TextId>(i));
  }

  std::string error;
  parseXml(bytes, &error);

  const Preferences first = Preferences::parse(bytes);
  first.namedGroups();
  const Preferences second = Preferences::parse(first.write());
  // Rewriting may give a text that begins with a byte-order mark by chance (a key of "ÿþ" in
  // an ANSI file) and so is read in another encoding; only same-encoding reads must agree.
  if (second.encoding() != first.encoding()) return 0;
  if (second.groups().size() != first.groups().size()) std::abort();
  for (std::size_t g = 0; g < first.groups().size(); ++g) {
    if (!sameLines(first.groups()[g], second.groups()[g])) std::abort();
  }
  return 0;
}
