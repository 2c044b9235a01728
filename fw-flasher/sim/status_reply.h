// The status reply a simulated chip sends after synchronisation, laid out for
// its decoding group so that the flasher reports the configured clock and options.
#pragma once

#include <cstdint>
#include <vector>

namespace fw::sim {

struct SimChipConfig {
  int chip_index = 0;     // record of the chip table
  int fw_version = 0x72;  // high nibble major, low nibble minor
  int fw_letter = 'C';
  int fw_build = 0;           // 0 = none
  int frequency = 11059200;   // Hz the chip measures
  int handshake_baud = 2400;  // rate the timing count refers to
  // Option bytes in the order the group decodes them (O0, O1, ...); bytes not
  // given keep the chip's defaults.
  std::vector<std::uint8_t> options;
  int reply_code = 0x00;       // 0x00, 0x50, 0x80 or 0x8F
  bool report_alt_id = false;  // report the record's alternate id
  int id_override = -1;        // report this id instead (an unknown chip)
  bool short_reply = false;    // too short to carry the chip id
};

// wide_checksum decides the length of a short reply only.
std::vector<std::uint8_t> BuildStatusPayload(const SimChipConfig& chip, int reply_code,
                                             bool wide_checksum, bool via_board);

// The option byte count of the group the chip decodes with.
int OptionCountOf(const SimChipConfig& chip);

}  // namespace fw::sim
