// Loading the language texts at start-up: the first ".lan" file of the languages folder, or
// the built-in English file when there is none.
#pragma once

#include <string>

#include "language/language_table.h"
#include "platform/file_system.h"

namespace brisko::language {

// languagesFolder: the "languages" folder beside the executable, with its trailing
// separator. The built-in file is read from memory; nothing is written. Fills table and
// returns true on success; on failure the table's content is unspecified.
bool loadLanguageTable(const platform::FileSystem& files, const std::string& languagesFolder,
                       LanguageTable& table);

// A translation made before texts were added holds fewer texts than the built-in file: the
// texts after its last one are taken from the built-in English file.
void addMissingBuiltinTexts(LanguageTable& table);

}  // namespace brisko::language
