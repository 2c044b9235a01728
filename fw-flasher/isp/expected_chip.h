// The chip a download expects, from its chip record: its protocol and baud
// generator variants, its id (also as every alternative id) and its name.
#pragma once

#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"

namespace fw {

// The chip index is the caller's to set.
ExpectedChip ExpectedChipOf(const ChipRecord& record);

// The link, already re-initialised, expects the record's chip from now on; its
// chip index stays.
void ExpectChip(IspLink& link, const ChipRecord& record);

}  // namespace fw
