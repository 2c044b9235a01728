// Procedure 2 (family codes 45-52): the two ends of range 0 give a divider
// and a trim estimate; the twelve settings around it (three trims, four
// ranges) are measured and the closest to the divided target is kept.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "isp/trim/trim_arithmetic.h"

namespace fw::trim {

class Procedure2 : public TrimProcedure {
 public:
  using TrimProcedure::TrimProcedure;

 private:
  TrimStep First() override;
  TrimStep Next(int index, std::span<const std::uint8_t> reply) override;
  TrimStep AfterEnds(std::span<const std::uint8_t> reply);
  TrimStep AfterGrid(std::span<const std::uint8_t> reply);
  std::optional<std::vector<Frequency>> Frequencies(std::span<const std::uint8_t> reply,
                                                    int pairs) const;

  bool doubled_ = false;
  int divider_ = 1;
  std::vector<TrimPair> grid_;
};

}  // namespace fw::trim
