// The chip record a link's identification chose.
#pragma once

#include "target/chips/chip_table.h"

namespace fw {

class IspLink;

// The record at the link's chip index; the placeholder record 0 for an index
// outside the table.
const ChipRecord& ChipOf(const IspLink& link);

}  // namespace fw
