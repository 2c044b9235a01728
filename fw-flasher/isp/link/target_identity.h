// What the link knows of the chip: what the project expects and what the status
// reply told.
#pragma once

#include <array>
#include <cstdint>

namespace fw {

struct TargetIdentity {
  static constexpr int kStatusRecordSize = 64;
  static constexpr int kChipNameSize = 32;
  static constexpr int kAlternativeIdSlots = 16;
  // Identification compares the chip with the first eight alternative ids only.
  static constexpr int kAlternativeIdsCompared = 8;
  static constexpr int kChipSerialSize = 7;
  static constexpr int kUnknownChipId = 0xFFFF;

  // Preset from the project's chip, replaced by identification.
  int protocol_variant = 0;
  int baud_generator_variant = 0;
  int expected_chip_id = 0;
  int alternative_ids[kAlternativeIdSlots] = {};
  // Set by the command line's detect when no chip is named: any known chip passes.
  bool accept_any_chip = false;
  // Before identification only "0 or not" matters: variant 0 frames with 8-bit
  // checksums and no parity, every other one with 16-bit checksums and even
  // parity. This one stands for "not 0" until the chip is identified.
  static constexpr int kUnidentifiedWideVariant = 3;

  // From the status reply.
  std::uint8_t status_record[kStatusRecordSize] = {};
  std::uint8_t reply_length_byte = 0;
  // The option report has laid the status record out anew (families 25-43 under
  // protocol variant 4): its clock count is gone, and the clock figures hold
  // what the report took from it.
  bool status_laid_out = false;
  int fw_version = 0;  // high nibble major, low nibble minor
  int fw_letter = 0;
  int fw_build = 0;  // 0: none
  int sub_model = 0;
  int chip_id = kUnknownChipId;
  int chip_index = 0;
  char chip_name[kChipNameSize] = {};
  int block_size = 128;
  bool option_capable_firmware = false;

  // Filled by the erase step.
  std::uint8_t chip_serial[kChipSerialSize] = {};
  // Carried by every erase, key, program and option command of the 7.2
  // firmware; the erase step chooses them by family code and they stay for the
  // rest of the download.
  std::array<std::uint8_t, 2> guard = {0x5A, 0xA5};
};

}  // namespace fw
