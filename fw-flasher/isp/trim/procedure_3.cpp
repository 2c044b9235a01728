#include "isp/trim/procedure_3.h"

#include <algorithm>

namespace fw::trim {

namespace {
constexpr std::uint8_t kSyncByte = 0xFE;
constexpr int kRanges = 4;
constexpr int kAcrossStep = 16;  // trims 0, 16, ..., 112, then 127
constexpr int kWindowLead = 20;  // window start = s + 16 j - 20
constexpr int kRangeMask = 3;
// Status record bytes the chip reports and trim bytes 0, 1 and 3 carry back.
constexpr std::size_t kStatusHighNibble = 29;  // into bits 4-7 of trim byte 3
constexpr std::size_t kStatusTrim0 = 30;
constexpr std::size_t kStatusTrim1 = 31;
constexpr std::uint8_t kTrim0Mask = 0x03;
constexpr std::uint8_t kTrim1Mask = 0x7F;
}  // namespace

int Procedure3Range(std::span<const Frequency> ends, Frequency target) {
  for (int q = 0; q < kRanges - 1; ++q) {
    if (target < ends[static_cast<std::size_t>(2 * q + 1)]) return q;
  }
  return kRanges - 1;
}

std::optional<int> Procedure3WindowStart(std::span<const Frequency> across, Frequency target) {
  const int last = static_cast<int>(across.size()) - 1;
  if (last < 1) return std::nullopt;
  int j = 1;
  while (j < last && !(target < across[static_cast<std::size_t>(j)])) ++j;
  const Frequency low = across[static_cast<std::size_t>(j - 1)];
  const Frequency span = across[static_cast<std::size_t>(j)] - low;
  if (span <= 0) return std::nullopt;
  const Frequency s = (target - low) * kAcrossStep / span;
  const Frequency start = s + Frequency{kAcrossStep} * j - kWindowLead;
  // The window s + 16 j - 20 as it stands can begin below trim 0 (a target
  // in the first segment) or end above 127 (one near the top). Its trims go
  // out as bytes: below 0 they would wrap to 252..255, above 127 leave the
  // 7-bit trim. Moved to start within 0..119, the nine trims stay within
  // 0..127; everywhere else the window is the one the measurement gives.
  return static_cast<int>(
      std::clamp<Frequency>(start, 0, kProcedure3MaxTrim - (kProcedure3Trims - 1)));
}

TrimStep Procedure3::Send(std::vector<TrimPair> pairs) {
  pairs_ = std::move(pairs);
  return Measure(CountMeasurement(CountCommand(pairs_, PairOrder::kRangeFirst), kSyncByte,
                                  in_.handshake_baud));
}

TrimStep Procedure3::First() {
  std::vector<TrimPair> ends;
  for (int q = 0; q < kRanges; ++q) {
    ends.push_back({0x00, static_cast<std::uint8_t>(q)});
    ends.push_back({kProcedure3MaxTrim, static_cast<std::uint8_t>(q)});
  }
  return Send(std::move(ends));
}

// Measurement 0 gives the range, 1 the window, 2 the choice.
TrimStep Procedure3::Next(int index, std::span<const std::uint8_t> reply) {
  const auto p = ReplyFrequencies(reply, static_cast<int>(pairs_.size()), in_.handshake_baud,
                                  CountScale::kHalf);
  if (!p) return Ended(TrimStatus::kShortReply);
  if (index == 0) {
    range_ = Procedure3Range(*p, in_.set_frequency);
    std::vector<TrimPair> across;
    for (int i = 0; i < kProcedure3Trims; ++i) {
      const int trim = std::min(i * kAcrossStep, kProcedure3MaxTrim);
      across.push_back({static_cast<std::uint8_t>(trim), static_cast<std::uint8_t>(range_)});
    }
    return Send(std::move(across));
  }
  if (index == 1) {
    const auto start = Procedure3WindowStart(*p, in_.set_frequency);
    if (!start) return Ended(TrimStatus::kUnusable);
    std::vector<TrimPair> window;
    for (int i = 0; i < kProcedure3Trims; ++i) {
      window.push_back({static_cast<std::uint8_t>(*start + i), static_cast<std::uint8_t>(range_)});
    }
    return Send(std::move(window));
  }
  return Choose(*p);
}

TrimStep Procedure3::Choose(std::span<const Frequency> p) const {
  const std::size_t i = ClosestIndex(p, in_.set_frequency);
  if (!FitsInt(p[i])) return Ended(TrimStatus::kUnusable);
  const auto& status = in_.status_record;
  TrimChoice choice;
  choice.adjusted_frequency = static_cast<int>(p[i]);
  choice.trim_bytes[3] =
      static_cast<std::uint8_t>((range_ & kRangeMask) | (status[kStatusHighNibble] << 4));
  choice.trim_bytes[2] = pairs_[i].trim;
  choice.trim_bytes[0] = static_cast<std::uint8_t>(status[kStatusTrim0] & kTrim0Mask);
  choice.trim_bytes[1] = static_cast<std::uint8_t>(status[kStatusTrim1] & kTrim1Mask);
  return Chosen(choice);
}

}  // namespace fw::trim
