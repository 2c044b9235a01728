// The areas of the code image where a download writes bytes of its own over
// whatever the user's image holds there: the chip's parameter block at the top
// of the code area, and the chip's own serial number in the last bytes of its
// code flash. Whether a download writes them depends on the chip's family, its
// boot loader's firmware and option byte 15 (see code_image.h); these are the
// widest areas any of those downloads writes.
#pragma once

#include <cstdint>

#include "target/chips/chip_table.h"

namespace fw {

// [begin, end) in image addresses; empty when begin == end.
struct ImageArea {
  std::uint32_t begin = 0;
  std::uint32_t end = 0;
  bool Contains(std::uint64_t address) const { return address >= begin && address < end; }
};

// The parameter block in its longest form for the family, ending at the code
// size less the tail reserve: 15 bytes for the families of the short form; for
// those whose firmware chooses the form 23, that of firmware 7.4 (7.3 writes
// 21 or 11 bytes, the direct placement of firmware before 7.2 writes 15).
ImageArea ParameterBlockArea(const ChipRecord& chip);

// The 7 bytes of the chip serial number at the end of the code flash (set to
// 0x00 instead by the classic download of families 25 and 28).
ImageArea ChipSerialArea(const ChipRecord& chip);

// Option byte 15, bit 1: the download places the parameter block (with
// records) or the chip serial number (without) at the top of the code area.
constexpr int kPlacementOptionByte = 15;
constexpr std::uint8_t kPlacesParameters = 0x02;

}  // namespace fw
