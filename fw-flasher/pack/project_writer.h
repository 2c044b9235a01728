// Writes a project as the record container the flasher reads.
#pragma once

#include <cstdint>
#include <vector>

#include "app/project/project.h"

namespace fw {

// The unscrambled container: the magic, one record per setting in a fixed order
// (the format version first), the blocks that are present, and an end record.
// The same project always gives the same bytes.
std::vector<std::uint8_t> WriteProjectContainer(const Project& project);

}  // namespace fw
