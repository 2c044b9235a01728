#include "isp/trim/procedure_4.h"

#include <algorithm>
#include <vector>

namespace fw::trim {

namespace {
constexpr std::uint8_t kSyncByte = 0xFE;
constexpr std::uint8_t kCoarseTrims[] = {0x00, 0x80, 0xFF};
constexpr std::uint8_t kRangeOfPair[kProcedure4Pairs] = {0xC0, 0xC0, 0xC0, 0x80, 0x80, 0x80,
                                                         0x40, 0x40, 0x40, 0x00, 0x00, 0x00};
// The boot loader is told of 11 pairs; the twelfth is sent with trim 00 and its
// frequency extrapolated from pairs 9 and 10.
constexpr int kCoarseDeclared = 11;
constexpr int kMinSpanRatio = 2;
// A segment P ends at p[P + 1]; P mod 3 = 0 starts at trim 0, else at trim 128.
constexpr int kSegments[] = {0, 1, 3, 4, 6, 7, 9, 10};
constexpr int kLowerHalfSteps = 128;
constexpr int kUpperHalfSteps = 127;
constexpr int kUpperHalfStart = 128;
constexpr int kWindowLead = 3;  // the six trims run from estimate - 3 to estimate + 2
constexpr int kMinEstimate = kWindowLead;
constexpr int kMaxEstimate = 255 - (kProcedure4GroupSize - 1 - kWindowLead);
constexpr int kMove = 5;

bool Raise(std::array<std::uint8_t, kProcedure4GroupSize>& trims) {
  if (trims.back() == 0xFF) return false;
  for (auto& t : trims) t = static_cast<std::uint8_t>(std::min(t + kMove, 0xFF));
  return true;
}

bool Lower(std::array<std::uint8_t, kProcedure4GroupSize>& trims) {
  if (trims.front() == 0x00) return false;
  for (auto& t : trims) t = static_cast<std::uint8_t>(std::max(t - kMove, 0));
  return true;
}
}  // namespace

Procedure4Span Procedure4CheckSpan(std::span<const Frequency> coarse) {
  const Frequency p0 = coarse.front();
  if (p0 <= 0) return Procedure4Span::kUnusable;
  return (coarse.back() - p0) / p0 < kMinSpanRatio ? Procedure4Span::kTooNarrow
                                                   : Procedure4Span::kUsable;
}

std::optional<Procedure4Estimate> Procedure4Locate(std::span<const Frequency> coarse,
                                                   Frequency target) {
  if (coarse.size() != kProcedure4Pairs) return std::nullopt;
  int segment = kSegments[std::size(kSegments) - 1];
  for (int p : kSegments) {
    if (target <= coarse[static_cast<std::size_t>(p + 1)]) {
      segment = p;
      break;
    }
  }
  const auto at = static_cast<std::size_t>(segment);
  const Frequency low = coarse[at];
  const Frequency span = coarse[at + 1] - low;
  if (span <= 0) return std::nullopt;
  const Frequency estimate = segment % 3 != 0
                                 ? (target - low) * kUpperHalfSteps / span + kUpperHalfStart
                                 : (target - low) * kLowerHalfSteps / span;
  const auto m = static_cast<int>(std::clamp<Frequency>(estimate, kMinEstimate, kMaxEstimate));
  return Procedure4Estimate{m - kWindowLead, kRangeOfPair[at]};
}

TrimStep Procedure4::First() {
  if (in_.measured_frequency <= 0) return Ended(TrimStatus::kUnusable);
  std::vector<TrimPair> pairs;
  for (int i = 0; i < kProcedure4Pairs; ++i) {
    const std::uint8_t trim = i < kCoarseDeclared ? kCoarseTrims[i % 3] : 0x00;
    pairs.push_back({trim, kRangeOfPair[i]});
  }
  return Measure(CountMeasurement(CountCommand(pairs, PairOrder::kTrimFirst, kCoarseDeclared),
                                  kSyncByte, in_.handshake_baud));
}

TrimStep Procedure4::Next(int index, std::span<const std::uint8_t> reply) {
  return index == 0 ? AfterCoarse(reply) : AfterFine(reply);
}

TrimStep Procedure4::AfterCoarse(std::span<const std::uint8_t> reply) {
  auto p = ReplyFrequencies(reply, kCoarseDeclared, in_.handshake_baud, CountScale::kHalf);
  if (!p) return Ended(TrimStatus::kShortReply);
  const Frequency p9 = (*p)[9], p10 = (*p)[10];
  p->push_back(2 * p10 - p9);
  switch (Procedure4CheckSpan(*p)) {
    case Procedure4Span::kUnusable:
      return Ended(TrimStatus::kUnusable);
    case Procedure4Span::kTooNarrow:
      return Ended(TrimStatus::kTooNarrow);
    case Procedure4Span::kUsable:
      break;
  }
  const auto t = Procedure4Locate(*p, in_.set_frequency);
  const auto f = Procedure4Locate(*p, in_.measured_frequency);
  if (!t || !f) return Ended(TrimStatus::kUnusable);
  for (int n = 0; n < kProcedure4GroupSize; ++n) {
    t_trims_[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(t->first_trim + n);
    f_trims_[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(f->first_trim + n);
  }
  t_range_ = t->range;
  f_range_ = f->range;
  return SendGroups();
}

TrimStep Procedure4::SendGroups() {
  ++exchanges_;
  std::vector<TrimPair> pairs;
  for (std::uint8_t trim : t_trims_) pairs.push_back({trim, t_range_});
  for (std::uint8_t trim : f_trims_) pairs.push_back({trim, f_range_});
  return Measure(
      CountMeasurement(CountCommand(pairs, PairOrder::kTrimFirst), kSyncByte, in_.handshake_baud));
}

TrimStep Procedure4::AfterFine(std::span<const std::uint8_t> reply) {
  const auto p = ReplyFrequencies(reply, kProcedure4Pairs, in_.handshake_baud, CountScale::kHalf);
  if (!p) return Ended(TrimStatus::kShortReply);
  const std::span<const Frequency> t_group(p->data(), kProcedure4GroupSize);
  const std::span<const Frequency> f_group(p->data() + kProcedure4GroupSize, kProcedure4GroupSize);
  const Frequency t = in_.set_frequency, f = in_.measured_frequency;

  // Move a window that the target lies beyond; the moved trims are measured
  // before they count, so the choice below uses the trims just measured.
  Group t_moved = t_trims_, f_moved = f_trims_;
  bool moved = false;
  if (t_group.back() < t) moved |= Raise(t_moved);
  if (t < t_group.front()) moved |= Lower(t_moved);
  if (f_group.back() < f) moved |= Raise(f_moved);
  if (f < f_group.front()) moved |= Lower(f_moved);
  if (moved && exchanges_ < kProcedure4MaxExchanges) {
    t_trims_ = t_moved;
    f_trims_ = f_moved;
    return SendGroups();
  }

  // Closest by |p - X| / X: X is the same for the whole group and positive.
  const std::size_t ti = ClosestIndex(t_group, t);
  const std::size_t fi = ClosestIndex(f_group, f);
  if (!FitsInt(t_group[ti]) || !FitsInt(f_group[fi])) return Ended(TrimStatus::kUnusable);
  TrimChoice choice;
  choice.adjusted_frequency = static_cast<int>(t_group[ti]);
  choice.trim_bytes[3] = t_range_;
  choice.trim_bytes[2] = t_trims_[ti];
  choice.measured_frequency = static_cast<int>(f_group[fi]);
  choice.trim_bytes[0] = f_trims_[fi];
  choice.trim_bytes[1] = f_range_;
  return Chosen(choice);
}

}  // namespace fw::trim
