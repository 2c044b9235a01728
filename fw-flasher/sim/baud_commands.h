// The baud switch as the boot loader reads it: the generator settings of the
// switch command give the rate the chip's serial port will run at.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/chip_traits.h"

namespace fw::sim {

// The clock range code a switch command must carry for the chip's clock.
std::uint8_t RangeCodeFor(int family, int frequency);

// The rate of a switch command (8F, 8E or 01, whichever the chip expects) from
// its generator bytes; nullopt with the reason when the command does not fit
// this chip. handshake_rate is the rate of the status reply.
std::optional<double> RateOfSwitch(const ChipTraits& chip, std::span<const std::uint8_t> payload,
                                   int handshake_rate, std::string& why);

// Whether a serial port at host_rate can talk to one at chip_rate: both ends
// sample in the middle of each bit, so a few percent apart still works.
bool RatesAgree(double chip_rate, int host_rate);

}  // namespace fw::sim
