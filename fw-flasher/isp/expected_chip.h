// Sets a link up for the chip a download expects: its protocol and baud
// generator variants, its id (also as every alternative id) and its name.
#pragma once

#include "isp/link/isp_link.h"
#include "target/chips/chip_table.h"

namespace fw {

void ExpectChip(IspLink& link, const ChipRecord& record);

}  // namespace fw
