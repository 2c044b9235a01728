// Where a download stops programming an image, by the chip's record: what lies
// at or above that address is left out of the chip.
#pragma once

#include <cstdint>
#include <optional>

#include "target/chips/chip_table.h"

namespace fw {

// Chips whose boot loader, unless it is option-capable, programs only the
// total size less 3,072 bytes (the serial flow's top reserve flag).
bool HasTopReserve(const ChipRecord& record);

// The lowest address from which a download may leave the image out: code size
// less the tail reserve for chips with flags bit 2, total size less 3,072 for
// chips with a top reserve. Empty when no cut applies.
std::optional<std::uint32_t> ImageCut(const ChipRecord& record);

}  // namespace fw
