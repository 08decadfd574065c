// The built-in English language file, byte for byte as src/resources/English.lan holds it
// (the file the Windows package ships as the starting point for translations); it is loaded
// when no language file is installed.
#pragma once

#include <string_view>

namespace brisko::language {

std::string_view builtinEnglishFile();

}  // namespace brisko::language
