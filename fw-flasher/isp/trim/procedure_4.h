// Procedure 4 (family codes 26, 27, 29-43): two targets, the set frequency T
// and the clock F the chip is to report. Three trims in each of four ranges
// locate both; six trims around each estimate are then measured (moved by 5
// while a target lies outside them, up to four measurements) and the closest
// setting for each target is kept.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "isp/trim/trim_arithmetic.h"

namespace fw::trim {

constexpr int kProcedure4Pairs = 12;
constexpr int kProcedure4GroupSize = 6;
constexpr int kProcedure4MaxExchanges = 4;

// Where a target lies in the coarse measurement p0..p11 (p11 extrapolated):
// the first trim of its window of six and the range byte of its segment.
// Empty when the segment does not rise.
struct Procedure4Estimate {
  int first_trim;
  std::uint8_t range;
};
std::optional<Procedure4Estimate> Procedure4Locate(std::span<const Frequency> coarse,
                                                   Frequency target);

// The coarse measurement is usable when p0 > 0; it is wide enough when
// (p11 - p0) / p0 >= 2.
enum class Procedure4Span { kUsable, kTooNarrow, kUnusable };
Procedure4Span Procedure4CheckSpan(std::span<const Frequency> coarse);

class Procedure4 : public TrimProcedure {
 public:
  using TrimProcedure::TrimProcedure;

 private:
  TrimStep First() override;
  TrimStep Next(int index, std::span<const std::uint8_t> reply) override;
  using Group = std::array<std::uint8_t, kProcedure4GroupSize>;
  TrimStep AfterCoarse(std::span<const std::uint8_t> reply);
  TrimStep AfterFine(std::span<const std::uint8_t> reply);
  TrimStep SendGroups();

  int exchanges_ = 0;
  Group t_trims_{}, f_trims_{};
  std::uint8_t t_range_ = 0, f_range_ = 0;
};

}  // namespace fw::trim
