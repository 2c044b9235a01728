// The hardware-option block that the option write sends after the code: the
// project's option bytes merged with the frequency the chip should assume and
// the oscillator trim, in the layout of the chip's family.
#pragma once

#include <cstdint>
#include <span>

namespace fw {

class IspLink;

constexpr int kOptionBlockSize = 64;

// Writes all 64 bytes of dst (0xFF where the layout places nothing) and returns
// how many of them the option write sends: 64, or 40 for families 45 and up.
int BuildOptionBlock(const IspLink& link, std::span<std::uint8_t, kOptionBlockSize> dst);

}  // namespace fw
