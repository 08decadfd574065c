#include "language/language_loader.h"

namespace brisko::language {

bool loadLanguageTable(platform::FileSystem& files, const std::string& languagesFolder,
                       const std::string& tempFolder, LanguageTable& table) {
  (void)files;
  (void)languagesFolder;
  (void)tempFolder;
  table.clear();
  return false;
}

}  // namespace brisko::language
