#include "isp/trim/procedure_6.h"

#include <algorithm>

namespace fw::trim {

namespace {
constexpr std::uint8_t kSyncByte = 0xFE;
constexpr int kRanges = 4;
constexpr int kRangeSelectorStep = 0x10;  // range d is selected by d × 16
constexpr int kTrimSteps = 256;
constexpr int kMaxTrim = 255;
constexpr int kMaxMultiple = 15;
constexpr int kWindowLead = 7;  // the window starts 7 trims below the estimate
constexpr int kMinCentre = kWindowLead;
constexpr int kMaxCentre = kMaxTrim - (kProcedure6WindowTrims - 1) + kWindowLead;
constexpr int kMultipleShift = 2;  // trim byte 3: multiple in bits 2-5, range in bits 0-1
constexpr int kRangeMask = 3;
}  // namespace

std::optional<Procedure6Estimate> Procedure6Locate(std::span<const Frequency> ends,
                                                   Frequency target) {
  if (ends.size() != 2 * kRanges) return std::nullopt;
  for (int i = 1; i <= kMaxDivider; ++i) {
    const Frequency x = i * target;
    int d = 0;
    while (d < kRanges - 1 && !(ends[2 * d] <= x && x <= ends[2 * d + 1])) ++d;
    if (d == kRanges - 1 && x < ends[2 * d]) continue;  // no range reaches i × T yet
    const Frequency low = ends[static_cast<std::size_t>(2 * d)];
    const Frequency step = (ends[static_cast<std::size_t>(2 * d + 1)] - low) / kTrimSteps;
    if (step <= 0) return std::nullopt;
    const auto k = std::clamp<Frequency>((x - low) / step, 0, kMaxTrim);
    // The window runs from centre - 7 to centre + 4. A centre of 252 would
    // put its last trim at 256, which goes out as the byte 0 and measures the
    // bottom of the range; 251 keeps all twelve within 0..255. Centres from 7
    // to 251 are the estimate itself.
    const auto centre = static_cast<int>(std::clamp<Frequency>(k, kMinCentre, kMaxCentre));
    return Procedure6Estimate{std::min(i, kMaxMultiple), d, centre - kWindowLead};
  }
  // Even 63 × T lies below the last range: estimate 0 in range 0.
  return Procedure6Estimate{kMaxMultiple, 0, 0};
}

TrimStep Procedure6::First() {
  std::vector<TrimPair> ends;
  for (int d = 0; d < kRanges; ++d) {
    const auto range = static_cast<std::uint8_t>(d * kRangeSelectorStep);
    ends.push_back({0x00, range});
    ends.push_back({0xFF, range});
  }
  return Measure(
      CountMeasurement(CountCommand(ends, PairOrder::kTrimFirst), kSyncByte, in_.handshake_baud));
}

TrimStep Procedure6::Next(int index, std::span<const std::uint8_t> reply) {
  return index == 0 ? AfterEnds(reply) : AfterWindow(reply);
}

TrimStep Procedure6::AfterEnds(std::span<const std::uint8_t> reply) {
  const auto p = ReplyFrequencies(reply, 2 * kRanges, in_.handshake_baud, CountScale::kWhole);
  if (!p) return Ended(TrimStatus::kShortReply);
  const auto estimate = Procedure6Locate(*p, in_.set_frequency);
  if (!estimate) return Ended(TrimStatus::kUnusable);
  estimate_ = *estimate;
  window_.clear();
  for (int n = 0; n < kProcedure6WindowTrims; ++n) {
    window_.push_back({static_cast<std::uint8_t>(estimate_.first_trim + n),
                       static_cast<std::uint8_t>(estimate_.range * kRangeSelectorStep)});
  }
  return Measure(CountMeasurement(CountCommand(window_, PairOrder::kTrimFirst), kSyncByte,
                                  in_.handshake_baud));
}

TrimStep Procedure6::AfterWindow(std::span<const std::uint8_t> reply) {
  const auto p =
      ReplyFrequencies(reply, kProcedure6WindowTrims, in_.handshake_baud, CountScale::kWhole);
  if (!p) return Ended(TrimStatus::kShortReply);
  const int i = estimate_.multiple;
  const std::size_t n = ClosestIndex(*p, Frequency{i} * in_.set_frequency);
  const Frequency a = (*p)[n] / i;
  if (!FitsInt(a)) return Ended(TrimStatus::kUnusable);
  TrimChoice choice;
  choice.adjusted_frequency = static_cast<int>(a);
  choice.trim_bytes[3] =
      static_cast<std::uint8_t>((i << kMultipleShift) | (estimate_.range & kRangeMask));
  choice.trim_bytes[2] = window_[n].trim;
  ApplyNominal48MHz(in_.family_code, in_.set_frequency, choice);
  return Chosen(choice);
}

}  // namespace fw::trim
