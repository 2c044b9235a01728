// The place for a model of the chip's oscillator: the boot loader's clock
// measurement commands (00 n pairs ..., and 65 ... on families 25 and 28) are
// answered by it, and a trim the host programs sets the chip's clock through
// it. Without one the simulator refuses those commands.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/chip_traits.h"
#include "sim/oscillator.h"

namespace fw::sim {

class MeasurementModel {
 public:
  virtual ~MeasurementModel() = default;
  // The reply payload to a measurement command, given the rate of the host's
  // synchronisation. nullopt leaves the command unanswered; with `why` set the
  // chip refuses it for that reason instead.
  virtual std::optional<std::vector<std::uint8_t>> Measure(const ChipTraits& chip,
                                                           std::span<const std::uint8_t> command,
                                                           int handshake_rate,
                                                           std::string& why) = 0;
  // The clock a setting gives the chip, Hz; nullopt when the oscillator has no
  // such setting (the chip's clock then stays as it was).
  virtual std::optional<double> ClockOf(const ChipTraits&, const OscillatorSetting&) const {
    return std::nullopt;
  }
};

}  // namespace fw::sim
