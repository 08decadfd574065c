// The wrapper's Import lines: the PureBasic declaration of an exported procedure, array, list or
// variable, formed from what the analysis recorded of its source line.
#pragma once

#include <string>

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// The declaration of the record's item, or an empty text when the analysis recorded none.
// Procedures: the name, the return type, the parameters as the source writes them with the
// default type added to each untyped one that is no string, and ` As "name"`. Arrays and lists:
// the pointer form `name_arrayPTR As "name"` (`_stringarrayPTR`, without the "$", for string
// arrays). Variables: the name with its type (or the default type; none for strings) and
// ` AS "name"`.
std::string wrapperDeclaration(const SymbolRecord& record);

}  // namespace brisko::pipeline
