// Procedure 6 (family codes 53 and above, firmware 7.4 and later): both ends of
// four ranges give the smallest multiple i × T (i up to 63) that one range
// covers and a trim estimate in it; twelve trims around the estimate are
// measured and the closest to i × T is kept, with i at most 15.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "isp/trim/trim_arithmetic.h"

namespace fw::trim {

constexpr int kProcedure6WindowTrims = 12;

// The multiple i (1..15), the range d (0..3) and the first trim of the window
// of twelve (0..244) from the ends p0..p7 of the four ranges. Empty when the
// range that covers the target does not rise by 256 Hz or more.
struct Procedure6Estimate {
  int multiple;
  int range;
  int first_trim;
};
std::optional<Procedure6Estimate> Procedure6Locate(std::span<const Frequency> ends,
                                                   Frequency target);

class Procedure6 : public TrimProcedure {
 public:
  using TrimProcedure::TrimProcedure;

 private:
  TrimStep First() override;
  TrimStep Next(int index, std::span<const std::uint8_t> reply) override;
  TrimStep AfterEnds(std::span<const std::uint8_t> reply);
  TrimStep AfterWindow(std::span<const std::uint8_t> reply);

  Procedure6Estimate estimate_{};
  std::vector<TrimPair> window_;
};

}  // namespace fw::trim
