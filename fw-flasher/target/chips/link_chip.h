// The chip record a link's identification chose, and its family's traits.
#pragma once

#include "target/chips/chip_table.h"
#include "target/chips/family_traits.h"

namespace fw {

class IspLink;

// The record at the link's chip index; the placeholder record 0 for an index
// outside the table.
const ChipRecord& ChipOf(const IspLink& link);
const FamilyTraits& TraitsOf(const IspLink& link);

}  // namespace fw
