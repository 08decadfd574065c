#include "language/builtin_english.h"

#include <cstddef>

namespace brisko::resources {
extern const unsigned char kBuiltinEnglishFile[];
extern const std::size_t kBuiltinEnglishFileSize;
}  // namespace brisko::resources

namespace brisko::language {

std::string_view builtinEnglishFile() {
  return {reinterpret_cast<const char*>(resources::kBuiltinEnglishFile),
          resources::kBuiltinEnglishFileSize};
}

}  // namespace brisko::language
