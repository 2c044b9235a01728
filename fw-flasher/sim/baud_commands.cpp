#include "sim/baud_commands.h"

#include <algorithm>
#include <cmath>

#include "sim/sim_text.h"

namespace fw::sim {
namespace {

constexpr std::uint8_t kTrialCommand = 0x8F;
constexpr std::uint8_t kSwitchCommand = 0x8E;
constexpr std::uint8_t kNewSwitchCommand = 0x01;
constexpr double kRateTolerance = 0.03;
// The 8E command of families 25 and 28 carries 65536 - F / this as a word,
// and in bytes 1 and 8 whether F lies below 20 MHz.
constexpr double kHzPerClockWordStep = 1200;
constexpr double kFastClock = 20e6;
constexpr std::uint8_t kSlowClockByte1 = 0x58;
constexpr std::uint8_t kFastClockByte1 = 0x98;
constexpr std::uint8_t kSlowClockByte8 = 0x83;
constexpr std::uint8_t kFastClockByte8 = 0x81;

// Mode byte of the 8-bit reload generator -> clock divisor per reload step.
std::optional<int> ReloadScale(std::uint8_t mode) {
  switch (mode) {
    case 0xC0:
      return 16;
    case 0x40:
      return 32;
    case 0x80:
      return 192;
    case 0x00:
      return 384;
    default:
      return std::nullopt;
  }
}

int Word(std::span<const std::uint8_t> p, std::size_t at) { return p[at] << 8 | p[at + 1]; }

// 65536 - R in two bytes, a reload value of 0 standing for the full 65536.
int ReloadOf(int word) { return 65536 - word; }

bool Expect(std::span<const std::uint8_t> p, std::size_t at, int want, std::string& why) {
  if (p[at] == (want & 0xFF)) return true;
  why = "byte " + std::to_string(at) + " is " + HexByte(p[at]) + ", the chip expects " +
        HexByte(want);
  return false;
}

// The host names the clock range from the clock it measured, which it knows
// only as finely as its counts at the handshake rate resolve it (115.2 kHz a
// count at 115,200 baud): a code is taken when it is the range of a clock as
// close to the chip's as a rate must be to talk, so that a chip at a range's
// edge (24 MHz) takes the code of either side.
bool ExpectRangeCode(const ChipTraits& chip, std::span<const std::uint8_t> p, std::size_t at,
                     std::string& why) {
  const double f = chip.frequency;
  const std::uint8_t below =
      RangeCodeFor(chip.family, static_cast<int>(std::lround(f * (1 - kRateTolerance))));
  const std::uint8_t above =
      RangeCodeFor(chip.family, static_cast<int>(std::lround(f * (1 + kRateTolerance))));
  const std::uint8_t lowest = std::min(below, above);
  const std::uint8_t highest = std::max(below, above);
  if (p[at] >= lowest && p[at] <= highest) return true;
  why = "byte " + std::to_string(at) + " is " + HexByte(p[at]) + ", the range code of a clock of " +
        std::to_string(chip.frequency) + " Hz is " +
        HexByte(RangeCodeFor(chip.family, chip.frequency));
  if (lowest != highest) why += " (" + HexByte(lowest) + " to " + HexByte(highest) + " near it)";
  return false;
}

// Families 1-24: generator bytes 1 and 2 of the 8F, 8E or 01 command.
std::optional<double> OldGeneratorRate(const ChipTraits& chip, std::uint8_t b1, std::uint8_t b2,
                                       std::string& why) {
  const double f = chip.frequency;
  if (chip.generator == 2) {
    const auto scale = ReloadScale(b1);
    if (!scale) {
      why = "mode byte " + HexByte(b1) + " is no mode of the 8-bit reload generator";
      return std::nullopt;
    }
    const int reload = 256 - b2;
    return f / (*scale * reload);
  }
  if (chip.generator == 3) return f / (32.0 * ReloadOf(b1 << 8 | b2));
  why = "the chip's record names no generator of families 1-24";
  return std::nullopt;
}

std::optional<double> TrialOrSwitchRate(const ChipTraits& chip, std::span<const std::uint8_t> p,
                                        int handshake_rate, std::string& why) {
  const std::size_t length = p[0] == kTrialCommand ? 7 : 6;
  if (p.size() != length) {
    why = "the " + HexByte(p[0]) + " command has " + std::to_string(p.size()) + " bytes, not " +
          std::to_string(length);
    return std::nullopt;
  }
  const int reload_span = 2 * (256 - p[2]);
  const int pause_byte = std::clamp(20 * (handshake_rate / 1200), 40, 250);
  if (!Expect(p, 3, 0xFF - p[1], why) || !Expect(p, 4, std::min(reload_span, 254), why) ||
      !Expect(p, 5, pause_byte, why)) {
    return std::nullopt;
  }
  if (p[0] == kTrialCommand && !ExpectRangeCode(chip, p, 6, why)) {
    return std::nullopt;
  }
  return OldGeneratorRate(chip, p[1], p[2], why);
}

// Families 25 and 28 before 7.1: 8E with a prescaler pair for the clock.
std::optional<double> PrescaledRate(const ChipTraits& chip, std::span<const std::uint8_t> p,
                                    std::string& why) {
  if (p.size() != 12) {
    why = "the 8E command has " + std::to_string(p.size()) + " bytes, not 12";
    return std::nullopt;
  }
  // Bytes 1 and 8 say whether the clock the host measured lies below 20 MHz;
  // near that edge either answer fits the chip.
  const double f = chip.frequency;
  const bool host_slow = p[1] == kSlowClockByte1;
  const bool slow_fits = f * (1 - kRateTolerance) < kFastClock;
  const bool fast_fits = f * (1 + kRateTolerance) >= kFastClock;
  const bool slow = host_slow ? slow_fits : !fast_fits;
  if (!Expect(p, 1, slow ? kSlowClockByte1 : kFastClockByte1, why) || !Expect(p, 5, 0x64, why) ||
      !Expect(p, 8, slow ? kSlowClockByte8 : kFastClockByte8, why) || !Expect(p, 9, 0x20, why) ||
      !Expect(p, 10, 0xFF, why) || !Expect(p, 11, 0x00, why)) {
    return std::nullopt;
  }
  // The flasher works from the clock it measured, as finely as one count of its
  // measurement at the host's rate resolves it (some 200 kHz at 115,200 baud):
  // the word is taken when the clock it stands for is as close to the chip's as
  // a rate must be to talk.
  const double word_clock = (65536 - Word(p, 6)) * kHzPerClockWordStep;
  if (std::abs(word_clock - chip.frequency) > kRateTolerance * chip.frequency) {
    why = "clock word " + std::to_string(Word(p, 6)) + " stands for " +
          std::to_string(std::lround(word_clock)) + " Hz, not the chip's clock of " +
          std::to_string(chip.frequency) + " Hz";
    return std::nullopt;
  }
  const int step = 256 - p[4];
  const int divisor = p[3] == 0 ? step : p[3] * step;
  return static_cast<double>(chip.frequency) / divisor;
}

// Every newer family: 01, trim bytes, reload words, clock range code.
std::optional<double> NewGeneratorRate(const ChipTraits& chip, std::span<const std::uint8_t> p,
                                       std::string& why) {
  if (p.size() != 8) {
    why = "the 01 command has " + std::to_string(p.size()) + " bytes, not 8";
    return std::nullopt;
  }
  if (!ExpectRangeCode(chip, p, 7, why)) return std::nullopt;
  const int reload = ReloadOf(Word(p, 3));
  if (chip.generator == 0) {
    // The second word is the reload for one and a half bits.
    const double wanted = 1.5 * reload;
    if (std::abs(ReloadOf(Word(p, 5)) - wanted) > 1.0) {
      why = "the second reload word does not fit the first";
      return std::nullopt;
    }
    return static_cast<double>(chip.frequency) / reload;
  }
  if (chip.generator == 1) return chip.frequency / (4.0 * reload);
  why = "the chip's record names no generator of the newer families";
  return std::nullopt;
}

}  // namespace

std::uint8_t RangeCodeFor(int family, int frequency) {
  const double f = frequency;
  if (FamilyIn(family, 1, 6) || family == 15 || family == 16) {
    if (f < 6e6) return 0x83;
    if (f < 12e6) return 0x82;
    if (f < 24e6) return 0x81;
    return 0x80;
  }
  if (family >= 53) {
    const int mhz = std::min((frequency + 500000) / 1000000, 63);
    return static_cast<std::uint8_t>(0x80 | mhz);
  }
  static constexpr struct {
    double below;
    std::uint8_t code;
  } kSteps[] = {{1e6, 0x87},  {2e6, 0x86},  {3e6, 0x85}, {6e6, 0x84},
                {12e6, 0x83}, {20e6, 0x82}, {24e6, 0x81}};
  for (const auto& s : kSteps) {
    if (f < s.below) return s.code;
  }
  return 0x80;
}

std::optional<double> RateOfSwitch(const ChipTraits& chip, std::span<const std::uint8_t> payload,
                                   int handshake_rate, std::string& why) {
  if (payload.empty()) {
    why = "empty switch command";
    return std::nullopt;
  }
  const std::uint8_t command = payload[0];
  if (FamilyIn(chip.family, 1, 24)) {
    if (chip.fw72()) {
      if (command != kNewSwitchCommand || payload.size() != 4) {
        why = "this boot loader switches with 01 M R C (4 bytes)";
        return std::nullopt;
      }
      if (!ExpectRangeCode(chip, payload, 3, why)) return std::nullopt;
      return OldGeneratorRate(chip, payload[1], payload[2], why);
    }
    if (command != kTrialCommand && command != kSwitchCommand) {
      why = "this boot loader switches with 8F and 8E";
      return std::nullopt;
    }
    return TrialOrSwitchRate(chip, payload, handshake_rate, why);
  }
  if ((chip.family == 25 || chip.family == 28) && chip.fw < 0x71) {
    if (command != kSwitchCommand) {
      why = "this boot loader switches with 8E (12 bytes)";
      return std::nullopt;
    }
    return PrescaledRate(chip, payload, why);
  }
  if (command != kNewSwitchCommand) {
    why = "this boot loader switches with 01 (8 bytes)";
    return std::nullopt;
  }
  return NewGeneratorRate(chip, payload, why);
}

bool RatesAgree(double chip_rate, int host_rate) {
  return chip_rate > 0 && std::abs(host_rate - chip_rate) <= kRateTolerance * chip_rate;
}

}  // namespace fw::sim
