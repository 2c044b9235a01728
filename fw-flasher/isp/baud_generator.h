// The chip's baud-rate generator: which standard rate it can make accurately at
// its clock, and the settings the baud switch command tells it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace fw {

class IspLink;

struct FamilyTraits;

// The standard rates, fastest first.
constexpr std::array<int, 13> kStandardRates = {921600, 460800, 230400, 115200, 57600, 38400, 28800,
                                                19200,  14400,  9600,   4800,   2400,  1200};

// The clock range the switch command reports, by family and frequency (Hz).
std::uint8_t ClockRangeCode(const FamilyTraits& traits, int frequency);
std::uint8_t ClockRangeCode(int family_code, int frequency);

struct RateSearch {
  float scale = 1.0f;  // the generator's clock is the chip's clock times this
  std::optional<float> lowest_divisor;
  float divisor_limit = 0.0f;  // divisors must stay below it
};

struct ChosenRate {
  int rate = 0;     // G
  int divisor = 0;  // R
};

// The fastest rate (up to highest_baud) whose divisor is within 2.5 % and the
// generator can hold; nullopt when the list has none (a divisor below 1 counts
// as none).
std::optional<ChosenRate> SearchRate(int frequency, const RateSearch& search, int highest_baud);

// The switch command the chip's family and generator ask for.
struct BaudSwitchPlan {
  enum class Failure { kNone, kNoRateFits, kUnknownGenerator };
  Failure failure = Failure::kNone;
  // Tried then confirmed: 0x8F (bytes 1-6, the 7.2 firmware sends 01 with
  // bytes 1, 2 and 6); with the count word: 0x8E (bytes 1-11); otherwise 0x01
  // (bytes 1-7).
  std::uint8_t command = 0;
  std::vector<std::uint8_t> bytes;  // from byte 1 on
  int rate = 0;                     // G
};

BaudSwitchPlan PlanBaudSwitch(const IspLink& link);

}  // namespace fw
