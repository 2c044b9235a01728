// The erase commands as the boot loader reads them: which part of the flash a
// command erases, in the layout of the chip's family and firmware.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/chip_traits.h"

namespace fw::sim {

struct EraseRange {
  std::uint64_t from = 0;
  std::uint64_t length = 0;
};

// Nullopt with the reason when the command is not this chip's erase layout.
std::optional<EraseRange> DecodeErase(const ChipTraits& chip, std::span<const std::uint8_t> payload,
                                      std::string& why);

}  // namespace fw::sim
