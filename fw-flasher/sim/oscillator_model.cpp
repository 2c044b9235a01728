#include "sim/oscillator_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "sim/sim_text.h"
#include "sim/status_reply.h"

namespace fw::sim {
namespace {

constexpr std::uint8_t kPairsCommand = 0x00;
constexpr std::uint8_t kGroupsCommand = 0x65;
constexpr std::size_t kPairsHeader = 2;  // 00 n
constexpr int kCountLimit = 0xFFFF;
constexpr double kLockedClock = 48e6;

// The 65 command: 65, seven configuration bytes, FF FF, a timing byte, the
// group count, then groups of range, trim, 02 00.
constexpr std::size_t kGroupsHeader = 12;
constexpr std::size_t kGroupSize = 4;
constexpr std::size_t kConfigurationAt = 1;
constexpr std::size_t kFillerAt = 8;  // FF FF
constexpr std::size_t kTimingAt = 10;
constexpr std::size_t kGroupCountAt = 11;
constexpr std::uint8_t kGroupMark[2] = {0x02, 0x00};
constexpr int kRangeLowBits = 0x3F;
constexpr int kRangeMark = 0x18;  // the low bits of every range byte of the 65 command

// The timing bytes the boot loader takes at each host rate: seven per rate,
// one for each step of the target clock.
constexpr std::array<std::uint8_t, 35> kTimingBytes = {
    16, 16, 20, 14, 12, 18, 12, 6,  6,  8,  6,   6,   6,   6,   6,   6,   6,  8,
    6,  6,  6,  6,  6,  6,  6,  12, 12, 12, 255, 255, 255, 255, 255, 255, 255};
constexpr std::size_t kTimingRow = 7;

std::size_t TimingRowOf(int rate) {
  switch (rate) {
    case 1200:
      return 0;
    case 2400:
      return 1;
    case 4800:
      return 2;
    case 9600:
      return 3;
    default:
      return 4;
  }
}

// A count n of the 65 reply stands for (rate * n / 1200 + 6) * D Hz.
std::int64_t GroupDivisorOf(int rate) {
  static constexpr struct {
    int rate;
    std::int64_t divisor;
  } kDivisors[] = {{115200, 2101}, {57600, 2080}, {38400, 2075}, {28800, 2072}, {19200, 2070},
                   {14400, 2068},  {9600, 2068},  {4800, 2066},  {2400, 2063}};
  for (const auto& d : kDivisors) {
    if (d.rate == rate) return d.divisor;
  }
  return 2061;
}

std::int64_t GroupFrequency(std::int64_t count, int rate) {
  return (static_cast<std::int64_t>(rate) * count / 1200 + 6) * GroupDivisorOf(rate);
}

// The count whose frequency comes closest to f.
int GroupCountFor(double f, int rate) {
  const double estimate = (f / static_cast<double>(GroupDivisorOf(rate)) - 6) * 1200 / rate;
  const auto first = static_cast<std::int64_t>(std::floor(estimate)) - 1;
  std::int64_t best = std::clamp<std::int64_t>(first, 0, kCountLimit);
  for (std::int64_t n = first; n <= first + 3; ++n) {
    const std::int64_t c = std::clamp<std::int64_t>(n, 0, kCountLimit);
    if (std::abs(static_cast<double>(GroupFrequency(c, rate)) - f) <
        std::abs(static_cast<double>(GroupFrequency(best, rate)) - f)) {
      best = c;
    }
  }
  return static_cast<int>(best);
}

int RoundedCount(double value) {
  return static_cast<int>(std::clamp(std::lround(value), 0L, static_cast<long>(kCountLimit)));
}

void PutCount(std::vector<std::uint8_t>& reply, std::size_t at, int count) {
  reply[at] = static_cast<std::uint8_t>(count >> 8);
  reply[at + 1] = static_cast<std::uint8_t>(count);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> OscillatorModel::Measure(
    const ChipTraits& chip, std::span<const std::uint8_t> command, int handshake_rate,
    std::string& why) {
  const TrimProcedure procedure = TrimProcedureOf(chip);
  if (procedure == TrimProcedure::kNone) {
    why = "this chip has no oscillator to measure";
    return std::nullopt;
  }
  if (handshake_rate <= 0) {
    why = "no host rate to measure against";
    return std::nullopt;
  }
  if (procedure == TrimProcedure::kGroups) {
    if (command.empty() || command[0] != kGroupsCommand) {
      why = "this boot loader measures with 65";
      return std::nullopt;
    }
    return MeasureGroups(command, handshake_rate, why);
  }
  if (command.empty() || command[0] != kPairsCommand) {
    why = "this boot loader measures with 00 n and n pairs";
    return std::nullopt;
  }
  return MeasurePairs(procedure, chip, command, handshake_rate, why);
}

std::optional<std::vector<std::uint8_t>> OscillatorModel::MeasurePairs(
    TrimProcedure procedure, const ChipTraits& chip, std::span<const std::uint8_t> command,
    int rate, std::string& why) const {
  if (command.size() < kPairsHeader || command[1] == 0) {
    why = "a measurement of no pairs";
    return std::nullopt;
  }
  const std::size_t pairs = command[1];
  const std::size_t sent = (command.size() - kPairsHeader) / 2;
  // The first measurement of families 26-43 carries one pair more than it
  // declares; the chip measures the declared ones.
  const bool one_spare = procedure == TrimProcedure::kTwoTargets && sent == pairs + 1;
  if ((command.size() - kPairsHeader) % 2 != 0 || (sent != pairs && !one_spare)) {
    why = "the measurement declares " + std::to_string(pairs) + " pairs and carries " +
          std::to_string(command.size() - kPairsHeader) + " bytes";
    return std::nullopt;
  }
  const bool range_first = procedure == TrimProcedure::kSevenBit;
  const double scale = (CountsHalfBits(procedure) ? 2.0 : 1.0) / rate;
  const double reported = ReportsHalfFrequency(chip.family) ? 0.5 : 1.0;
  std::vector<std::uint8_t> reply(kPairsHeader + 2 * pairs);
  reply[0] = kPairsCommand;
  reply[1] = command[1];
  for (std::size_t i = 0; i < pairs; ++i) {
    const std::uint8_t first = command[kPairsHeader + 2 * i];
    const std::uint8_t second = command[kPairsHeader + 2 * i + 1];
    const int trim = range_first ? second : first;
    const int range = range_first ? first : second;
    const auto f = oscillator_.Frequency(procedure, range, trim);
    if (!f) {
      why = "pair " + std::to_string(i) + ": trim " + HexByte(trim) + " in range " +
            HexByte(range) + " is no setting of this oscillator";
      return std::nullopt;
    }
    PutCount(reply, kPairsHeader + 2 * i, RoundedCount(*f * reported * scale));
  }
  return reply;
}

std::optional<std::vector<std::uint8_t>> OscillatorModel::MeasureGroups(
    std::span<const std::uint8_t> command, int rate, std::string& why) const {
  if (command.size() < kGroupsHeader + kGroupSize ||
      (command.size() - kGroupsHeader) % kGroupSize != 0) {
    why = "the 65 measurement has " + std::to_string(command.size()) +
          " bytes, not 12 and groups of 4";
    return std::nullopt;
  }
  const std::size_t groups = (command.size() - kGroupsHeader) / kGroupSize;
  if (command[kGroupCountAt] != groups) {
    why = "the 65 measurement declares " + std::to_string(command[kGroupCountAt]) +
          " groups and carries " + std::to_string(groups);
    return std::nullopt;
  }
  if (!std::equal(kOscillatorConfiguration.begin(), kOscillatorConfiguration.end(),
                  command.begin() + kConfigurationAt)) {
    why = "bytes 1-7 of the 65 measurement are not status bytes 51-57";
    return std::nullopt;
  }
  if (command[kFillerAt] != 0xFF || command[kFillerAt + 1] != 0xFF) {
    why = "bytes 8-9 of the 65 measurement are not FF FF";
    return std::nullopt;
  }
  const auto row =
      kTimingBytes.begin() + static_cast<std::ptrdiff_t>(TimingRowOf(rate) * kTimingRow);
  if (std::find(row, row + kTimingRow, command[kTimingAt]) == row + kTimingRow) {
    why = "timing byte " + HexByte(command[kTimingAt]) + " is not one for " + std::to_string(rate) +
          " baud";
    return std::nullopt;
  }
  std::vector<std::uint8_t> reply(command.begin(), command.end());
  for (std::size_t g = 0; g < groups; ++g) {
    const std::size_t at = kGroupsHeader + g * kGroupSize;
    const int range = command[at];
    const int trim = command[at + 1];
    if (command[at + 2] != kGroupMark[0] || command[at + 3] != kGroupMark[1]) {
      why = "group " + std::to_string(g) + " does not end 02 00";
      return std::nullopt;
    }
    const auto f = (range & kRangeLowBits) == kRangeMark
                       ? oscillator_.Frequency(TrimProcedure::kGroups, range, trim)
                       : std::nullopt;
    if (!f) {
      why = "group " + std::to_string(g) + ": range byte " + HexByte(range) +
            " is no range of this oscillator";
      return std::nullopt;
    }
    PutCount(reply, at + 2, GroupCountFor(*f, rate));
  }
  return reply;
}

std::optional<double> OscillatorModel::ClockOf(const ChipTraits& chip,
                                               const OscillatorSetting& setting) const {
  if (setting.locked_48mhz && (chip.family == 61 || chip.family == 70)) return kLockedClock;
  if (setting.divider < 1) return std::nullopt;
  const auto f = oscillator_.Frequency(TrimProcedureOf(chip), setting.range, setting.trim);
  if (!f) return std::nullopt;
  return *f / setting.divider;
}

}  // namespace fw::sim
