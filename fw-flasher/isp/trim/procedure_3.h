// Procedure 3 (family code 44): a 7-bit trim in four ranges. Both ends of each
// range choose the range, nine trims across it locate the target, and nine
// trims around the interpolated one are measured; the closest is kept.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "isp/trim/trim_arithmetic.h"

namespace fw::trim {

constexpr int kProcedure3MaxTrim = 127;
constexpr int kProcedure3Trims = 9;

// The first of ranges 0-2 whose top end (p[2q + 1]) lies above the target, else 3.
int Procedure3Range(std::span<const Frequency> ends, Frequency target);

// The first trim of the fine window from the frequencies at trims 0, 16, ...,
// 112, 127: the interpolated trim less 4, moved so that the nine trims stay in
// 0..127. Empty when the segment that holds the target does not rise.
std::optional<int> Procedure3WindowStart(std::span<const Frequency> across, Frequency target);

class Procedure3 : public TrimProcedure {
 public:
  using TrimProcedure::TrimProcedure;

 private:
  TrimStep First() override;
  TrimStep Next(int index, std::span<const std::uint8_t> reply) override;
  TrimStep Send(std::vector<TrimPair> pairs);
  TrimStep Choose(std::span<const Frequency> p) const;

  int range_ = 0;
  std::vector<TrimPair> pairs_;
};

}  // namespace fw::trim
