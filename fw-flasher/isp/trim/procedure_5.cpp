#include "isp/trim/procedure_5.h"

#include <algorithm>

namespace fw::trim {

namespace {
constexpr std::uint8_t kSyncByte = 0x66;
constexpr TrimPair kEnds[] = {{0x00, 0x00}, {0x80, 0x00}, {0x00, 0x80}, {0x80, 0x80}, {0xFF, 0x00}};
constexpr std::uint8_t kHighRangeBase = 0x80;
constexpr int kMaxDivider5 = 15;
// Trim byte 3: high range in bit 7, divider in bits 2-5, range in bits 0-1.
constexpr int kHighRangeValue = 128;
constexpr int kDividerScale = 4;
constexpr int kRangeMask = 3;
}  // namespace

int Procedure5HighRange(std::span<const Frequency> ends, Frequency target) {
  if (ends.size() < std::size(kEnds)) return 0;
  const Frequency p0 = ends[0], p4 = ends[4];
  return p4 < target || (target < p0 && p4 < 2 * target) ? 1 : 0;
}

TrimStep Procedure5::First() {
  return Measure(
      CountMeasurement(CountCommand(kEnds, PairOrder::kTrimFirst), kSyncByte, in_.handshake_baud));
}

TrimStep Procedure5::Next(int index, std::span<const std::uint8_t> reply) {
  return index == 0 ? AfterEnds(reply) : AfterGrid(reply);
}

TrimStep Procedure5::AfterEnds(std::span<const std::uint8_t> reply) {
  const auto p = ReplyFrequencies(reply, static_cast<int>(std::size(kEnds)), in_.handshake_baud,
                                  CountScale::kWhole);
  if (!p) return Ended(TrimStatus::kShortReply);
  high_ = Procedure5HighRange(*p, in_.set_frequency);
  const Frequency low = high_ ? (*p)[2] : (*p)[0];
  const Frequency top = high_ ? (*p)[3] : (*p)[1];
  const auto estimate = EstimateDividerCentre(low, top, in_.set_frequency);
  if (!estimate) return Ended(TrimStatus::kUnusable);
  divider_ = std::min(estimate->divider, kMaxDivider5);
  grid_ = CentreGrid(estimate->centre, high_ ? kHighRangeBase : 0);
  return Measure(
      CountMeasurement(CountCommand(grid_, PairOrder::kTrimFirst), kSyncByte, in_.handshake_baud));
}

TrimStep Procedure5::AfterGrid(std::span<const std::uint8_t> reply) {
  const auto p = ReplyFrequencies(reply, static_cast<int>(grid_.size()), in_.handshake_baud,
                                  CountScale::kWhole);
  if (!p) return Ended(TrimStatus::kShortReply);
  const std::size_t j = ClosestIndex(*p, Frequency{divider_} * in_.set_frequency);
  const Frequency a = (*p)[j] / divider_;
  if (!FitsInt(a)) return Ended(TrimStatus::kUnusable);
  TrimChoice choice;
  choice.adjusted_frequency = static_cast<int>(a);
  choice.trim_bytes[3] = static_cast<std::uint8_t>(
      high_ * kHighRangeValue + divider_ * kDividerScale + (grid_[j].range & kRangeMask));
  choice.trim_bytes[2] = grid_[j].trim;
  ApplyNominal48MHz(in_.family_code, in_.set_frequency, choice);
  return Chosen(choice);
}

}  // namespace fw::trim
