#include "isp/trim/procedure_2.h"

#include "target/chips/family_traits.h"

namespace fw::trim {

namespace {
constexpr std::uint8_t kSyncByte = 0xFE;
constexpr TrimPair kEnds[] = {{0x00, 0x00}, {0x80, 0x00}};
// Some families count half the clock below 18 MHz.
constexpr Frequency kDoublingBelow = 18000000;
constexpr int kDoubledMinDivider = 2;
constexpr int kDividerShift = 2;  // trim byte 3: divider in bits 2-7, range in bits 0-1
constexpr int kRangeMask = 3;
}  // namespace

std::optional<std::vector<Frequency>> Procedure2::Frequencies(std::span<const std::uint8_t> reply,
                                                              int pairs) const {
  auto f = ReplyFrequencies(reply, pairs, in_.handshake_baud, CountScale::kHalf);
  if (f && doubled_) {
    for (Frequency& v : *f) v *= 2;
  }
  return f;
}

TrimStep Procedure2::First() {
  return Measure(
      CountMeasurement(CountCommand(kEnds, PairOrder::kTrimFirst), kSyncByte, in_.handshake_baud));
}

TrimStep Procedure2::Next(int index, std::span<const std::uint8_t> reply) {
  return index == 0 ? AfterEnds(reply) : AfterGrid(reply);
}

TrimStep Procedure2::AfterEnds(std::span<const std::uint8_t> reply) {
  const auto f = Frequencies(reply, 2);
  if (!f) return Ended(TrimStatus::kShortReply);
  Frequency f0 = (*f)[0], f1 = (*f)[1];
  const bool halves = TraitsOf(in_.family_code).Has(family_flags::kHalfCountBelow18Mhz);
  if (halves && f1 < kDoublingBelow) {
    doubled_ = true;
    f0 *= 2;
    f1 *= 2;
  }
  const auto estimate = EstimateDividerCentre(f0, f1, in_.set_frequency);
  if (!estimate) return Ended(TrimStatus::kUnusable);
  divider_ = estimate->divider;
  grid_ = CentreGrid(estimate->centre, 0);
  return Measure(
      CountMeasurement(CountCommand(grid_, PairOrder::kTrimFirst), kSyncByte, in_.handshake_baud));
}

TrimStep Procedure2::AfterGrid(std::span<const std::uint8_t> reply) {
  const auto p = Frequencies(reply, static_cast<int>(grid_.size()));
  if (!p) return Ended(TrimStatus::kShortReply);
  const std::size_t j = ClosestIndex(*p, Frequency{divider_} * in_.set_frequency);
  const int divider = doubled_ && divider_ < kDoubledMinDivider ? kDoubledMinDivider : divider_;
  const Frequency a = (*p)[j] / divider;
  if (!FitsInt(a)) return Ended(TrimStatus::kUnusable);
  TrimChoice choice;
  choice.adjusted_frequency = static_cast<int>(a);
  choice.trim_bytes[3] =
      static_cast<std::uint8_t>((divider << kDividerShift) | (grid_[j].range & kRangeMask));
  choice.trim_bytes[2] = grid_[j].trim;
  return Chosen(choice);
}

}  // namespace fw::trim
