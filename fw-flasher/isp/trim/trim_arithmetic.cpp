#include "isp/trim/trim_arithmetic.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "target/chips/family_traits.h"

namespace fw::trim {

namespace {
constexpr int kSlowHandshakeBaud = 1200;
constexpr int kSlowSyncPauseMs = 150;
constexpr int kTrimSteps = 128;  // the range's span is divided into 128 trim steps
constexpr int kMaxTrim = 255;
constexpr int kNominalFrequency = 48000000;
constexpr double kNominalTolerance = 0.005;
constexpr std::uint8_t kNominalBit = 0x40;  // in trim byte 3
}  // namespace

std::vector<std::uint8_t> CountCommand(std::span<const TrimPair> pairs, PairOrder order,
                                       std::optional<int> declared) {
  std::vector<std::uint8_t> command{
      kMeasureCommand,
      static_cast<std::uint8_t>(declared.value_or(static_cast<int>(pairs.size())))};
  for (const TrimPair& p : pairs) {
    if (order == PairOrder::kTrimFirst) {
      command.push_back(p.trim);
      command.push_back(p.range);
    } else {
      command.push_back(p.range);
      command.push_back(p.trim);
    }
  }
  return command;
}

Measurement CountMeasurement(std::vector<std::uint8_t> command, std::uint8_t sync_byte,
                             int handshake_baud) {
  Measurement m;
  m.command = std::move(command);
  m.timeout_ms = kMeasureTimeoutMs;
  m.sync_byte = sync_byte;
  m.sync_pause_ms = handshake_baud == kSlowHandshakeBaud ? kSlowSyncPauseMs : 0;
  m.reply_code = kMeasureCommand;
  return m;
}

std::optional<std::vector<Frequency>> ReplyFrequencies(std::span<const std::uint8_t> reply,
                                                       int pairs, int handshake_baud,
                                                       CountScale scale) {
  if (pairs < 0 || reply.size() < static_cast<std::size_t>(kCountsOffset + 2 * pairs)) {
    return std::nullopt;
  }
  std::vector<Frequency> frequencies;
  frequencies.reserve(static_cast<std::size_t>(pairs));
  for (int i = 0; i < pairs; ++i) {
    const std::size_t at = static_cast<std::size_t>(kCountsOffset + 2 * i);
    const Frequency count = (reply[at] << 8) | reply[at + 1];
    const Frequency f = Frequency{handshake_baud} * count;
    frequencies.push_back(scale == CountScale::kHalf ? f / 2 : f);
  }
  return frequencies;
}

std::size_t ClosestIndex(std::span<const Frequency> values, Frequency target) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < values.size(); ++i) {
    if (std::llabs(values[i] - target) < std::llabs(values[best] - target)) best = i;
  }
  return best;
}

bool FitsInt(Frequency value) { return value >= INT_MIN && value <= INT_MAX; }

std::optional<DividerCentre> EstimateDividerCentre(Frequency low, Frequency high,
                                                   Frequency target) {
  for (int e = 1; e <= kMaxDivider; ++e) {
    const Frequency scaled = e * target;
    if (scaled < low) continue;
    const Frequency step = (high - low) / kTrimSteps;
    if (step <= 0) return std::nullopt;
    const int k = static_cast<int>(std::min<Frequency>((scaled - low) / step, kMaxTrim));
    return DividerCentre{e, k, std::clamp(k, 1, kMaxTrim - 1)};
  }
  return DividerCentre{kMaxDivider, 0, 1};
}

std::vector<TrimPair> CentreGrid(int centre, int first_range) {
  std::vector<TrimPair> pairs;
  for (int trim = centre - 1; trim <= centre + 1; ++trim) {
    for (int r = 0; r < 4; ++r) {
      pairs.push_back(
          {static_cast<std::uint8_t>(trim), static_cast<std::uint8_t>(first_range + r)});
    }
  }
  return pairs;
}

void ApplyNominal48MHz(int family_code, int set_frequency, TrimChoice& choice) {
  if (!TraitsOf(family_code).Has(family_flags::kNominal48Mhz)) return;
  const double t = set_frequency;
  const double missed = std::fabs(choice.adjusted_frequency - t) / t;
  const double from_nominal = std::fabs(t - kNominalFrequency) / kNominalFrequency;
  if (missed > kNominalTolerance && from_nominal < kNominalTolerance) {
    choice.adjusted_frequency = kNominalFrequency;
    choice.trim_bytes[3] =
        static_cast<std::uint8_t>(choice.trim_bytes[3].value_or(0) | kNominalBit);
  }
}

TrimStep Measure(Measurement measurement) {
  TrimStep step;
  step.status = TrimStatus::kMeasure;
  step.measurement = std::move(measurement);
  return step;
}

TrimStep Ended(TrimStatus status) {
  TrimStep step;
  step.status = status;
  return step;
}

TrimStep Chosen(TrimChoice choice) {
  TrimStep step;
  step.status = TrimStatus::kChosen;
  step.choice = std::move(choice);
  return step;
}

}  // namespace fw::trim
