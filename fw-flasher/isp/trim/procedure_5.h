// Procedure 5 (family codes 53 and above, firmware below 7.4): the ends of a
// low and a high range choose the range, a divider (at most 15) and a trim
// estimate; twelve settings around it are measured and the closest to the
// divided target is kept.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "isp/trim/trim_arithmetic.h"

namespace fw::trim {

// 1 when the high range is to be used: its top p4 lies below the target, or the
// target lies below the low range and p4 below twice the target.
int Procedure5HighRange(std::span<const Frequency> ends, Frequency target);

class Procedure5 : public TrimProcedure {
 public:
  using TrimProcedure::TrimProcedure;

 private:
  TrimStep First() override;
  TrimStep Next(int index, std::span<const std::uint8_t> reply) override;
  TrimStep AfterEnds(std::span<const std::uint8_t> reply);
  TrimStep AfterGrid(std::span<const std::uint8_t> reply);

  int high_ = 0;
  int divider_ = 1;
  std::vector<TrimPair> grid_;
};

}  // namespace fw::trim
