// Arithmetic shared by the trim procedures. Frequencies are 64-bit: a count
// times the handshake rate, or a target times a divider, passes 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "isp/trim/trim_procedure.h"

namespace fw::trim {

using Frequency = std::int64_t;

constexpr std::uint8_t kMeasureCommand = 0x00;  // also the expected reply code
constexpr int kCountsOffset = 2;                // first count in the reply payload
constexpr int kMeasureTimeoutMs = 5000;
constexpr int kMaxDivider = 63;

// One measured setting: a trim value and a range selector.
struct TrimPair {
  std::uint8_t trim;
  std::uint8_t range;
};

enum class PairOrder { kTrimFirst, kRangeFirst };
enum class CountScale { kHalf, kWhole };  // frequency = H × count / 2 or H × count

// 00 n and the pairs. `declared` replaces n when the boot loader is told fewer
// pairs than are sent.
std::vector<std::uint8_t> CountCommand(std::span<const TrimPair> pairs, PairOrder order,
                                       std::optional<int> declared = std::nullopt);

// A measurement of the count procedures (2 to 6): 5 s, reply code 00, a sync
// pause of 150 ms at 1200 baud.
Measurement CountMeasurement(std::vector<std::uint8_t> command, std::uint8_t sync_byte,
                             int handshake_baud);

// The frequencies of the first `pairs` counts of a reply (16 bits each, high
// byte first, from payload byte 2); empty when the reply is too short.
std::optional<std::vector<Frequency>> ReplyFrequencies(std::span<const std::uint8_t> reply,
                                                       int pairs, int handshake_baud,
                                                       CountScale scale);

// The first index with the smallest |values[i] - target|.
std::size_t ClosestIndex(std::span<const Frequency> values, Frequency target);

bool FitsInt(Frequency value);

// The divider E (1..63) and the centre trim t that procedures 2 and 5 derive
// from the two ends of a range: E is the smallest with E × target >= low; the
// trim estimate is (E × target - low) / ((high - low) / 128), at most 255; no E
// gives E = 63 and estimate 0. The centre keeps t - 1 and t + 1 inside 0..255.
// Empty when the span is too small to divide by.
struct DividerCentre {
  int divider;
  int estimate;
  int centre;
};
std::optional<DividerCentre> EstimateDividerCentre(Frequency low, Frequency high, Frequency target);

// Trims centre - 1, centre, centre + 1, each with ranges first_range .. first_range + 3.
std::vector<TrimPair> CentreGrid(int centre, int first_range);

// Families with the nominal 48 MHz trait: a set frequency within 0.5 % of
// 48 MHz that was missed by more than 0.5 % is reported as 48 MHz with bit 6
// of trim byte 3 set.
void ApplyNominal48MHz(int family_code, int set_frequency, TrimChoice& choice);

TrimStep Measure(Measurement measurement);
TrimStep Ended(TrimStatus status);
TrimStep Chosen(TrimChoice choice);

}  // namespace fw::trim
