// JSON text read for the project description: a key given twice in one object
// is refused rather than left to the parser to choose one of the two.
#pragma once

#include <istream>

#include "pack/json_fields.h"

namespace fw {

// Throws FieldError naming the first key that appears twice in its object (as
// FieldReader names fields: "texts.title", "serial_numbers[1].length"), and
// Json::parse_error for text that is no JSON.
Json ParseJsonWithUniqueKeys(std::istream& in);

}  // namespace fw
