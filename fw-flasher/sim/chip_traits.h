// What a simulated chip knows about itself: the sizes and variants of its chip
// record and what its boot loader version makes of them.
#pragma once

#include <cstdint>

#include "sim/status_reply.h"

namespace fw::sim {

enum class SimSequence { kClassic, kNewer };

struct ChipTraits {
  int family = 0;
  int table_variant = 0;  // protocol variant of the chip record
  int variant = 0;        // protocol variant the boot loader speaks after its status reply
  int generator = 0;      // baud generator variant
  int fw = 0;             // firmware version byte, 0x72 for 7.2
  int build = 0;
  int block_size = 128;
  SimSequence sequence = SimSequence::kClassic;
  bool even_parity = false;  // the line runs with a parity bit
  std::uint8_t guard1 = 0x5A;
  std::uint8_t guard2 = 0xA5;
  std::uint32_t code_size = 0;
  std::uint32_t data_size = 0;
  std::uint16_t id = 0;
  int frequency = 0;  // Hz the chip's clock runs at

  bool fw72() const { return fw >= 0x72; }
  bool wide_checksum() const { return variant != 0; }
};

ChipTraits TraitsOf(const SimChipConfig& chip);

constexpr bool FamilyIn(int family, int first, int last) {
  return family >= first && family <= last;
}

}  // namespace fw::sim
