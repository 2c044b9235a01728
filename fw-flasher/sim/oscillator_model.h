// The measurement side of the simulated oscillator: the boot loader's answer
// to each procedure's measurement command, counted against the host's rate as
// that procedure's boot loader counts, and the clock a programmed trim gives.
#pragma once

#include "sim/measurement_model.h"
#include "sim/oscillator.h"

namespace fw::sim {

class OscillatorModel : public MeasurementModel {
 public:
  explicit OscillatorModel(OscillatorConfig config = {}) : oscillator_(config) {}

  // 00 n and n pairs: reply 00 n and one 16-bit count per pair, high byte
  // first. 65 on families 25 and 28: the command sent back with the count of
  // each group in place of its 02 00.
  std::optional<std::vector<std::uint8_t>> Measure(const ChipTraits& chip,
                                                   std::span<const std::uint8_t> command,
                                                   int handshake_rate, std::string& why) override;
  // The oscillator's frequency at the setting over its divider; 48 MHz when
  // families 61 and 70 are told to lock to it.
  std::optional<double> ClockOf(const ChipTraits& chip,
                                const OscillatorSetting& setting) const override;

  const Oscillator& oscillator() const { return oscillator_; }

 private:
  std::optional<std::vector<std::uint8_t>> MeasurePairs(TrimProcedure procedure,
                                                        const ChipTraits& chip,
                                                        std::span<const std::uint8_t> command,
                                                        int rate, std::string& why) const;
  std::optional<std::vector<std::uint8_t>> MeasureGroups(std::span<const std::uint8_t> command,
                                                         int rate, std::string& why) const;

  Oscillator oscillator_;
};

}  // namespace fw::sim
