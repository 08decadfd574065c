// The built-in English language file, byte for byte as it is written out when no language
// file is installed.
#pragma once

#include <string_view>

namespace brisko::language {

std::string_view builtinEnglishFile();

}  // namespace brisko::language
