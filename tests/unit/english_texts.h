// The built-in English texts, loaded once for tests that check exact messages.
#pragma once

#include "language/language_loader.h"
#include "language/language_table.h"
#include "memory_file_system.h"

namespace brisko::testing {

inline const language::LanguageTable& englishTexts() {
  static const language::LanguageTable table = [] {
    const platform::MemoryFileSystem files;
    language::LanguageTable loaded;
    language::loadLanguageTable(files, "/nowhere/languages/", loaded);
    return loaded;
  }();
  return table;
}

}  // namespace brisko::testing
