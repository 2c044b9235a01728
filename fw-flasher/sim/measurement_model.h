// The place for a model of the chip's oscillator: the boot loader's clock
// measurement commands (00 n pairs ..., and 65 ... on families 25 and 28) are
// answered by it. Without one the simulator refuses those commands.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/chip_traits.h"

namespace fw::sim {

class MeasurementModel {
 public:
  virtual ~MeasurementModel() = default;
  // The reply payload to a measurement command, given the rate of the host's
  // synchronisation; nullopt leaves the command unanswered.
  virtual std::optional<std::vector<std::uint8_t>> Measure(const ChipTraits& chip,
                                                           std::span<const std::uint8_t> command,
                                                           int handshake_rate) = 0;
};

}  // namespace fw::sim
