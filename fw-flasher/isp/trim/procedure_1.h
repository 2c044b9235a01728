// Procedure 1 (family codes 25 and 28): the boot loader measures groups of
// (range, trim) settings in one 0x65 command and reports its clock with them.
// A coarse measurement at both ends of two ranges gives a slope; eleven trims
// from the interpolated one are measured next and the closest is kept.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "isp/trim/trim_procedure.h"

namespace fw::trim {

// A count of the 0x65 reply as a frequency: (H × count / 1200 + 6) × D, with D
// chosen by the handshake rate.
std::int64_t Procedure1Frequency(int handshake_baud, std::uint16_t count);

// The first trim of the fine window from two measured settings (frequency s at
// trim t): the trim where the line through them meets the target, less 5,
// within 0..244 so that the eleven trims stay below 255. The line may rise or
// fall with the trim. Empty when the two trims or the two frequencies are
// equal, or the result leaves the int range.
std::optional<int> Procedure1WindowStart(std::int64_t s0, int t0, std::int64_t s1, int t1,
                                         std::int64_t target);

class Procedure1 : public TrimProcedure {
 public:
  static constexpr std::uint8_t kCommand = 0x65;
  static constexpr int kFirstReplyBytes = 36;
  static constexpr int kSecondReplyBytes = 56;
  static constexpr int kFineTrims = 11;

  using TrimProcedure::TrimProcedure;

 private:
  TrimStep First() override;
  TrimStep Next(int index, std::span<const std::uint8_t> reply) override;
  std::vector<std::uint8_t> Header() const;
  TrimStep AfterCoarse(std::span<const std::uint8_t> reply);
  TrimStep AfterFine(std::span<const std::uint8_t> reply);

  std::uint8_t trim0_ = 0;
  std::int64_t clock_ = 0;
};

}  // namespace fw::trim
