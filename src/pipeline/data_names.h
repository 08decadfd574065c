// The names the listing's data labels carry in the generated sources, given once the
// analysis knows every procedure and exported item: in library output every label gets a
// file-unique name (the base name in front), because each source becomes a member of its own;
// in object output the labels keep their names. Labels the data-sections source takes only when
// something names them (held data, the main program's end labels) get records of their own in
// both outputs, so that the split can tell when code names them.
#pragma once

#include <vector>

#include "pipeline/conversion.h"

namespace brisko::pipeline {

// Names the data lines' labels, adding the records of local and held data to the symbol
// table, and keeps lines and names in conversion.listing for the data-sections source.
void nameDataItems(Conversion& conversion, std::vector<DataLine> lines);

}  // namespace brisko::pipeline
