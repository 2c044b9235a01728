// The option write as the boot loader reads it: where each byte of the command
// lands in the chip's option record and status reply, so that the next status
// reply shows what was written.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "sim/chip_traits.h"
#include "sim/oscillator.h"

namespace fw::sim {

struct OptionWrite {
  // Option record index (O0, O1, ... as the status reply lays them out) -> byte.
  std::map<int, std::uint8_t> record;
  // Status reply position -> byte, for the option blocks of the newer families.
  std::map<int, std::uint8_t> status_bytes;
  // An 8D write: its reply carries the option record from byte 10 on.
  bool record_in_reply = false;
  // The oscillator setting the write programs (families 25 and above).
  std::optional<OscillatorSetting> trim;
};

// The payload length of this chip's option write (04 or 8D command).
std::size_t OptionWriteLength(const ChipTraits& chip);

// Nullopt with the reason when the payload is not this chip's option write.
std::optional<OptionWrite> DecodeOptionWrite(const ChipTraits& chip,
                                             std::span<const std::uint8_t> payload,
                                             std::string& why);

}  // namespace fw::sim
